#include "heifformat.h"

#include <libheif/heif.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <exception>
#include <memory>
#include <vector>

#include "alphablend.h"
#include "codecwarning.h"
#include "embeddedprofile.h"
#include "langstr.h"
#include "pixelgraphic.h"
#include "pixellimit.h"
#include "progressevents.h"
#include "stream.h"

int32_t AVIFCompQuality = 60;
int32_t AVIFCompSpeed = 6;

namespace {

// The name that leads the messages of a reader or writer: "AVIF", "HEIC".
std::string FormatName(const std::string& extension) {
  std::string name = extension;
  for (char& c : name) c = char(std::toupper(static_cast<unsigned char>(c)));
  return name;
}

[[noreturn]] void RaiseHEIFError(const std::string& name, const std::string& text) {
  throw EPGHEIFFileFormatReaderWriter(name + ": " + text);
}

// An ICC profile the image carries; nclx colour descriptions are left to
// libheif's own conversion to RGB.
TEmbeddedProfile ICCProfileOf(const heif_image_handle* handle) {
  TEmbeddedProfile profile;
  const heif_color_profile_type type = heif_image_handle_get_color_profile_type(handle);
  if (type != heif_color_profile_type_prof && type != heif_color_profile_type_rICC) return profile;
  profile.Data.resize(heif_image_handle_get_raw_color_profile_size(handle));
  if (profile.Data.empty() || heif_image_handle_get_raw_color_profile(handle, profile.Data.data()).code != heif_error_Ok) {
    profile.Data.clear();
    profile.Damaged = true;
  }
  return profile;
}

// libheif's plug-in registry is set up once per process and kept.
void InitLibHEIF() {
  static const bool initialized = [] {
    heif_init(nullptr);
    return true;
  }();
  (void)initialized;
}

struct THEIFDeleter {
  void operator()(heif_context* c) const { heif_context_free(c); }
  void operator()(heif_image_handle* h) const { heif_image_handle_release(h); }
  void operator()(heif_image* i) const { heif_image_release(i); }
  void operator()(heif_encoder* e) const { heif_encoder_release(e); }
  void operator()(heif_decoding_options* o) const { heif_decoding_options_free(o); }
  void operator()(heif_encoding_options* o) const { heif_encoding_options_free(o); }
};
template <class T>
using THEIFPtr = std::unique_ptr<T, THEIFDeleter>;

// A stream as libheif's reader, the file starting where the stream stood.
// libheif's callbacks must return, so a failure of the stream is noted and
// raised once libheif is back.
class THEIFSource {
public:
  explicit THEIFSource(TStream& stream)
      : FStream(stream), FStart(stream.Position()), FSize(std::max<int64_t>(stream.Size() - FStart, 0)) {}

  const heif_reader* Reader() const {
    static const heif_reader reader = {1, Position, Read, Seek, WaitForSize};
    return &reader;
  }
  const std::string& Failure() const { return FFailure; }

  // The file's first bytes, where its brands stand.
  std::vector<uint8_t> Head(size_t count) {
    std::vector<uint8_t> head(size_t(std::min<int64_t>(FSize, int64_t(count))));
    FStream.SetPosition(FStart);
    FStream.ReadBuffer(head.data(), head.size());
    FStream.SetPosition(FStart);
    return head;
  }

private:
  static THEIFSource& Of(void* self) { return *static_cast<THEIFSource*>(self); }

  void Note(const std::exception& e) noexcept {
    try {
      if (FFailure.empty()) FFailure = e.what();
    } catch (...) {
    }
  }

  static int64_t Position(void* self) {
    THEIFSource& s = Of(self);
    try {
      return s.FStream.Position() - s.FStart;
    } catch (const std::exception& e) {
      s.Note(e);
      return 0;
    }
  }

  static int Read(void* data, size_t size, void* self) {
    THEIFSource& s = Of(self);
    try {
      s.FStream.ReadBuffer(data, size);
      return 0;
    } catch (const std::exception& e) {
      s.Note(e);
      return 1;
    }
  }

