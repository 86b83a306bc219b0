#include "filereplacement.h"

#include <fcntl.h>
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
// walk without taking a lock or touching the heap.
enum TSlotState : int { ssFree, ssFilling, ssPending };
struct TPendingSlot {
  std::atomic<int> State{ssFree};
  char Name[4096];
};
TPendingSlot PendingSlots[64];
// Set once the files are being removed on the way out of the process.
std::atomic<bool> Ending{false};

// The slot now holding the name, or -1 when all are taken or the name is too
// long; such a file is still removed on every other way out.
int RememberPending(const std::string& name) {
  if (name.size() >= sizeof PendingSlots[0].Name) return -1;
  for (int i = 0; i < int(std::size(PendingSlots)); ++i) {
    int expected = ssFree;
    if (!PendingSlots[i].State.compare_exchange_strong(expected, ssFilling)) continue;
    std::memcpy(PendingSlots[i].Name, name.c_str(), name.size() + 1);
    PendingSlots[i].State.store(ssPending);
    return i;
  }
  return -1;
}

[[noreturn]] void Fail(TFileOperation operation, const std::string& fileName, int error) {
  throw EStreamError(FileFailureText(operation, fileName, error));
}

void ForgetSlot(int slot) {
  if (slot >= 0) PendingSlots[slot].State.store(ssFree);
}

// Creates a new empty file next to target, readable and writable as the
// process's file-creation mask allows; returns its name and its slot. The name
// is listed before the file exists, so that no signal finds a file unlisted;
// a name that turns out taken is unlisted before the next try.
std::string CreateTemporaryBeside(const std::filesystem::path& target, const std::string& fileName, int& slot) {
  std::random_device random;
  for (int attempt = 0; attempt < 100; ++attempt) {
    char suffix[16];
    std::snprintf(suffix, sizeof suffix, ".%08x", unsigned(random()));
    std::string hidden = ".";
    hidden += target.filename().string();
    hidden += suffix;
    const std::filesystem::path name = target.parent_path() / hidden;
    slot = RememberPending(name.string());
    const int fd = open(name.c_str(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, 0666);
    if (fd >= 0) {
      close(fd);
      return name.string();
    }
    const int error = errno;
    ForgetSlot(slot);
    slot = -1;
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
    FStream = std::make_unique<TFileStream>(FTemporary, fmCreate);
    // A removal that ran in another thread since the name was listed may
    // have missed the file or seen it made again: remove it here, and
    // create nothing more while the process ends.
    if (Ending.load()) {
      std::remove(FTemporary.c_str());
      for (;;) pause();
    }
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
  for (TPendingSlot& slot : PendingSlots)
    if (slot.State.load() == ssPending) unlink(slot.Name);
}

void TFileReplacement::Commit() {
  FStream->Flush();
  FStream.reset();
  if (FTemporary.empty()) return;
  if (std::rename(FTemporary.c_str(), FTarget.c_str()) != 0) Fail(foWriting, FFileName, errno);
  FTemporary.clear();
  Forget();
}
