#include "webpformat.h"

#include <webp/decode.h>
#include <webp/demux.h>
#include <webp/encode.h>

#include <algorithm>
#include <exception>
#include <memory>
#include <string>
#include <vector>

#include "alphablend.h"
#include "codecwarning.h"
#include "embeddedprofile.h"
#include "formatoptions.h"
#include "langstr.h"
#include "pixelgraphic.h"
#include "pixellimit.h"
#include "progressevents.h"
#include "stream.h"

namespace {

// Bytes handed to the decoder at a time, so that progress is told and an
// abort heard while a large picture decodes.
constexpr size_t FeedBytes = size_t(64) << 10;

const TPGLangStrEntry SideText = {
    0,
    {"Width and height must be 1 to %S1 pixels", "Breite und Höhe müssen 1 bis %S1 Pixel betragen",
     "La largeur et la hauteur doivent être de 1 à %S1 pixels", "Breedte en hoogte moeten 1 tot %S1 pixels zijn",
     "El ancho y el alto deben ser de 1 a %S1 píxeles", ""}};

[[noreturn]] void RaiseWebPError(const std::string& text) { throw EPGWebPFileFormatReaderWriter("WebP: " + text); }

std::string StatusText(VP8StatusCode status) {
  switch (status) {
    case VP8_STATUS_OUT_OF_MEMORY: return "out of memory";
    case VP8_STATUS_INVALID_PARAM: return "invalid parameter";
    case VP8_STATUS_BITSTREAM_ERROR: return "bitstream error";
    case VP8_STATUS_UNSUPPORTED_FEATURE: return "unsupported feature";
    case VP8_STATUS_USER_ABORT: return LangStr(29);
    case VP8_STATUS_SUSPENDED:
    case VP8_STATUS_NOT_ENOUGH_DATA: return LangStr(32);
    default: return LangStr(33);
  }
}

std::string EncodingText(WebPEncodingError error) {
  switch (error) {
    case VP8_ENC_ERROR_OUT_OF_MEMORY: return "out of memory";
    case VP8_ENC_ERROR_BITSTREAM_OUT_OF_MEMORY: return "out of memory while flushing bits";
    case VP8_ENC_ERROR_NULL_PARAMETER: return "null parameter";
    case VP8_ENC_ERROR_INVALID_CONFIGURATION: return "invalid configuration";
    case VP8_ENC_ERROR_BAD_DIMENSION: return SubstitutePlaceholder(LangText(SideText), "%S1", "16383");
    case VP8_ENC_ERROR_PARTITION0_OVERFLOW: return "partition 0 is bigger than 512k";
    case VP8_ENC_ERROR_PARTITION_OVERFLOW: return "partition is bigger than 16M";
    case VP8_ENC_ERROR_BAD_WRITE: return "error while writing";
    case VP8_ENC_ERROR_FILE_TOO_BIG: return "file is bigger than 4G";
    case VP8_ENC_ERROR_USER_ABORT: return LangStr(29);
    default: return LangStr(33);
  }
}

uint32_t LittleEndian32(const uint8_t* p) { return p[0] | p[1] << 8 | p[2] << 16 | uint32_t(p[3]) << 24; }

// The file from the stream's position on, as far as its RIFF header says.
std::vector<uint8_t> Contents(TStream& stream) {
  const int64_t available = std::max<int64_t>(0, stream.Size() - stream.Position());
  std::vector<uint8_t> data(size_t(std::min<int64_t>(available, 12)));
  stream.ReadBuffer(data.data(), data.size());
  if (data.size() < 12) RaiseWebPError(LangStr(32));
  const int64_t riff = int64_t(LittleEndian32(&data[4])) + 8;
  data.resize(size_t(std::min(available, std::max<int64_t>(riff, 12))));
  stream.ReadBuffer(data.data() + 12, data.size() - 12);
  return data;
}

WebPBitstreamFeatures Features(const std::vector<uint8_t>& data) {
  WebPBitstreamFeatures features;
  const VP8StatusCode status = WebPGetFeatures(data.data(), data.size(), &features);
  if (status != VP8_STATUS_OK) RaiseWebPError(StatusText(status));
  return features;
}

// Rows of blue, green, red, alpha laid over the graphic's background colour.
void BlendRows(TPixelGraphic& graphic, TRGB background, const uint8_t* bgra, int32_t from, int32_t to) {
  const int32_t width = graphic.GetWidth();
  for (int32_t y = from; y < to; ++y) {
    const uint8_t* s = bgra + size_t(y) * width * 4;
    uint8_t* d = graphic.ScanLine(y);
    for (int32_t x = 0; x < width; ++x, s += 4, d += 3) {
      d[0] = BlendOver(s[0], s[3], GetBValue(background));
      d[1] = BlendOver(s[1], s[3], GetGValue(background));
      d[2] = BlendOver(s[2], s[3], GetRValue(background));
    }
  }
}

struct TIDecoderDelete {
  void operator()(WebPIDecoder* d) const { WebPIDelete(d); }
};
struct TAnimDecoderDelete {
  void operator()(WebPAnimDecoder* d) const { WebPAnimDecoderDelete(d); }
};
struct TDemuxDelete {
  void operator()(WebPDemuxer* d) const { WebPDemuxDelete(d); }
};

// A still picture, decoded a piece of the file at a time: without alpha
// straight into the graphic (whose rows lie bottom-up, hence the flip), with
// alpha into a buffer whose rows are laid over the background as they come.
void ReadStill(const std::vector<uint8_t>& data, const WebPBitstreamFeatures& features, TPixelGraphic& graphic,
               TObject* sender) {
  const int32_t width = features.width, height = features.height;
  const TRGB background = graphic.BackGroundColor();
  graphic.SetSize(width, height, 3);
  WebPDecoderConfig config;
  if (!WebPInitDecoderConfig(&config)) RaiseWebPError("Invalid library version");
  std::vector<uint8_t> bgra;
  WebPRGBABuffer& out = config.output.u.RGBA;
  if (features.has_alpha) {
    bgra.resize(size_t(width) * size_t(height) * 4);
    config.output.colorspace = MODE_BGRA;
    out = {bgra.data(), width * 4, bgra.size()};
  } else {
    config.output.colorspace = MODE_BGR;
    out = {graphic.ScanLine(height - 1), int(graphic.Stride()), size_t(graphic.Stride()) * size_t(height)};
    config.options.flip = 1;
  }
  config.output.is_external_memory = 1;
  const std::unique_ptr<WebPIDecoder, TIDecoderDelete> decoder(WebPIDecode(nullptr, 0, &config));
  if (!decoder) RaiseWebPError(LangStr1(31, "WebPIDecode"));

  RaiseProgressStart(graphic, sender);
  VP8StatusCode status = VP8_STATUS_SUSPENDED;
  size_t given = 0;
  int32_t done = 0;
  bool aborted = false;
  while (status == VP8_STATUS_SUSPENDED && given < data.size() && !aborted) {
    given = std::min(data.size(), given + FeedBytes);
    status = WebPIUpdate(decoder.get(), data.data(), given);
    int lastY = 0;
    if (WebPIDecGetRGB(decoder.get(), &lastY, nullptr, nullptr, nullptr) && lastY > done) {
      if (features.has_alpha) BlendRows(graphic, background, bgra.data(), done, lastY);
      done = lastY;
      aborted = RaiseProgress(graphic, sender, done, height);
    }
  }
  RaiseProgressEnd(graphic, sender);
  if (aborted || status == VP8_STATUS_OK) return;
  // Cut short: the rows so far stay, as the warning action allows.
  if (status == VP8_STATUS_SUSPENDED) {
    const std::string failure = CodecWarningFailure(graphic.ReadWarningAction(), "WebP", LangStr(32));
    if (!failure.empty()) throw EPGWebPFileFormatReaderWriter(failure);
    return;
  }
  RaiseWebPError(StatusText(status));
}

// Frame Index of an animation: libwebp composes the frames up to it on its
// canvas, which is then laid over the background colour.
void ReadAnimationFrame(const std::vector<uint8_t>& data, int Index, TPixelGraphic& graphic, TObject* sender) {
  WebPAnimDecoderOptions options;
  if (!WebPAnimDecoderOptionsInit(&options)) RaiseWebPError("Invalid library version");
  options.color_mode = MODE_BGRA;
  options.use_threads = 0;
  const WebPData webp{data.data(), data.size()};
  const std::unique_ptr<WebPAnimDecoder, TAnimDecoderDelete> decoder(WebPAnimDecoderNew(&webp, &options));
  if (!decoder) RaiseWebPError(LangStr1(31, "WebPAnimDecoderNew"));
  WebPAnimInfo info;
  if (!WebPAnimDecoderGetInfo(decoder.get(), &info)) RaiseWebPError(LangStr1(31, "WebPAnimDecoderGetInfo"));
  if (uint32_t(Index) >= info.frame_count) RaiseWebPError(LangStr1(7, "Index"));
  RaiseProgressStart(graphic, sender);
  uint8_t* canvas = nullptr;
  for (int n = 0; n <= Index; ++n) {
    int timestamp = 0;
    if (!WebPAnimDecoderGetNext(decoder.get(), &canvas, &timestamp))
      RaiseWebPError(StatusText(VP8_STATUS_BITSTREAM_ERROR));
    if (RaiseProgress(graphic, sender, n, Index + 1)) break;
  }
  const TRGB background = graphic.BackGroundColor();
  graphic.SetSize(int32_t(info.canvas_width), int32_t(info.canvas_height), 3);
  if (canvas) BlendRows(graphic, background, canvas, 0, graphic.GetHeight());
  RaiseProgressEnd(graphic, sender);
}

int FrameCount(const std::vector<uint8_t>& data) {
  const WebPData webp{data.data(), data.size()};
  const std::unique_ptr<WebPDemuxer, TDemuxDelete> demux(WebPDemux(&webp));
  if (!demux) RaiseWebPError(LangStr1(31, "WebPDemux"));
  return int(WebPDemuxGetI(demux.get(), WEBP_FF_FRAME_COUNT));
}

// The ICCP chunk of an extended file; a file whose flags promise one it
// does not hold has a damaged profile.
TEmbeddedProfile ICCProfileOf(const std::vector<uint8_t>& data) {
  TEmbeddedProfile profile;
  const WebPData webp{data.data(), data.size()};
  const std::unique_ptr<WebPDemuxer, TDemuxDelete> demux(WebPDemux(&webp));
  if (!demux || !(WebPDemuxGetI(demux.get(), WEBP_FF_FORMAT_FLAGS) & ICCP_FLAG)) return profile;
  WebPChunkIterator chunk;
  if (WebPDemuxGetChunk(demux.get(), "ICCP", 1, &chunk)) {
    profile.Data.assign(chunk.chunk.bytes, chunk.chunk.bytes + chunk.chunk.size);
    WebPDemuxReleaseChunkIterator(&chunk);
  }
  profile.Damaged = profile.Data.empty();
  return profile;
}

// What libwebp's callbacks need during one write. They run inside the C
// library, so they catch everything and answer by their return values.
struct TWebPWriteSession {
  TStream& Stream;
  TPixelGraphic& Graphic;
  TObject* Sender;
  std::string Failure;

