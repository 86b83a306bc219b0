#include "gifformat.h"

#include <gif_lib.h>

#include <algorithm>
#include <exception>
#include <string>
#include <vector>

#include "codecwarning.h"
#include "langstr.h"
#include "pixelgraphic.h"
#include "pixellimit.h"
#include "progressevents.h"
#include "stream.h"

namespace {

[[noreturn]] void RaiseGIFError(const std::string& text) { throw EPGGIFFileFormatReader("GIF: " + text); }

// giflib's decoder reading our stream, closed on every way out. giflib
// reports failures by its return values, so no jump is needed.
class TGIFFile {
public:
  explicit TGIFFile(TStream& stream) : FStream(stream) {
    int error = D_GIF_SUCCEEDED;
    FGif = DGifOpen(this, Input, &error);
    if (!FGif) Fail(error);
  }
  ~TGIFFile() {
    int ignored;
    DGifCloseFile(FGif, &ignored);
  }
  TGIFFile(const TGIFFile&) = delete;
  TGIFFile& operator=(const TGIFFile&) = delete;

  GifFileType* Gif() const { return FGif; }

  void Check(int result) const {
    if (result == GIF_ERROR) Fail(FGif->Error);
  }

  // What went wrong in the last failed call: our stream's words where the
  // stream failed, else giflib's reason.
  std::string FailureText(int error) const {
    if (!FStreamFailure.empty()) return FStreamFailure;
    const char* text = GifErrorString(error);
    return text ? text : LangStr(33);
  }
  std::string FailureText() const { return FailureText(FGif->Error); }

private:
  [[noreturn]] void Fail(int error) const { RaiseGIFError(FailureText(error)); }

  static int Input(GifFileType* gif, GifByteType* bytes, int length) {
    TGIFFile& f = *static_cast<TGIFFile*>(gif->UserData);
    try {
      size_t got = 0;
      while (got < size_t(length)) {
        const size_t n = f.FStream.Read(bytes + got, size_t(length) - got);
        if (n == 0) break;
        got += n;
      }
      if (got < size_t(length)) f.FStreamFailure = LangStr(32);
      return int(got);
    } catch (const std::exception& e) {
      f.FStreamFailure = e.what();
      return 0;
    }
  }

