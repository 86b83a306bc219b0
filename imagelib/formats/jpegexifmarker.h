#pragma once
// The EXIF block of a JPEG file, taken from its APP1 segments while
// jpeg_read_header passes them.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <vector>

#include <jpeglib.h>

class TJPEGSession;

// Installs its marker processor on Info for as long as it exists. Only the
// first APP1 segment that starts with "Exif" is kept, so that a file of
// many segments takes no more memory than one.
class TJPEGExifMarker {
public:
  TJPEGExifMarker(TJPEGSession& Session, jpeg_decompress_struct& Info);
  ~TJPEGExifMarker();
  TJPEGExifMarker(const TJPEGExifMarker&) = delete;
  TJPEGExifMarker& operator=(const TJPEGExifMarker&) = delete;

  // Without the segment header; empty when the file has none.
  std::vector<uint8_t> Block;

private:
  static boolean ReadAPP1(j_decompress_ptr Info);
  TJPEGExifMarker* FOuter;
};