  static int WriteData(const uint8_t* data, size_t size, const WebPPicture* picture) {
    auto& s = *static_cast<TWebPWriteSession*>(picture->custom_ptr);
    try {
      s.Stream.WriteBuffer(data, size);
      return 1;
    } catch (const std::exception& e) {
      s.Failure = e.what();
    } catch (...) {
      s.Failure = LangStr(29);
    }
    return 0;
  }

  // Abort is not honoured while writing.
  static int Progress(int percent, const WebPPicture* picture) {
    auto& s = *static_cast<TWebPWriteSession*>(picture->custom_ptr);
    try {
      RaiseProgress(s.Graphic, s.Sender, percent, 100);
    } catch (...) {
    }
    return 1;
  }
};

struct TWebPPictureFree {
  void operator()(WebPPicture* p) const { WebPPictureFree(p); }
};

}  // namespace

TWebPFileFormatReader::TWebPFileFormatReader() : TFileFormatReader("TWebPFileFormatReader", "webp", "WebP", true) {}

bool TWebPFileFormatReader::CheckSignature(const TFileHeader& Header) const {
  return std::equal(Header.begin(), Header.begin() + 4, "RIFF") &&
         std::equal(Header.begin() + 8, Header.begin() + 12, "WEBP");
}

void TWebPFileFormatReader::Read(TStream& Stream, TPixelGraphic& Graphic, int Index) {
  if (Index < 0) RaiseWebPError(LangStr1(7, "Index"));
  const std::vector<uint8_t> data = Contents(Stream);
  const WebPBitstreamFeatures features = Features(data);
  // An animation's canvas may be far larger than its frames; it is checked
  // before libwebp sets memory aside for it.
  CheckPixelLimit(features.width, features.height);
  if (features.has_animation) {
    ReadAnimationFrame(data, Index, Graphic, this);
  } else {
    if (Index != 0) RaiseWebPError(LangStr1(7, "Index"));
    ReadStill(data, features, Graphic, this);
  }
  const std::string failure = ConvertEmbeddedProfile(Graphic, ICCProfileOf(data), "WebP");
  if (!failure.empty()) throw EPGWebPFileFormatReaderWriter(failure);
}

