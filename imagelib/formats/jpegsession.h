#pragma once
// What libjpeg needs of the program during one read or write: the standard
// error manager with its error exit and warning output replaced, and a data
// source and destination over a TStream. Errors and raising warnings leave
// the library by longjmp and come out of Call as our exception.

#include <cstddef>
#include <cstdio>
#include <vector>

#include <jpeglib.h>

#include "codecescape.h"
#include "pgexceptions.h"
#include "pgtypes.h"

#ifndef JCS_EXTENSIONS
#error "Rows move in blue-green-red order without conversion only with libjpeg-turbo's extended colour spaces"
#endif

class TStream;

class TJPEGSession {
public:
  TJPEGSession(TStream& Stream, TPGWarningAction WarningAction);
  TJPEGSession(const TJPEGSession&) = delete;
  TJPEGSession& operator=(const TJPEGSession&) = delete;

  // Hands the error manager and this session to a structure not yet created.
  void Prepare(jpeg_common_struct& Info);
  void AttachSource(jpeg_decompress_struct& Info);
  void AttachDestination(jpeg_compress_struct& Info);

  template <class TCall>
  void Call(const TCall& call) {
    if (!CodecCall(FEscape, call)) throw EPGJPGFileFormatReaderWriter(FEscape.Failure);
  }

private:
  static TJPEGSession& Of(j_common_ptr Info) { return *static_cast<TJPEGSession*>(Info->client_data); }
  static void ErrorExit(j_common_ptr Info);
  static void OutputMessage(j_common_ptr Info);
  static void InitSource(j_decompress_ptr Info);
  static boolean FillInputBuffer(j_decompress_ptr Info);
  static void SkipInputData(j_decompress_ptr Info, long Count);
  static void TermSource(j_decompress_ptr Info);
  static void InitDestination(j_compress_ptr Info);
  static boolean EmptyOutputBuffer(j_compress_ptr Info);
  static void TermDestination(j_compress_ptr Info);

  // Stream access that reports failures in FEscape.Failure instead of raising.
  bool ReadSome(size_t& Count);
  bool WriteAll(size_t Count);

  TStream& FStream;
  TPGWarningAction FWarningAction;
  TCodecEscape FEscape;
  jpeg_error_mgr FErr;
  jpeg_source_mgr FSource;
  jpeg_destination_mgr FDestination;
  bool FStartOfFile = true;
  std::vector<JOCTET> FBuffer;
};

// A decompression structure over the session's source, destroyed on every
// way out. Creating it checks the library's version and structure size.
class TJPEGDecompressor {
public:
  explicit TJPEGDecompressor(TJPEGSession& Session);
  ~TJPEGDecompressor() { jpeg_destroy_decompress(&Info); }
  TJPEGDecompressor(const TJPEGDecompressor&) = delete;
  TJPEGDecompressor& operator=(const TJPEGDecompressor&) = delete;

  jpeg_decompress_struct Info{};
};

class TJPEGCompressor {
public:
  explicit TJPEGCompressor(TJPEGSession& Session);
  ~TJPEGCompressor() { jpeg_destroy_compress(&Info); }
  TJPEGCompressor(const TJPEGCompressor&) = delete;
  TJPEGCompressor& operator=(const TJPEGCompressor&) = delete;

  jpeg_compress_struct Info{};
};