  static int Seek(int64_t position, void* self) {
    THEIFSource& s = Of(self);
    if (position < 0 || position > s.FSize) return 1;
    try {
      s.FStream.SetPosition(s.FStart + position);
      return 0;
    } catch (const std::exception& e) {
      s.Note(e);
      return 1;
    }
  }

  static heif_reader_grow_status WaitForSize(int64_t target, void* self) {
    return target <= Of(self).FSize ? heif_reader_grow_status_size_reached : heif_reader_grow_status_size_beyond_eof;
  }

  TStream& FStream;
  int64_t FStart;
  int64_t FSize;
  std::string FFailure;
};

// A file opened by libheif, and the reader's or writer's name for messages.
class THEIFFile {
public:
  THEIFFile(TStream& stream, std::string name) : FName(std::move(name)), FSource(stream) {
    InitLibHEIF();
    FContext.reset(heif_context_alloc());
    if (!FContext) RaiseHEIFError(FName, LangStr1(31, "heif_context_alloc"));
    Check(heif_context_read_from_reader(FContext.get(), FSource.Reader(), &FSource, nullptr));
  }

  // Raises libheif's failure, or what went wrong in the stream beneath it.
  void Check(const heif_error& error) const {
    if (error.code == heif_error_Ok) return;
    if (!FSource.Failure().empty()) RaiseHEIFError(FName, FSource.Failure());
    RaiseHEIFError(FName, error.message ? error.message : LangStr(33));
  }

  heif_context* Context() const { return FContext.get(); }
  THEIFSource& Source() { return FSource; }

  // Image Index: 0 the primary, then the other top-level images in order.
  // BadIndex is the message when there is no such image.
  THEIFPtr<heif_image_handle> Image(int index, const std::string& badIndex) const {
    heif_item_id primary = 0;
    Check(heif_context_get_primary_image_ID(Context(), &primary));
    heif_item_id id = primary;
    if (index != 0) {
      const int count = heif_context_get_number_of_top_level_images(Context());
      std::vector<heif_item_id> ids(size_t(std::max(count, 0)));
      heif_context_get_list_of_top_level_image_IDs(Context(), ids.data(), count);
      ids.erase(std::remove(ids.begin(), ids.end(), primary), ids.end());
      if (index < 0 || size_t(index) > ids.size()) RaiseHEIFError(FName, badIndex);
      id = ids[size_t(index) - 1];
    }
    heif_image_handle* handle = nullptr;
    Check(heif_context_get_image_handle(Context(), id, &handle));
    return THEIFPtr<heif_image_handle>(handle);
  }

private:
  std::string FName;
  THEIFSource FSource;
  THEIFPtr<heif_context> FContext;
};

// The last warning libheif met while decoding, as the graphic's
// ReadWarningAction asks. libheif 1.15 hands out every warning from the
// first index asked for, whatever room it is given, and each one's text
// replaces the one before; so only the last is fetched.
void ActOnWarnings(heif_image* image, TPGWarningAction action, const std::string& name) {
  const int count = heif_image_get_decoding_warnings(image, 0, nullptr, 0);
  if (count < 1) return;
  heif_error warning{};
  heif_image_get_decoding_warnings(image, count - 1, &warning, 1);
  const std::string failure = CodecWarningFailure(action, name, warning.message ? warning.message : "");
  if (!failure.empty()) throw EPGHEIFFileFormatReaderWriter(failure);
}

// Row y of an interleaved RGB or RGBA image into the graphic's BGR row.
void ConvertRow(const uint8_t* src, uint8_t* dest, int32_t width, bool alpha, bool premultiplied, TRGB background) {
  if (!alpha) {
    for (int32_t x = 0; x < width; ++x, src += 3, dest += 3) {
      dest[0] = src[2];
      dest[1] = src[1];
      dest[2] = src[0];
    }
    return;
  }
  const auto over = premultiplied ? PremultipliedOver : BlendOver;
  for (int32_t x = 0; x < width; ++x, src += 4, dest += 3) {
    dest[0] = over(src[2], src[3], GetBValue(background));
    dest[1] = over(src[1], src[3], GetGValue(background));
    dest[2] = over(src[0], src[3], GetRValue(background));
  }
}

// The codec, from the brands of the file's ftyp box.
std::string CodecName(const std::vector<uint8_t>& head) {
  const char* type = heif_get_file_mime_type(head.data(), int(head.size()));
  const std::string mime = type ? type : "";
  if (mime.starts_with("image/avif")) return "AV1";
  if (mime.starts_with("image/heic")) return "HEVC";
  return "HEIF";
}

// "(exif, xmp, icc)": what the image carries besides its pixels.
std::string ImageDetails(const heif_image_handle* handle) {
  std::vector<std::string> names;
  if (heif_image_handle_get_number_of_metadata_blocks(handle, "Exif") > 0) names.push_back("exif");
  if (heif_image_handle_get_number_of_metadata_blocks(handle, "mime") > 0) names.push_back("xmp");
  switch (heif_image_handle_get_color_profile_type(handle)) {
    case heif_color_profile_type_prof:
    case heif_color_profile_type_rICC: names.push_back("icc"); break;
    case heif_color_profile_type_nclx: names.push_back("nclx"); break;
    default: break;
  }
  if (heif_image_handle_has_depth_image(handle)) names.push_back("depth");
  if (heif_image_handle_get_number_of_thumbnails(handle) > 0) names.push_back("thumbnail");
  std::string text;
  for (const std::string& n : names) text += (text.empty() ? "" : ", ") + n;
  return text.empty() ? text : "(" + text + ")";
}

// Colours of three samples of the given depth in millions, as "16.7M".
std::string ColorCountText(int bits) {
  if (bits <= 0 || bits > 16) return "?";
  const long double millions = std::ldexp(1.0L, 3 * bits) / 1e6L;
  char text[32];
  std::snprintf(text, sizeof text, "%.1LfM", std::floor(millions * 10) / 10);
  return text;
}

}  // namespace

