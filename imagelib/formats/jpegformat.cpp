#include "jpegformat.h"

#include <algorithm>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "embeddedprofile.h"
#include "exifblock.h"
#include "formatoptions.h"
#include "jpegexifmarker.h"
#include "jpegsession.h"
#include "langstr.h"
#include "orientation.h"
#include "pgexceptions.h"
#include "pixelgraphic.h"
#include "pixellimit.h"
#include "progressevents.h"
#include "stream.h"

namespace {

constexpr const char* JPEGDescription = "JPEG (JFIF compliant)";
// A segment's length field counts itself.
constexpr size_t MaxSegmentData = 65533;

[[noreturn]] void RaiseJPGError(const std::string& text) { throw EPGJPGFileFormatReaderWriter("JPG: " + text); }

// The options hold the library's own numbering: 0 slow integer, 1 fast
// integer, 2 floating point.
J_DCT_METHOD DCTMethod(int32_t option) { return J_DCT_METHOD(std::clamp<int32_t>(option, JDCT_ISLOW, JDCT_FLOAT)); }

// The smallest of the library's scales M/8 whose output is at least Target
// each way, with the output size worked out for it; 8/8 is the full size.
void ChooseReducedScale(jpeg_decompress_struct* info, TLoadSize target) {
  info->scale_denom = 8;
  for (info->scale_num = 1; info->scale_num < 8; ++info->scale_num) {
    jpeg_calc_output_dimensions(info);
    if (int64_t(info->output_width) >= target.Width && int64_t(info->output_height) >= target.Height) return;
  }
  jpeg_calc_output_dimensions(info);
}

constexpr int MarkerICC = JPEG_APP0 + 2;

// The profile of the APP2 segments the decoder has saved.
TEmbeddedProfile SavedProfile(const jpeg_decompress_struct* info) {
  std::vector<std::pair<const uint8_t*, size_t>> segments;
  for (jpeg_saved_marker_ptr m = info->marker_list; m; m = m->next)
    if (m->marker == MarkerICC) segments.emplace_back(m->data, m->data_length);
  return JoinICCSegments(segments);
}

std::string ColorSpaceName(J_COLOR_SPACE space) {
  switch (space) {
    case JCS_UNKNOWN: return "unknown";
    case JCS_GRAYSCALE: return "GrayScale";
    case JCS_RGB: return "RGB";
    case JCS_YCbCr: return "YCbCr";
    case JCS_CMYK: return "CMYK";
    case JCS_YCCK: return "YCbCrK";
    default: return std::string();
  }
}

std::string ColorCountText(int components) {
  switch (components) {
    case 1: return "256";
    case 2: return "64K";
    case 3: return "16.7M";
    case 4: return "4294.9M";
    default: return "?";
  }
}

// The photo's EXIF block in an APP1 segment, as far as one segment holds it.
void WriteExifSegment(TJPEGSession& session, jpeg_compress_struct& info, const TPixelGraphic& graphic) {
  if (graphic.ExifBlock().empty()) return;
  std::vector<uint8_t> segment(std::begin(ExifSegmentHeader), std::end(ExifSegmentHeader));
  const std::vector<uint8_t> block = ExifForSaving(graphic.ExifBlock(), graphic.Orientation());
  if (block.empty() || block.size() > MaxSegmentData - segment.size()) return;
  segment.insert(segment.end(), block.begin(), block.end());
  session.Call([&] { jpeg_write_marker(&info, JPEG_APP0 + 1, segment.data(), unsigned(segment.size())); });
}

}  // namespace

TJPGFileFormatReader::TJPGFileFormatReader(const char* ClassName, const char* Extension)
    : TFileFormatReader(ClassName, Extension, JPEGDescription, true) {}

bool TJPGFileFormatReader::CheckSignature(const TFileHeader& Header) const {
  return Header[0] == 0xFF && Header[1] == 0xD8;
}

