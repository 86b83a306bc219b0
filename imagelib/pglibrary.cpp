#include "pglibrary.h"

#include <csetjmp>
#include <cstdio>
#include <mutex>
#include <string>

#include <jpeglib.h>
#include <png.h>

#include "langstr.h"
#include "pgexceptions.h"

namespace {

[[noreturn]] void LayoutMismatch(const char* record, const std::string& detail) {
  throw EPixelGraphic(std::string("Record sizes are different: ") + record + " (" + detail + ")");
}

template <typename T>
void CheckSize(const char* record, size_t expected) {
  if (sizeof(T) != expected)
    LayoutMismatch(record, "expected " + std::to_string(expected) + " bytes, found " + std::to_string(sizeof(T)));
}

// libpng keeps png_info opaque since 1.5, and png_text and png_time are
// pinned by the release series, which png_create_*_struct compares against
// the header's version string. Checking the series here reports a mismatch
// at start instead of at the first PNG file; the colour records are written
// as raw arrays, so their sizes are checked too.
void CheckPNG() {
  const png_uint_32 runtime = png_access_version_number();
  if (runtime / 100 != PNG_LIBPNG_VER / 100)
    LayoutMismatch("png_info", "libpng " + std::to_string(runtime) + " against headers of " + PNG_LIBPNG_VER_STRING);
  CheckSize<png_color>("png_color", 3);
  CheckSize<png_color_8>("png_color_8", 5);
  CheckSize<png_color_16>("png_color_16", 10);
}

struct TLayoutErrorMgr {
  jpeg_error_mgr pub;
  std::jmp_buf jump;
};

void LayoutErrorExit(j_common_ptr cinfo) { std::longjmp(reinterpret_cast<TLayoutErrorMgr*>(cinfo->err)->jump, 1); }

// libjpeg compares the structure sizes it was built with against the ones
// passed by jpeg_create_*; creating one of each runs that comparison. The
// error manager and the common struct have no such check: they are the
// leading parts of the checked structures.
template <typename TInfo>
bool CreatesCleanly(void (*create)(TInfo*, int, size_t), void (*destroy)(TInfo*)) {
  TInfo info{};
  TLayoutErrorMgr err{};
  info.err = jpeg_std_error(&err.pub);
  err.pub.error_exit = LayoutErrorExit;
  if (setjmp(err.jump)) return false;
  create(&info, JPEG_LIB_VERSION, sizeof(TInfo));
  destroy(&info);
  return true;
}

void CheckJPEG() {
  if (!CreatesCleanly<jpeg_decompress_struct>(jpeg_CreateDecompress, jpeg_destroy_decompress))
    LayoutMismatch("jpeg_decompress_struct", "libjpeg refused the structure");
  if (!CreatesCleanly<jpeg_compress_struct>(jpeg_CreateCompress, jpeg_destroy_compress))
    LayoutMismatch("jpeg_compress_struct", "libjpeg refused the structure");
}

// Verifies that the PNG and JPEG coding libraries found at run time share the
// record layouts this program was compiled against.
void CheckCodecLayouts() {
  CheckPNG();
  CheckJPEG();
}

std::once_flag started;

}  // namespace

void PGLibraryStart() {
  std::call_once(started, [] {
    CheckLangStrEntries();
    CheckCodecLayouts();
  });
}