THEIFFileFormatReader::THEIFFileFormatReader(const char* ClassName, const char* Extension, bool AV1)
    : TFileFormatReader(ClassName, Extension, AV1 ? "AV1 Image File Format" : "High Efficiency Image File Format",
                        true),
      FAV1(AV1) {}

bool THEIFFileFormatReader::CheckSignature(const TFileHeader& Header) const {
  if (std::memcmp(Header.data() + 4, "ftyp", 4) != 0) return false;
  static constexpr const char* av1[] = {"avif", "avis"};
  static constexpr const char* others[] = {"heic", "heix", "heim", "heis", "hevc", "hevx", "mif1", "msf1"};
  const auto matches = [&](const auto& brands) {
    return std::any_of(std::begin(brands), std::end(brands),
                       [&](const char* b) { return std::memcmp(Header.data() + 8, b, 4) == 0; });
  };
  return FAV1 ? matches(av1) : matches(others);
}

void THEIFFileFormatReader::Read(TStream& Stream, TPixelGraphic& Graphic, int Index) {
  const std::string name = FormatName(Extension());
  Graphic.SetGamma(ScreenGamma);
  THEIFFile file(Stream, name);
  const THEIFPtr<heif_image_handle> handle = file.Image(Index, LangStr1(7, "Index"));
  // Before libheif sets memory aside for the pixels.
  CheckPixelLimit(heif_image_handle_get_width(handle.get()), heif_image_handle_get_height(handle.get()));
  const bool alpha = heif_image_handle_has_alpha_channel(handle.get()) != 0;

  const THEIFPtr<heif_decoding_options> options(heif_decoding_options_alloc());
  if (!options) RaiseHEIFError(name, LangStr1(31, "heif_decoding_options_alloc"));
  options->convert_hdr_to_8bit = 1;
  heif_image* decoded = nullptr;
  const heif_error error = heif_decode_image(handle.get(), &decoded, heif_colorspace_RGB,
                                             alpha ? heif_chroma_interleaved_RGBA : heif_chroma_interleaved_RGB,
                                             options.get());
  const THEIFPtr<heif_image> image(decoded);
  file.Check(error);
  ActOnWarnings(image.get(), Graphic.ReadWarningAction(), name);

  int stride = 0;
  const uint8_t* pixels = heif_image_get_plane_readonly(image.get(), heif_channel_interleaved, &stride);
  const int32_t width = heif_image_get_width(image.get(), heif_channel_interleaved);
  const int32_t height = heif_image_get_height(image.get(), heif_channel_interleaved);
  if (!pixels || heif_image_get_bits_per_pixel_range(image.get(), heif_channel_interleaved) != 8)
    RaiseHEIFError(name, LangStr(30));
  if (width <= 0 || height <= 0 || stride < width * (alpha ? 4 : 3)) RaiseHEIFError(name, LangStr(35));
  CheckPixelLimit(width, height);
  const bool premultiplied = heif_image_is_premultiplied_alpha(image.get()) != 0;

  // The background as it was before the size changes the graphic.
  const TRGB background = Graphic.BackGroundColor();
  Graphic.SetSize(width, height, 3);
  RaiseProgressStart(Graphic, this);
  bool aborted = false;
  try {
    for (int32_t y = 0; y < height && !aborted; ++y) {
      ConvertRow(pixels + size_t(y) * size_t(stride), Graphic.ScanLine(y), width, alpha, premultiplied, background);
      aborted = RaiseProgress(Graphic, this, y + 1, height);
    }
  } catch (...) {
    RaiseProgressEnd(Graphic, this);
    throw;
  }
  RaiseProgressEnd(Graphic, this);
  if (aborted) return;
  const std::string failure = ConvertEmbeddedProfile(Graphic, ICCProfileOf(handle.get()), name);
  if (!failure.empty()) throw EPGHEIFFileFormatReaderWriter(failure);
}

