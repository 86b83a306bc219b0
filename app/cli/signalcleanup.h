#pragma once
// An interrupt, a termination or an exceeded file size limit while a
// picture is saved leaves no temporary file behind; the process then ends
// as the signal would have ended it.

// For SIGINT, SIGTERM, SIGHUP and SIGXFSZ, unless the caller ignores them.
void InstallSignalCleanup();