void TWebPFileFormatReader::ReadInfo(TStream& Stream, int Index, TFileFormatInfo& Info) {
  if (Index < 0) RaiseWebPError(LangStr1(20, "Index"));
  TFileFormatReader::ReadInfo(Stream, Index, Info);
  const std::vector<uint8_t> data = Contents(Stream);
  const WebPBitstreamFeatures features = Features(data);
  Info.ImageCount = features.has_animation ? FrameCount(data) : 1;
  if (Index >= Info.ImageCount) RaiseWebPError(LangStr1(20, "Index"));
  Info.Width = features.width;
  Info.Height = features.height;
  Info.BitCount = features.has_alpha ? 32 : 24;
  Info.ColorCount = "16.7M";
  Info.SubFormat = features.has_animation ? "animated" : features.format == 2 ? "lossless" : "lossy";
  if (features.has_alpha) Info.SubFormat += ", alpha";
  // Alpha is decoded beside the picture; an animation keeps two canvases.
  const int64_t canvas = int64_t(features.width) * features.height * 4;
  if (features.has_animation)
    Info.ReadMemory = 2 * canvas;
  else if (features.has_alpha)
    Info.ReadMemory = canvas;
  Info.ReadMemory += int64_t(data.size());
}

TWebPFileFormatWriter::TWebPFileFormatWriter()
    : TFileFormatWriter("TWebPFileFormatWriter", "webp", "WebP", true, TColorResolutions{crTrueColor}) {}

