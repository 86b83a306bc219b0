#pragma once
// What the reader fuzz targets share: the input is described, then read as a
// picture, by one reader. Library errors are the only refusal allowed; any
// other failure escapes to the fuzzer.

#include <cstddef>
#include <cstdint>

#include "fileformat.h"
#include "pgexceptions.h"
#include "pixelgraphic.h"
#include "pixellimit.h"
#include "stream.h"

// True when the reader accepted the picture into graphic.
inline bool FuzzRead(const uint8_t* data, size_t size, TFileFormatReader& reader, TPixelGraphic& graphic,
                     int index = 0) {
  TMyMemoryStream stream;
  // The stream only reads, so the input block stays unchanged.
  stream.SetPointer(const_cast<uint8_t*>(data), size);
  try {
    TFileFormatInfo info;
    reader.ReadInfo(stream, index, info);
  } catch (const EPixelGraphic&) {
  }
  stream.SetPosition(0);
  bool accepted = true;
  try {
    reader.Read(stream, graphic, index);
  } catch (const EPixelGraphic&) {
    accepted = false;
  }
  stream.Detach();
  return accepted;
}

// For readers of animations: pictures of a million pixels at most (the limit
// itself is tested with the readers, and larger ones would only slow the
// search down); the last byte chooses the warning action, the background
// and the frame.
inline void FuzzReadFrames(const uint8_t* data, size_t size, TFileFormatReader& reader) {
  MaxPixels = int64_t(1) << 20;
  const uint8_t last = size > 0 ? data[size - 1] : 0;
  TPixelGraphic graphic;
  graphic.SetReadWarningAction(last & 1 ? pgwaIgnore : pgwaRaise);
  graphic.SetBackGroundColor(RGB(last, 255 - last, 128));
  FuzzRead(data, size, reader, graphic, (last >> 1) & 3);
}
