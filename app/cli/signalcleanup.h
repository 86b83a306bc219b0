#pragma once
// An interrupt, a termination, an exceeded file size limit or a memory fault
// (a mapped file cut short) while a picture is saved leaves no temporary file
// behind; the process then ends as the signal would have ended it.

// For SIGINT, SIGTERM, SIGHUP, SIGXFSZ, SIGBUS and SIGSEGV, unless the caller
// ignores them or already handles the faults.
void InstallSignalCleanup();