void TJPGFileFormatReader::Read(TStream& Stream, TPixelGraphic& Graphic, int Index) {
  if (Index != 0) RaiseJPGError(LangStr1(7, "Index"));
  const int64_t start = Stream.Position();
  Graphic.SetGamma(ScreenGamma);
  TJPEGSession session(Stream, Graphic.ReadWarningAction());
  TJPEGDecompressor jpeg(session);
  jpeg_decompress_struct* info = &jpeg.Info;
  const J_DCT_METHOD method = Graphic.FastLoad() ? JDCT_IFAST : DCTMethod(JPEGDecompMethod);
  TJPEGExifMarker exif(session, *info);
  session.Call([&] {
    jpeg_save_markers(info, MarkerICC, 0xFFFF);
    jpeg_read_header(info, TRUE);
  });
  const bool cmyk = info->jpeg_color_space == JCS_CMYK || info->jpeg_color_space == JCS_YCCK;
  const uint8_t orientation = ExifOrientation(exif.Block);
  Graphic.SetOrientation(orientation);
  Graphic.SetExifBlock(std::move(exif.Block));
  // Asked outside the library, which a handler's exception must not cross;
  // with the sides the picture will have once it is turned upright.
  const bool turned = AutoOrient && OrientationSwapsSides(orientation);
  const int32_t width = int32_t(info->image_width), height = int32_t(info->image_height);
  std::optional<TLoadSize> target;
  if (Graphic.OnLoadTarget) {
    const TLoadSize upright = turned ? Graphic.OnLoadTarget(this, height, width) : Graphic.OnLoadTarget(this, width, height);
    target = turned ? TLoadSize{upright.Height, upright.Width} : upright;
  }
  session.Call([&] {
    info->scale_num = 1;
    info->scale_denom = 1;
    info->dct_method = method;
    info->quantize_colors = FALSE;
    info->two_pass_quantize = FALSE;
    info->dither_mode = JDITHER_NONE;
    // Colour rows land in the buffer's blue-green-red order.
    if (info->out_color_space == JCS_RGB) info->out_color_space = JCS_EXT_BGR;
    if (cmyk) info->out_color_space = JCS_CMYK;
    if (target)
      ChooseReducedScale(info, *target);
    else
      jpeg_calc_output_dimensions(info);
    // libjpeg's own buffers stay within what the pixel limit allows: a
    // progressive file keeps 2 bytes for each sample of 3 components.
    if (MaxPixels > 0)
      info->mem->max_memory_to_use = long(std::min<int64_t>(MaxPixels, INT64_MAX / 8) * 6 + (64 << 20));
  });

  // Sized before decompression starts, so that a picture the graphic cannot
  // hold is refused before the library sets aside buffers for it.
  uint8_t code = 3;
  switch (info->output_components) {
    case 1: code = 2; break;
    case 3: break;
    case 4:
      if (cmyk) break;
      [[fallthrough]];
    default: RaiseJPGError(LangStr(30));
  }
  CheckPixelLimit(info->output_width, info->output_height);
  const TEmbeddedProfile profile = SavedProfile(info);
  std::unique_ptr<TCMYKConversion> inks;
  std::vector<JSAMPLE> inkRow;
  if (cmyk) {
    // Adobe's marker says the inks are stored inverted, as Photoshop and
    // ImageMagick write them.
    std::string failure;
    inks = CMYKConversionOf(profile, info->saw_Adobe_marker, Graphic.ReadWarningAction(), "JPG", failure);
    if (!failure.empty()) throw EPGJPGFileFormatReaderWriter(failure);
    inkRow.resize(size_t(info->output_width) * 4);
  }
  Graphic.SetSize(int32_t(info->output_width), int32_t(info->output_height), code);
  if (code == 2) Graphic.SetPaletteIdent(pGray256);

  RaiseProgressStart(Graphic, this);
  try {
    // While the scans are read no row is done yet.
    session.StartDecompress(*info, start, [&] { return RaiseProgress(Graphic, this, 0, int(info->output_height)); });
    bool aborted = false;
    while (!aborted && info->output_scanline < info->output_height) {
      uint8_t* line = Graphic.ScanLine(int32_t(info->output_scanline));
      JSAMPROW row = inks ? inkRow.data() : line;
      session.Call([&] { jpeg_read_scanlines(info, &row, 1); });
      if (inks) inks->Convert(inkRow.data(), line, int32_t(info->output_width));
      aborted = RaiseProgress(Graphic, this, int(info->output_scanline), int(info->output_height));
    }
  } catch (...) {
    RaiseProgressEnd(Graphic, this);
    throw;
  }
  RaiseProgressEnd(Graphic, this);
  // After an abort the library refuses to finish: too few scanlines.
  session.Call([&] { jpeg_finish_decompress(info); });
  if (inks) {
    if (inks->Profiled()) Graphic.SetGamma(SRGBGamma);
    return;
  }
  const std::string failure = ConvertEmbeddedProfile(Graphic, profile, "JPG");
  if (!failure.empty()) throw EPGJPGFileFormatReaderWriter(failure);
}