void THEIFFileFormatReader::ReadInfo(TStream& Stream, int Index, TFileFormatInfo& Info) {
  const std::string name = FormatName(Extension());
  TFileFormatReader::ReadInfo(Stream, Index, Info);
  THEIFFile file(Stream, name);
  const THEIFPtr<heif_image_handle> handle = file.Image(Index, LangStr1(20, "Index"));
  const bool alpha = heif_image_handle_has_alpha_channel(handle.get()) != 0;
  // Negative when libheif cannot tell.
  const int bits = heif_image_handle_get_luma_bits_per_pixel(handle.get());
  Info.ImageCount = std::max(heif_context_get_number_of_top_level_images(file.Context()), 1);
  Info.Width = heif_image_handle_get_width(handle.get());
  Info.Height = heif_image_handle_get_height(handle.get());
  Info.BitCount = std::max(bits, 0) * (alpha ? 4 : 3);
  Info.ColorCount = ColorCountText(bits);
  Info.SubFormat = CodecName(file.Source().Head(256));
  if (bits > 0 && bits != 8) Info.SubFormat += ", " + std::to_string(bits) + " bit";
  if (alpha) Info.SubFormat += ", alpha";
  Info.Details = ImageDetails(handle.get());
  // libheif's planes, up to 16 bits a sample, and its interleaved colours.
  const int64_t pixels = int64_t(std::max(Info.Width, 0)) * std::max(Info.Height, 0);
  Info.ReadMemory = pixels * ((alpha ? 4 : 3) * (bits > 8 ? 2 : 1) + (alpha ? 4 : 3));
}

TAVIFFileFormatWriter::TAVIFFileFormatWriter()
    : TFileFormatWriter("TAVIFFileFormatWriter", "avif", "AV1 Image File Format", true, {crTrueColor}) {}

