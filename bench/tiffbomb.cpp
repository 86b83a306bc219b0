// tiffbomb FILE [SIDE]: writes a Deflate TIFF of SIDE x SIDE (default 16384)
// RGBA pixels of 16 bits per sample, all zero, in a single strip: about
// 2 MB that decode to 2 GiB. tiff_memory.sh measures what reading it takes.
#include <tiffio.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: tiffbomb FILE [SIDE]\n");
    return 2;
  }
  const uint32_t side = argc > 2 ? uint32_t(std::strtoul(argv[2], nullptr, 10)) : 16384;
  TIFF* tif = TIFFOpen(argv[1], "w");
  if (!tif) return 1;
  const uint16_t extra[] = {EXTRASAMPLE_UNASSALPHA};
  TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, side);
  TIFFSetField(tif, TIFFTAG_IMAGELENGTH, side);
  TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 16);
  TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 4);
  TIFFSetField(tif, TIFFTAG_EXTRASAMPLES, 1, extra);
  TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
  TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
  TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_ADOBE_DEFLATE);
  TIFFSetField(tif, TIFFTAG_ZIPQUALITY, 9);
  TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, side);
  // libtiff encodes a strip row by row, so the file is written in little memory.
  std::vector<uint8_t> row(size_t(side) * 8);
  for (uint32_t y = 0; y < side; ++y)
    if (TIFFWriteScanline(tif, row.data(), y, 0) < 0) return 1;
  TIFFClose(tif);
  return 0;
}
