#pragma once
// A JPEG whose scans repeat, as crafted files have them: a flat picture coded
// as its DC coefficients and one scan of the other coefficients per
// component, the first of those repeated until the file has Scans scans.
// Each repeat is a few hundred bytes of end-of-block runs, and libjpeg still
// visits every block of the picture for it. libjpeg refuses such a scan
// script, so the scan's bytes are repeated in the coded file.
#include <jpeglib.h>

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

inline void WriteManyScanJPEG(const std::string& path, int width, int height, int scans) {
  const jpeg_scan_info script[] = {
      {3, {0, 1, 2}, 0, 0, 0, 0}, {1, {0}, 1, 63, 0, 0}, {1, {1}, 1, 63, 0, 0}, {1, {2}, 1, 63, 0, 0}};
  jpeg_compress_struct info{};
  jpeg_error_mgr err;
  info.err = jpeg_std_error(&err);
  jpeg_create_compress(&info);
  unsigned char* memory = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&info, &memory, &size);
  info.image_width = JDIMENSION(width);
  info.image_height = JDIMENSION(height);
  info.input_components = 3;
  info.in_color_space = JCS_RGB;
  jpeg_set_defaults(&info);
  info.scan_info = script;
  info.num_scans = 4;
  jpeg_start_compress(&info, TRUE);
  std::vector<JSAMPLE> row(size_t(width) * 3, 0x90);
  while (info.next_scanline < info.image_height) {
    JSAMPROW rows[1] = {row.data()};
    jpeg_write_scanlines(&info, rows, 1);
  }
  jpeg_finish_compress(&info);
  const std::vector<uint8_t> coded(memory, memory + size);
  jpeg_destroy_compress(&info);
  std::free(memory);

  // The second scan: its header, then coded data up to the next marker.
  size_t begin = 0, seen = 0;
  for (size_t i = 0; i + 1 < coded.size() && seen < 2; ++i)
    if (coded[i] == 0xFF && coded[i + 1] == 0xDA && ++seen == 2) begin = i;
  size_t end = begin + 2 + (size_t(coded[begin + 2]) << 8 | coded[begin + 3]);
  while (!(coded[end] == 0xFF && coded[end + 1] != 0 && (coded[end + 1] < 0xD0 || coded[end + 1] > 0xD7))) ++end;

  std::vector<uint8_t> file(coded.begin(), coded.begin() + long(end));
  for (int i = 4; i < scans; ++i) file.insert(file.end(), coded.begin() + long(begin), coded.begin() + long(end));
  file.insert(file.end(), coded.begin() + long(end), coded.end());
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(file.data()), std::streamsize(file.size()));
}
