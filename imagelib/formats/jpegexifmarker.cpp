#include "jpegexifmarker.h"

#include <algorithm>
#include <cstring>

#include "exifblock.h"
#include "jpegsession.h"

namespace {

// libjpeg hands a marker processor nothing but its structure, so the
// destination of the block is found through the thread that reads.
thread_local TJPEGExifMarker* CurrentMarker = nullptr;

// Makes bytes available; false only for a source that would suspend, which ours never does.
bool Fill(j_decompress_ptr info) {
  return info->src->bytes_in_buffer > 0 || (*info->src->fill_input_buffer)(info);
}

}  // namespace

TJPEGExifMarker::TJPEGExifMarker(TJPEGSession& Session, jpeg_decompress_struct& Info) : FOuter(CurrentMarker) {
  CurrentMarker = this;
  Session.Call([&] { jpeg_set_marker_processor(&Info, JPEG_APP0 + 1, ReadAPP1); });
}

TJPEGExifMarker::~TJPEGExifMarker() { CurrentMarker = FOuter; }

boolean TJPEGExifMarker::ReadAPP1(j_decompress_ptr Info) {
  jpeg_source_mgr* src = Info->src;
  uint8_t lengthBytes[2];
  for (uint8_t& b : lengthBytes) {
    if (!Fill(Info)) return FALSE;
    b = *src->next_input_byte++;
    --src->bytes_in_buffer;
  }
  // The length counts its own two bytes.
  size_t rest = std::max((lengthBytes[0] << 8 | lengthBytes[1]) - 2, 0);
  const auto read = [&](uint8_t* to, size_t count) {
    while (count > 0) {
      if (!Fill(Info)) return false;
      const size_t n = std::min(count, src->bytes_in_buffer);
      std::memcpy(to, src->next_input_byte, n);
      src->next_input_byte += n;
      src->bytes_in_buffer -= n;
      to += n;
      count -= n;
    }
    return true;
  };
  TJPEGExifMarker* marker = CurrentMarker;
  if (marker && marker->Block.empty() && rest > sizeof ExifSegmentHeader) {
    uint8_t header[sizeof ExifSegmentHeader];
    if (!read(header, sizeof header)) return FALSE;
    rest -= sizeof header;
    // Read into the marker's own block: a failure leaves this function by
    // longjmp, past the destructor of anything made here.
    if (std::memcmp(header, ExifSegmentHeader, sizeof header) == 0) {
      marker->Block.resize(rest);
      return read(marker->Block.data(), rest) ? TRUE : FALSE;
    }
  }
  if (rest > 0) (*src->skip_input_data)(Info, long(rest));
  return TRUE;
}