  TStream& FStream;
  GifFileType* FGif = nullptr;
  std::string FStreamFailure;
};

struct TGIFFrame {
  int32_t Left = 0, Top = 0, Width = 0, Height = 0;
  bool Interlace = false;
  // The local colour table, else the global one; null when the file has
  // neither. giflib frees a local table when it reads the next frame.
  const ColorMapObject* Colors = nullptr;
  int Transparent = NO_TRANSPARENT_COLOR;
  int Disposal = DISPOSAL_UNSPECIFIED;
};

// Reads the records up to the next frame's pixel data; false at the end of
// the file. The graphic control extension before a frame tells its
// transparent index and what becomes of it afterwards.
bool NextFrame(const TGIFFile& file, TGIFFrame& frame) {
  GifFileType* gif = file.Gif();
  GraphicsControlBlock control{DISPOSAL_UNSPECIFIED, false, 0, NO_TRANSPARENT_COLOR};
  for (;;) {
    GifRecordType type = UNDEFINED_RECORD_TYPE;
    file.Check(DGifGetRecordType(gif, &type));
    if (type == TERMINATE_RECORD_TYPE) return false;
    if (type == EXTENSION_RECORD_TYPE) {
      int code = 0;
      GifByteType* block = nullptr;
      file.Check(DGifGetExtension(gif, &code, &block));
      if (code == GRAPHICS_EXT_FUNC_CODE && block) DGifExtensionToGCB(block[0], block + 1, &control);
      while (block) file.Check(DGifGetExtensionNext(gif, &block));
      continue;
    }
    file.Check(DGifGetImageHeader(gif));
    const GifImageDesc& d = gif->Image;
    frame = {d.Left,
             d.Top,
             d.Width,
             d.Height,
             d.Interlace,
             d.ColorMap ? d.ColorMap : gif->SColorMap,
             control.TransparentColor,
             control.DisposalMode};
    return true;
  }
}

// Passes over a frame's pixel data without decoding it.
void SkipFrameData(const TGIFFile& file) {
  int codeSize = 0;
  GifByteType* block = nullptr;
  file.Check(DGifGetCode(file.Gif(), &codeSize, &block));
  while (block) file.Check(DGifGetCodeNext(file.Gif(), &block));
}

// The canvas is the logical screen; a file that gives it no size takes the
// size of its first frame.
void CanvasSize(const GifFileType* gif, const TGIFFrame& first, int32_t& width, int32_t& height) {
  width = gif->SWidth;
  height = gif->SHeight;
  if (width <= 0 || height <= 0) {
    width = first.Left + first.Width;
    height = first.Top + first.Height;
  }
}

// Picture row of the n-th stored row: an interlaced frame stores every
// eighth row from 0, every eighth from 4, every fourth from 2, then every
// second from 1.
int32_t StoredRow(int32_t n, int32_t height, bool interlace) {
  if (!interlace) return n;
  static constexpr int32_t start[4] = {0, 4, 2, 1}, step[4] = {8, 8, 4, 2};
  for (int pass = 0; pass < 4; ++pass) {
    const int32_t rows = start[pass] < height ? (height - start[pass] + step[pass] - 1) / step[pass] : 0;
    if (n < rows) return start[pass] + n * step[pass];
    n -= rows;
  }
  return height;
}

// Decodes the frame's rows and hands each to Put(picture row, indexes).
// A row that cannot be decoded ends the frame as the warning action says:
// the rows so far stay, or the read fails. False when the frame ended early
// or the progress handler asked to abort.
template <class TPut>
bool DecodeFrame(const TGIFFile& file, const TGIFFrame& frame, TPixelGraphic& graphic, TObject* sender,
                 const TPut& Put) {
  if (frame.Width <= 0 || frame.Height <= 0) {
    SkipFrameData(file);
    return true;
  }
  CheckPixelLimit(frame.Width, frame.Height);
  std::vector<GifPixelType> line(size_t(frame.Width));
  for (int32_t n = 0; n < frame.Height; ++n) {
    if (DGifGetLine(file.Gif(), line.data(), frame.Width) == GIF_ERROR) {
      const std::string failure = CodecWarningFailure(graphic.ReadWarningAction(), "GIF", file.FailureText());
      if (!failure.empty()) throw EPGGIFFileFormatReader(failure);
      return false;
    }
    Put(frame.Top + StoredRow(n, frame.Height, frame.Interlace), line.data());
    if (RaiseProgress(graphic, sender, n, frame.Height)) return false;
  }
  return true;
}

void PutIndex(uint8_t* row, int32_t x, uint8_t index, uint8_t code) {
  switch (code) {
    case 0: row[x / 8] = uint8_t((row[x / 8] & ~(0x80 >> (x % 8))) | ((index & 1) << (7 - x % 8))); break;
    case 1:
      row[x / 2] = uint8_t(x % 2 ? (row[x / 2] & 0xF0) | (index & 15) : (row[x / 2] & 0x0F) | (index << 4));
      break;
    default: row[x] = index;
  }
}

// The first frame with its own colour table. Transparent pixels, and the
// canvas the frame leaves uncovered, take an entry of the graphic's
// background colour: the transparent index's, else one after the table,
// else (a full table) the screen's background entry.
void ReadFirstFrame(const TGIFFile& file, const TGIFFrame& frame, int32_t width, int32_t height, TPixelGraphic& graphic,
                    TObject* sender) {
  if (!frame.Colors) RaiseGIFError(LangStr(2));
  const int colors = std::clamp(frame.Colors->ColorCount, 1, 256);
  const bool covered =
      frame.Left <= 0 && frame.Top <= 0 && frame.Left + frame.Width >= width && frame.Top + frame.Height >= height;
  int entries = colors, background = -1;
  bool ownEntry = true;
  if (frame.Transparent >= 0 && frame.Transparent < 256) {
    background = frame.Transparent;
  } else if (!covered) {
    ownEntry = colors < 256;
    background = ownEntry ? colors : std::clamp(file.Gif()->SBackGroundColor, 0, 255);
  }
  entries = std::max(colors, background + 1);
  const uint8_t code = entries <= 2 ? 0 : entries <= 16 ? 1 : 2;
  const TRGB backgroundColor = graphic.BackGroundColor();
  graphic.SetSize(width, height, code);
  graphic.SetPaletteCount(entries);
  for (int i = 0; i < colors; ++i) {
    const GifColorType& c = frame.Colors->Colors[i];
    graphic.SetPaletteEntries(i, RGB(c.Red, c.Green, c.Blue));
  }
  if (background >= 0 && ownEntry) graphic.SetPaletteEntries(background, backgroundColor);
  graphic.SetBackGroundColor(backgroundColor);
  if (background > 0) {
    for (int32_t y = 0; y < height; ++y)
      for (int32_t x = 0; x < width; ++x) PutIndex(graphic.ScanLine(y), x, uint8_t(background), code);
  }
  // An index beyond the table is no colour; it shows the background, or the first entry.
  const uint8_t beyond = uint8_t(std::max(background, 0));
  RaiseProgressStart(graphic, sender);
  DecodeFrame(file, frame, graphic, sender, [&](int32_t y, const GifPixelType* line) {
    if (y < 0 || y >= height) return;
    uint8_t* row = graphic.ScanLine(y);
    for (int32_t i = std::max(0, -frame.Left); i < frame.Width && frame.Left + i < width; ++i) {
      const int v = line[i];
      PutIndex(row, frame.Left + i, v < entries ? uint8_t(v) : beyond, code);
    }
  });
  RaiseProgressEnd(graphic, sender);
}

// Opaque canvas pixels carry this bit above their colour.
constexpr uint32_t Opaque = 0x1000000;

// Frame Index composed over the frames before it as each frame's disposal
// asks, then laid over the background colour.
void ReadComposedFrame(const TGIFFile& file, TGIFFrame frame, int32_t width, int32_t height, int Index,
                       TPixelGraphic& graphic, TObject* sender) {
  const TRGB background = graphic.BackGroundColor();
  std::vector<uint32_t> canvas(size_t(width) * size_t(height), 0), saved;
  const auto rect = [&](const TGIFFrame& f, const auto& visit) {
    for (int32_t y = std::max(0, f.Top); y < std::min(height, f.Top + f.Height); ++y)
      for (int32_t x = std::max(0, f.Left); x < std::min(width, f.Left + f.Width); ++x) visit(size_t(y) * width + x);
  };
  RaiseProgressStart(graphic, sender);
  bool complete = true;
  for (int n = 0; complete; ++n) {
    if (frame.Disposal == DISPOSE_PREVIOUS) {
      saved.clear();
      rect(frame, [&](size_t p) { saved.push_back(canvas[p]); });
    }
    complete = DecodeFrame(file, frame, graphic, sender, [&](int32_t y, const GifPixelType* line) {
      if (y < 0 || y >= height) return;
      for (int32_t i = std::max(0, -frame.Left); i < frame.Width && frame.Left + i < width; ++i) {
        if (line[i] == frame.Transparent) continue;
        uint32_t color = 0;
        if (frame.Colors && line[i] < frame.Colors->ColorCount) {
          const GifColorType& c = frame.Colors->Colors[line[i]];
          color = RGB(c.Red, c.Green, c.Blue);
        }
        canvas[size_t(y) * width + size_t(frame.Left + i)] = color | Opaque;
      }
    });
    if (n == Index || !complete) break;
    if (frame.Disposal == DISPOSE_BACKGROUND) rect(frame, [&](size_t p) { canvas[p] = 0; });
    if (frame.Disposal == DISPOSE_PREVIOUS) {
      size_t k = 0;
      rect(frame, [&](size_t p) { canvas[p] = saved[k++]; });
    }
    if (!NextFrame(file, frame)) RaiseGIFError(LangStr1(7, "Index"));
  }
  graphic.SetSize(width, height, 3);
  graphic.SetBackGroundColor(background);
  for (int32_t y = 0; y < height; ++y) {
    uint8_t* row = graphic.ScanLine(y);
    for (int32_t x = 0; x < width; ++x) {
      const uint32_t c = canvas[size_t(y) * width + x];
      const TRGB color = c & Opaque ? c : background;
      row[3 * x] = GetBValue(color);
      row[3 * x + 1] = GetGValue(color);
      row[3 * x + 2] = GetRValue(color);
    }
  }
  RaiseProgressEnd(graphic, sender);
}

std::string Version(TStream& stream) {
  const int64_t start = stream.Position();
  char header[6] = {};
  const size_t got = stream.Read(header, sizeof header);
  stream.SetPosition(start);
  return std::string(header, got);
}

}  // namespace