void TWebPFileFormatWriter::Write(TStream& Stream, TPixelGraphic& Graphic) {
  const int32_t width = Graphic.GetWidth(), height = Graphic.GetHeight();
  if (width < 1 || height < 1 || width > WEBP_MAX_DIMENSION || height > WEBP_MAX_DIMENSION)
    RaiseWebPError(EncodingText(VP8_ENC_ERROR_BAD_DIMENSION));
  if (Graphic.BitCountNum() != 3) RaiseWebPError(LangStr(36));
  WebPConfig config;
  WebPPicture picture;
  if (!WebPConfigInit(&config) || !WebPPictureInit(&picture)) RaiseWebPError("Invalid library version");
  config.lossless = WebPLossless ? 1 : 0;
  if (!WebPLossless) config.quality = float(std::clamp(WebPQuality, 0, 100));
  picture.width = width;
  picture.height = height;
  picture.use_argb = config.lossless;
  const std::unique_ptr<WebPPicture, TWebPPictureFree> owned(&picture);
  // The graphic's rows lie bottom-up: from the top row on, each next row is
  // one stride lower.
  if (!WebPPictureImportBGR(&picture, Graphic.ScanLine(0), -int(Graphic.Stride())))
    RaiseWebPError(EncodingText(picture.error_code));
  TWebPWriteSession session{Stream, Graphic, this, {}};
  picture.writer = TWebPWriteSession::WriteData;
  picture.custom_ptr = &session;
  picture.progress_hook = TWebPWriteSession::Progress;
  RaiseProgressStart(Graphic, this);
  if (!WebPEncode(&config, &picture)) {
    if (!session.Failure.empty()) RaiseWebPError(session.Failure);
    RaiseWebPError(EncodingText(picture.error_code));
  }
  RaiseProgressEnd(Graphic, this);
}

void RegisterWebPFileFormats(TFileFormatReaders& Readers, TFileFormatWriters& Writers) {
  Readers.push_back(std::make_unique<TWebPFileFormatReader>());
  Writers.push_back(std::make_unique<TWebPFileFormatWriter>());
}