namespace {

// The stream as libheif's writer; its failure goes back to libheif, which
// returns it from heif_context_write.
class THEIFTarget {
public:
  explicit THEIFTarget(TStream& stream) : FStream(stream) {}
  heif_writer* Writer() {
    FWriter = {1, Write};
    return &FWriter;
  }

private:
  static heif_error Write(heif_context*, const void* data, size_t size, void* self) {
    THEIFTarget& t = *static_cast<THEIFTarget*>(self);
    try {
      t.FStream.WriteBuffer(data, size);
      return heif_error{heif_error_Ok, heif_suberror_Unspecified, ""};
    } catch (const std::exception& e) {
      try {
        t.FFailure = e.what();
      } catch (...) {
      }
    }
    return heif_error{heif_error_Encoding_error, heif_suberror_Cannot_write_output_data, t.FFailure.c_str()};
  }

  TStream& FStream;
  heif_writer FWriter{};
  std::string FFailure;
};

void CheckWrite(const heif_error& error) {
  if (error.code != heif_error_Ok) RaiseHEIFError("AVIF", error.message ? error.message : LangStr(33));
}

}  // namespace

void TAVIFFileFormatWriter::Write(TStream& Stream, TPixelGraphic& Graphic) {
  if (Graphic.BitCountNum() != 3) RaiseHEIFError("AVIF", LangStr1(20, "BitCount"));
  const int32_t width = Graphic.GetWidth(), height = Graphic.GetHeight();
  if (width <= 0 || height <= 0) RaiseHEIFError("AVIF", LangStr(35));
  InitLibHEIF();

  heif_image* created = nullptr;
  CheckWrite(heif_image_create(width, height, heif_colorspace_RGB, heif_chroma_interleaved_RGB, &created));
  const THEIFPtr<heif_image> image(created);
  CheckWrite(heif_image_add_plane(image.get(), heif_channel_interleaved, width, height, 8));
  int stride = 0;
  uint8_t* plane = heif_image_get_plane(image.get(), heif_channel_interleaved, &stride);
  if (!plane) RaiseHEIFError("AVIF", LangStr1(31, "heif_image_get_plane"));
  RaiseProgressStart(Graphic, this);
  for (int32_t y = 0; y < height; ++y) {
    const uint8_t* src = Graphic.ScanLine(y);
    uint8_t* dest = plane + size_t(y) * size_t(stride);
    for (int32_t x = 0; x < width; ++x, src += 3, dest += 3) {
      dest[0] = src[2];
      dest[1] = src[1];
      dest[2] = src[0];
    }
    RaiseProgress(Graphic, this, y, height - 1);
  }
  RaiseProgressEnd(Graphic, this);

  const THEIFPtr<heif_context> context(heif_context_alloc());
  if (!context) RaiseHEIFError("AVIF", LangStr1(31, "heif_context_alloc"));
  heif_encoder* found = nullptr;
  CheckWrite(heif_context_get_encoder_for_format(context.get(), heif_compression_AV1, &found));
  const THEIFPtr<heif_encoder> encoder(found);
  CheckWrite(heif_encoder_set_lossy_quality(encoder.get(), std::clamp(AVIFCompQuality, 0, 100)));
  // Encoders other than libaom may name their speeds otherwise; they keep their own.
  heif_encoder_set_parameter_integer(encoder.get(), "speed", std::clamp(AVIFCompSpeed, 0, 9));
  const THEIFPtr<heif_encoding_options> options(heif_encoding_options_alloc());
  CheckWrite(heif_context_encode_image(context.get(), image.get(), encoder.get(), options.get(), nullptr));
  THEIFTarget target(Stream);
  CheckWrite(heif_context_write(context.get(), target.Writer(), &target));
}

void RegisterHEIFFileFormats(TFileFormatReaders& Readers, TFileFormatWriters& Writers) {
  Readers.push_back(std::make_unique<TAVIFFileFormatReader>());
  Readers.push_back(std::make_unique<THEIFFileFormatReader>());
  Readers.push_back(std::make_unique<THEIFAliasFileFormatReader>());
  Writers.push_back(std::make_unique<TAVIFFileFormatWriter>());
}