TGIFFileFormatReader::TGIFFileFormatReader()
    : TFileFormatReader("TGIFFileFormatReader", "gif", "Graphics Interchange Format", true) {}

bool TGIFFileFormatReader::CheckSignature(const TFileHeader& Header) const {
  return std::equal(Header.begin(), Header.begin() + 4, "GIF8") && (Header[4] == '7' || Header[4] == '9') &&
         Header[5] == 'a';
}

void TGIFFileFormatReader::Read(TStream& Stream, TPixelGraphic& Graphic, int Index) {
  if (Index < 0) RaiseGIFError(LangStr1(7, "Index"));
  TGIFFile file(Stream);
  TGIFFrame frame;
  if (!NextFrame(file, frame))
    RaiseGIFError(Index == 0 ? GifErrorString(D_GIF_ERR_NO_IMAG_DSCR) : LangStr1(7, "Index"));
  int32_t width = 0, height = 0;
  CanvasSize(file.Gif(), frame, width, height);
  CheckPixelLimit(width, height);
  CheckPixelLimit(frame.Width, frame.Height);
  if (Index == 0)
    ReadFirstFrame(file, frame, width, height, Graphic, this);
  else
    ReadComposedFrame(file, frame, width, height, Index, Graphic, this);
}

void TGIFFileFormatReader::ReadInfo(TStream& Stream, int Index, TFileFormatInfo& Info) {
  if (Index < 0) RaiseGIFError(LangStr1(20, "Index"));
  TFileFormatReader::ReadInfo(Stream, Index, Info);
  const std::string version = Version(Stream);
  TGIFFile file(Stream);
  TGIFFrame frame, described;
  int bits = 8, colors = 256;
  int count = 0;
  // A file cut short after its first frame still describes what it has.
  try {
    while (NextFrame(file, frame)) {
      if (count == 0) CanvasSize(file.Gif(), frame, Info.Width, Info.Height);
      if (count == Index) {
        described = frame;
        if (frame.Colors) {
          bits = frame.Colors->BitsPerPixel;
          colors = frame.Colors->ColorCount;
        }
      }
      ++count;
      SkipFrameData(file);
    }
  } catch (const EPGGIFFileFormatReader&) {
    if (count == 0) throw;
  }
  if (count == 0) RaiseGIFError(GifErrorString(D_GIF_ERR_NO_IMAG_DSCR));
  if (Index >= count) RaiseGIFError(LangStr1(20, "Index"));
  Info.ImageCount = count;
  Info.BitCount = bits;
  Info.ColorCount = std::to_string(colors);
  Info.SubFormat = version;
  if (described.Interlace) Info.SubFormat += ", interlaced";
  if (described.Transparent != NO_TRANSPARENT_COLOR) Info.SubFormat += ", transparent";
  if (count > 1) Info.SubFormat += ", animated";
  // A later frame is composed on a canvas of four bytes a pixel.
  if (Index > 0) Info.ReadMemory = int64_t(Info.Width) * Info.Height * 4;
}

void RegisterGIFFileFormats(TFileFormatReaders& Readers, TFileFormatWriters&) {
  Readers.push_back(std::make_unique<TGIFFileFormatReader>());
}
