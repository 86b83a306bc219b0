#include "jpegscanlimit.h"

#include <cstring>
#include <vector>

#include "langstr.h"
#include "stream.h"

namespace {

constexpr uint8_t MarkerSOI = 0xD8, MarkerEOI = 0xD9, MarkerSOS = 0xDA, MarkerTEM = 0x01;

const TPGLangStrEntry TooManyScansText = {
    0,
    {"Too many scans (more than %S1)", "Zu viele Scans (mehr als %S1)", "Trop de passes (plus de %S1)",
     "Te veel scans (meer dan %S1)", "Demasiados barridos (más de %S1)", ""}};

// The stream's bytes in pieces, asking before each piece whether to go on.
class TPieceReader {
public:
  TPieceReader(TStream& Stream, const std::function<bool()>& Aborted)
      : FStream(Stream), FAborted(Aborted), FPiece(65536) {}

  bool Next(uint8_t& Byte) {
    if (FAt == FEnd && !Fill()) return false;
    Byte = FPiece[FAt++];
    return true;
  }

  // Moves past the next 0xFF byte.
  bool PastNextFF() {
    for (;;) {
      if (FAt == FEnd && !Fill()) return false;
      const void* ff = std::memchr(FPiece.data() + FAt, 0xFF, FEnd - FAt);
      if (ff) {
        FAt = size_t(static_cast<const uint8_t*>(ff) - FPiece.data()) + 1;
        return true;
      }
      FAt = FEnd;
    }
  }

  bool Skip(size_t Count) {
    while (Count > FEnd - FAt) {
      Count -= FEnd - FAt;
      FAt = FEnd;
      if (!Fill()) return false;
    }
    FAt += Count;
    return true;
  }

private:
  bool Fill() {
    if (FAborted()) return false;
    FAt = 0;
    FEnd = FStream.Read(FPiece.data(), FPiece.size());
    return FEnd > 0;
  }

  TStream& FStream;
  const std::function<bool()>& FAborted;
  std::vector<uint8_t> FPiece;
  size_t FAt = 0, FEnd = 0;
};

}  // namespace

int CountJPEGScans(TStream& Stream, int Limit, const std::function<bool()>& Aborted) {
  TPieceReader in(Stream, Aborted);
  int scans = 0;
  // Every byte outside a marker segment is coded data or stray, and only a
  // marker ends either.
  while (in.PastNextFF()) {
    uint8_t marker = 0xFF;
    while (marker == 0xFF)
      if (!in.Next(marker)) return scans;
    if (marker == 0 || marker == MarkerTEM || marker == MarkerSOI || (marker >= 0xD0 && marker <= 0xD7)) continue;
    if (marker == MarkerEOI) return scans;
    uint8_t high = 0, low = 0;
    if (!in.Next(high) || !in.Next(low)) return scans;
    const size_t length = size_t(high) << 8 | low;
    // libjpeg refuses a segment shorter than its length field.
    if (length < 2) return scans;
    if (marker == MarkerSOS && ++scans > Limit) return scans;
    if (!in.Skip(length - 2)) return scans;
  }
  return scans;
}

std::string ScanLimitText() {
  return SubstitutePlaceholder(LangText(TooManyScansText), "%S1", std::to_string(MaxJPEGScans));
}
