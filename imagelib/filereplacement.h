#pragma once
// Writing a file so that it appears complete or not at all: the bytes go to a
// temporary file beside it, which takes its place only on Commit. Without a
// Commit the temporary file is removed, and a file that existed stays as it
// was. A replaced file keeps its permissions and, where allowed, its owner.
// A device or pipe is written directly: there is nothing of it to keep.

#include <memory>
#include <string>

#include "stream.h"

class TFileReplacement {
public:
  // Raises EStreamError when no file can be created beside FileName.
  explicit TFileReplacement(const std::string& FileName);
  ~TFileReplacement();
  TFileReplacement(const TFileReplacement&) = delete;
  TFileReplacement& operator=(const TFileReplacement&) = delete;

  TStream& Stream() { return *FStream; }
  // Puts the written file in place; raises EStreamError when it cannot.
  void Commit();

private:
  void Forget();

  std::string FFileName;
  std::string FTarget;
  std::string FTemporary;
  int FSlot = -1;  // in the list of temporary files a signal removes
  std::unique_ptr<TFileStream> FStream;
};

// Removes the temporary files of every replacement not yet committed, on the
// way out of the process: from then on a replacement that another thread sets
// up creates no file and waits for the end. Only unlinks and waits for
// creations under way, which take no lock, so a signal handler may call it.
void RemovePendingTemporaryFiles() noexcept;
