#pragma once
// Byte streams the readers and writers work on: a file, a growable block of
// memory, and a block of memory owned by someone else (the clipboard's).

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "pgexceptions.h"
#include "pgtypes.h"

// A stream that cannot deliver or take the bytes asked of it. Readers let it
// pass unchanged, so a file that ends early reports it in these words.
class EStreamError : public EPixelGraphic {
public:
  explicit EStreamError(const std::string& message) : EPixelGraphic(message) {}
};

enum TSeekOrigin : uint8_t { soBeginning, soCurrent, soEnd };

class TStream : public TObject {
public:
  TStream() = default;
  TStream(const TStream&) = delete;
  TStream& operator=(const TStream&) = delete;

  // Moves up to count bytes; the result is the number moved.
  virtual size_t Read(void* Buffer, size_t Count) = 0;
  virtual size_t Write(const void* Buffer, size_t Count) = 0;
  // Returns the new position; a position before the start raises EStreamError.
  virtual int64_t Seek(int64_t Offset, TSeekOrigin Origin) = 0;
  virtual int64_t Size();

  int64_t Position() { return Seek(0, soCurrent); }
  void SetPosition(int64_t Pos) { Seek(Pos, soBeginning); }

  // Move exactly Count bytes or raise EStreamError.
  void ReadBuffer(void* Buffer, size_t Count);
  void WriteBuffer(const void* Buffer, size_t Count);

protected:
  [[noreturn]] static void SeekError();
};

enum TFileMode : uint8_t {
  fmOpenRead,       // existing file, reading only
  fmCreate,         // created or truncated, reading and writing
  fmOpenReadWrite,  // existing file, reading and writing; never created
};

class TFileStream : public TStream {
public:
  TFileStream(const std::string& FileName, TFileMode Mode);
  ~TFileStream() override;

  size_t Read(void* Buffer, size_t Count) override;
  size_t Write(const void* Buffer, size_t Count) override;
  int64_t Seek(int64_t Offset, TSeekOrigin Origin) override;
  // Hands what was written to the disk; raises EStreamError when it cannot.
  void Flush();

private:
  std::FILE* FFile;
  bool FLastWasWrite = false;
};

// Reading, seeking and writing inside a block of memory that the derived
// class provides.
class TCustomMemoryStream : public TStream {
public:
  size_t Read(void* Buffer, size_t Count) override;
  size_t Write(const void* Buffer, size_t Count) override;
  int64_t Seek(int64_t Offset, TSeekOrigin Origin) override;
  int64_t Size() override { return int64_t(FSize); }
  const uint8_t* Memory() const { return FMemory; }

protected:
  void SetBlock(uint8_t* Memory, size_t Size);
  void Rewind();
  // Makes room for writing up to End; false when the block cannot grow.
  virtual bool Reserve(size_t End) = 0;

private:
  uint8_t* FMemory = nullptr;
  size_t FSize = 0;
  int64_t FPosition = 0;
};

// Owns its memory and grows as it is written.
class TMemoryStream : public TCustomMemoryStream {
protected:
  bool Reserve(size_t End) override;

private:
  std::vector<uint8_t> FData;
};

// Points at a block it does not own; writing stays inside the block, and
// freeing the stream never frees the block.
class TMyMemoryStream : public TCustomMemoryStream {
public:
  void SetPointer(void* Memory, size_t Size);
  void Detach() { SetPointer(nullptr, 0); }

protected:
  bool Reserve(size_t End) override;
};
