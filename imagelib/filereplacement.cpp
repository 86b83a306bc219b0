#include "filereplacement.h"

#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <iterator>
#include <random>

#include "systemerror.h"

namespace {

// The temporary files in progress, in fixed slots that a signal handler can
// walk without taking a lock or touching the heap. A slot is Creating while
// its file may be coming into existence, and Pending while it exists.
enum TSlotState : int { ssFree, ssCreating, ssPending };
struct TPendingSlot {
  std::atomic<int> State{ssFree};
  char Name[4096];
};
TPendingSlot PendingSlots[64];
// Set once the files are being removed on the way out of the process; from
// then on no temporary file is created.
std::atomic<bool> Ending{false};

// The signals that remove the files, held back while a file is created so
// that no handler runs in the middle of it on this thread.
class TSignalsHeld {
public:
  TSignalsHeld() {
    sigset_t all;
    sigfillset(&all);
    pthread_sigmask(SIG_BLOCK, &all, &FOld);
  }
  ~TSignalsHeld() { pthread_sigmask(SIG_SETMASK, &FOld, nullptr); }
  TSignalsHeld(const TSignalsHeld&) = delete;
  TSignalsHeld& operator=(const TSignalsHeld&) = delete;

private:
  sigset_t FOld;
};

void ForgetSlot(int slot) {
  if (slot >= 0) PendingSlots[slot].State.store(ssFree);
}

// Creates the file of that name, listed in a slot before it exists; returns
// the slot (-1 when all are taken or the name is too long: such a file is
// still removed on every other way out) and sets error to 0, or to the errno
// of a failed creation. Only system calls and atomics, so that a removal
// waiting for the slot cannot wait for a lock this thread needs.
int CreateListed(const std::string& name, int& error) {
  const TSignalsHeld held;
  int slot = -1;
  for (int i = 0; name.size() < sizeof PendingSlots[0].Name && i < int(std::size(PendingSlots)); ++i) {
    int expected = ssFree;
    if (!PendingSlots[i].State.compare_exchange_strong(expected, ssCreating)) continue;
    std::memcpy(PendingSlots[i].Name, name.c_str(), name.size() + 1);
    slot = i;
    break;
  }
  if (Ending.load()) {
    ForgetSlot(slot);
    error = EINTR;
    return -1;
  }
  const int fd = open(name.c_str(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, 0666);
  error = fd >= 0 ? 0 : errno;
  if (fd >= 0) close(fd);
  if (error != 0) {
    ForgetSlot(slot);
    return -1;
  }
  if (slot >= 0) PendingSlots[slot].State.store(ssPending);
  return slot;
}

[[noreturn]] void Fail(TFileOperation operation, const std::string& fileName, int error) {
  throw EStreamError(FileFailureText(operation, fileName, error));
}

// Creates a new empty file next to target, readable and writable as the
// process's file-creation mask allows; returns its name and its slot.
std::string CreateTemporaryBeside(const std::filesystem::path& target, const std::string& fileName, int& slot) {
  std::random_device random;
  for (int attempt = 0; attempt < 100; ++attempt) {
    char suffix[16];
    std::snprintf(suffix, sizeof suffix, ".%08x", unsigned(random()));
    std::string hidden = ".";
    hidden += target.filename().string();
    hidden += suffix;
    const std::string name = (target.parent_path() / hidden).string();
    int error = 0;
    slot = CreateListed(name, error);
    if (error == 0) return name;
    // The process is ending: its removal has run and nothing may be left.
    if (error == EINTR)
      for (;;) pause();
    if (error != EEXIST) Fail(foOpening, fileName, error);
  }
  Fail(foOpening, fileName, EEXIST);
}

}  // namespace

TFileReplacement::TFileReplacement(const std::string& FileName) : FFileName(FileName) {
  namespace fs = std::filesystem;
  std::error_code error;
  // Through a link the file it names is replaced, not the link.
  fs::path target = fs::canonical(FileName, error);
  if (error) target = fs::absolute(FileName, error);
  if (error || target.filename().empty()) Fail(foOpening, FileName, error ? error.value() : EISDIR);
  FTarget = target.string();
  struct stat old;
  const bool exists = stat(FTarget.c_str(), &old) == 0;
  if (exists && !S_ISREG(old.st_mode)) {
    FStream = std::make_unique<TFileStream>(FTarget, fmCreate);
    return;
  }
  FTemporary = CreateTemporaryBeside(target, FileName, FSlot);
  try {
    if (exists) {
      // Handing the file to another owner needs privileges; a file that stays
      // ours does not take over the old one's set-id bits.
      const bool ownerKept = chown(FTemporary.c_str(), old.st_uid, old.st_gid) == 0;
      chmod(FTemporary.c_str(), old.st_mode & (ownerKept ? 07777 : 0777));
    }
    // Never created again here: a removal on the way out may have taken it.
    FStream = std::make_unique<TFileStream>(FTemporary, fmOpenReadWrite);
  } catch (...) {
    std::remove(FTemporary.c_str());
    Forget();
    throw;
  }
}

TFileReplacement::~TFileReplacement() {
  FStream.reset();
  if (!FTemporary.empty()) std::remove(FTemporary.c_str());
  Forget();
}

// Only once the file is gone or renamed: a signal in between then finds
// nothing to remove.
void TFileReplacement::Forget() {
  ForgetSlot(FSlot);
  FSlot = -1;
}

void RemovePendingTemporaryFiles() noexcept {
  Ending.store(true);
  for (TPendingSlot& slot : PendingSlots) {
    // A creation under way on another thread ends in a moment, holding no lock.
    int state;
    while ((state = slot.State.load()) == ssCreating) {
    }
    if (state == ssPending) unlink(slot.Name);
  }
}

void TFileReplacement::Commit() {
  FStream->Flush();
  FStream.reset();
  if (FTemporary.empty()) return;
  if (std::rename(FTemporary.c_str(), FTarget.c_str()) != 0) Fail(foWriting, FFileName, errno);
  FTemporary.clear();
  Forget();
}
