#include "signalcleanup.h"

#include <signal.h>

#include "filereplacement.h"

namespace {

extern "C" void RemoveAndEnd(int signal) {
  RemovePendingTemporaryFiles();
  // The handler was reset on entry; the signal, blocked until it returns,
  // then ends the process with its usual status.
  raise(signal);
}

}  // namespace

void InstallSignalCleanup() {
  for (int signal : {SIGINT, SIGTERM, SIGHUP, SIGXFSZ, SIGBUS, SIGSEGV}) {
    struct sigaction previous {};
    if (sigaction(signal, nullptr, &previous) != 0 || previous.sa_handler == SIG_IGN) continue;
    // A fault handler already there (a sanitizer's) reports more than we would.
    const bool fault = signal == SIGBUS || signal == SIGSEGV;
    if (fault && ((previous.sa_flags & SA_SIGINFO) || previous.sa_handler != SIG_DFL)) continue;
    struct sigaction action {};
    action.sa_handler = RemoveAndEnd;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESETHAND;
    sigaction(signal, &action, nullptr);
  }
}
