#include "stream.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "langstr.h"
#include "systemerror.h"

int64_t TStream::Size() {
  const int64_t pos = Position();
  const int64_t size = Seek(0, soEnd);
  SetPosition(pos);
  return size;
}

void TStream::ReadBuffer(void* Buffer, size_t Count) {
  if (Count != 0 && Read(Buffer, Count) != Count) throw EStreamError(LangStr(32));
}

void TStream::WriteBuffer(const void* Buffer, size_t Count) {
  // Only a file sets errno; a memory stream that cannot grow leaves it at 0.
  errno = 0;
  if (Count != 0 && Write(Buffer, Count) != Count) throw EStreamError(FileFailureText(foStreamWrite, "", errno));
}

void TStream::SeekError() { throw EStreamError(LangStr1(7, "Stream position")); }

TFileStream::TFileStream(const std::string& FileName, TFileMode Mode)
    : FFile(std::fopen(FileName.c_str(), Mode == fmCreate ? "w+b" : Mode == fmOpenReadWrite ? "r+b" : "rb")) {
  int error = FFile ? 0 : errno;
  // A directory opens for reading, and would only fail later as an unknown format.
  struct stat status;
  if (FFile && fstat(fileno(FFile), &status) == 0 && S_ISDIR(status.st_mode)) {
    std::fclose(FFile);
    FFile = nullptr;
    error = EISDIR;
  }
  if (!FFile) throw EStreamError(FileFailureText(foOpening, FileName, error));
}

TFileStream::~TFileStream() { std::fclose(FFile); }

// Switching between reading and writing needs a positioning call in between.
size_t TFileStream::Read(void* Buffer, size_t Count) {
  if (FLastWasWrite) {
    std::fseek(FFile, 0, SEEK_CUR);
    FLastWasWrite = false;
  }
  return std::fread(Buffer, 1, Count, FFile);
}

size_t TFileStream::Write(const void* Buffer, size_t Count) {
  if (!FLastWasWrite) {
    std::fseek(FFile, 0, SEEK_CUR);
    FLastWasWrite = true;
  }
  return std::fwrite(Buffer, 1, Count, FFile);
}

int64_t TFileStream::Seek(int64_t Offset, TSeekOrigin Origin) {
  static constexpr int whence[3] = {SEEK_SET, SEEK_CUR, SEEK_END};
  // Asking for the position needs no flush of what was written.
  if (Origin != soCurrent || Offset != 0) {
    if (fseeko(FFile, off_t(Offset), whence[Origin]) != 0) SeekError();
  }
  const int64_t pos = ftello(FFile);
  if (pos < 0) SeekError();
  return pos;
}

void TFileStream::Flush() {
  // Pipes and devices cannot be synchronised, and need not be.
  if (std::fflush(FFile) != 0 || (fsync(fileno(FFile)) != 0 && errno != EINVAL))
    throw EStreamError(FileFailureText(foStreamWrite, "", errno));
}

size_t TCustomMemoryStream::Read(void* Buffer, size_t Count) {
  if (FPosition >= int64_t(FSize)) return 0;
  const size_t n = std::min(Count, FSize - size_t(FPosition));
  std::memcpy(Buffer, FMemory + FPosition, n);
  FPosition += int64_t(n);
  return n;
}

size_t TCustomMemoryStream::Write(const void* Buffer, size_t Count) {
  if (Count == 0) return 0;
  const size_t end = size_t(FPosition) + Count;
  if (end > FSize && !Reserve(end)) {
    if (FPosition >= int64_t(FSize)) return 0;
    Count = FSize - size_t(FPosition);
  }
  std::memcpy(FMemory + FPosition, Buffer, Count);
  FPosition += int64_t(Count);
  return Count;
}

int64_t TCustomMemoryStream::Seek(int64_t Offset, TSeekOrigin Origin) {
  const int64_t base = Origin == soBeginning ? 0 : Origin == soCurrent ? FPosition : int64_t(FSize);
  const int64_t pos = base + Offset;
  if (pos < 0) SeekError();
  FPosition = pos;
  return pos;
}

void TCustomMemoryStream::SetBlock(uint8_t* Memory, size_t Size) {
  FMemory = Memory;
  FSize = Size;
}

void TCustomMemoryStream::Rewind() { FPosition = 0; }

bool TMemoryStream::Reserve(size_t End) {
  // A position beyond the end leaves a gap, which reads back as zeros.
  FData.resize(End);
  SetBlock(FData.data(), End);
  return true;
}

void TMyMemoryStream::SetPointer(void* Memory, size_t Size) {
  SetBlock(static_cast<uint8_t*>(Memory), Memory ? Size : 0);
  Rewind();
}

bool TMyMemoryStream::Reserve(size_t) { return false; }