void TJPGFileFormatReader::ReadInfo(TStream& Stream, int Index, TFileFormatInfo& Info) {
  if (Index != 0) RaiseJPGError(LangStr1(20, "Index"));
  TFileFormatReader::ReadInfo(Stream, Index, Info);
  TJPEGSession session(Stream, pgwaRaise);
  TJPEGDecompressor jpeg(session);
  jpeg_decompress_struct* info = &jpeg.Info;
  TJPEGExifMarker exif(session, *info);
  session.Call([&] { jpeg_read_header(info, TRUE); });
  Info.Orientation = ExifOrientation(exif.Block);
  Info.Width = int32_t(info->image_width);
  Info.Height = int32_t(info->image_height);
  Info.BitCount = 8 * info->num_components;
  Info.SubFormat = ColorSpaceName(info->jpeg_color_space);
  if (info->progressive_mode) Info.SubFormat += ", Progressive";
  if (info->saw_Adobe_marker) Info.SubFormat = "Adope, " + Info.SubFormat;
  if (info->saw_JFIF_marker) Info.SubFormat = "JFIF, " + Info.SubFormat;
  Info.ColorCount = ColorCountText(info->num_components);
}

TJPGFileFormatWriter::TJPGFileFormatWriter(const char* ClassName, const char* Extension, bool Listed)
    : TFileFormatWriter(ClassName, Extension, JPEGDescription, Listed, TColorResolutions{crGray256, crTrueColor}) {}

void TJPGFileFormatWriter::Write(TStream& Stream, TPixelGraphic& Graphic) {
  TJPEGSession session(Stream, Graphic.ReadWarningAction());
  TJPEGCompressor jpeg(session);
  jpeg_compress_struct* info = &jpeg.Info;
  Graphic.IdentifyPalette();
  const bool gray = Graphic.BitCountNum() == 2 && Graphic.PaletteIdent() == pGray256;
  if (!gray && Graphic.BitCountNum() != 3) RaiseJPGError(LangStr1(20, "BitCount"));
  info->image_width = JDIMENSION(Graphic.GetWidth());
  info->image_height = JDIMENSION(Graphic.GetHeight());
  info->input_components = gray ? 1 : 3;
  info->in_color_space = gray ? JCS_GRAYSCALE : JCS_EXT_BGR;
  const J_DCT_METHOD method = DCTMethod(JPEGCompMethod);
  session.Call([&] {
    jpeg_set_defaults(info);
    if (JPEGCompProgressive) jpeg_simple_progression(info);
    jpeg_set_quality(info, JPEGCompQuality, TRUE);
    info->dct_method = method;
    info->optimize_coding = JPEGOptimizeCoding ? TRUE : FALSE;
    jpeg_start_compress(info, TRUE);
  });
  if (KeepPhotoInfo) WriteExifSegment(session, *info, Graphic);

  RaiseProgressStart(Graphic, this);
  while (info->next_scanline < info->image_height) {
    JSAMPROW row = Graphic.ScanLine(int32_t(info->next_scanline));
    session.Call([&] { jpeg_write_scanlines(info, &row, 1); });
    RaiseProgress(Graphic, this, int(info->next_scanline), int(info->image_height));
  }
  RaiseProgressEnd(Graphic, this);
  session.Call([&] { jpeg_finish_compress(info); });
}

void RegisterJPEGFileFormats(TFileFormatReaders& Readers, TFileFormatWriters& Writers) {
  Readers.push_back(std::make_unique<TJPGFileFormatReader>());
  Readers.push_back(std::make_unique<TJPEGFileFormatReader>());
  Readers.push_back(std::make_unique<TJIFFileFormatReader>());
  Writers.push_back(std::make_unique<TJPGFileFormatWriter>());
  Writers.push_back(std::make_unique<TJPEGFileFormatWriter>());
  Writers.push_back(std::make_unique<TJIFFileFormatWriter>());
}
