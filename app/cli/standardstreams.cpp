#include "standardstreams.h"

#include <unistd.h>

#include <cerrno>

#include "pixelgraphic.h"
#include "systemerror.h"

std::unique_ptr<TMemoryStream> ReadStandardInput() {
  auto stream = std::make_unique<TMemoryStream>();
  char buffer[65536];
  for (;;) {
    const ssize_t got = read(STDIN_FILENO, buffer, sizeof buffer);
    if (got == 0) break;
    if (got < 0) {
      if (errno == EINTR) continue;
      throw EStreamError(FileFailureText(foOpening, "-", errno));
    }
    // An endless pipe must not take all memory.
    if (stream->Size() + got > MaxImageSize) throw EStreamError(FileFailureText(foOpening, "-", EFBIG));
    stream->WriteBuffer(buffer, size_t(got));
  }
  stream->SetPosition(0);
  return stream;
}

void WriteStandardOutput(TCustomMemoryStream& Stream) {
  const uint8_t* next = Stream.Memory();
  size_t left = size_t(Stream.Size());
  while (left > 0) {
    const ssize_t put = write(STDOUT_FILENO, next, left);
    if (put < 0) {
      if (errno == EINTR) continue;
      throw EStreamError(FileFailureText(foWriting, "-", errno));
    }
    next += put;
    left -= size_t(put);
  }
}
