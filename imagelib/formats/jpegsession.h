#pragma once
// What libjpeg needs of the program during one read or write: the standard
// error manager with its error exit and warning output replaced, a data
// source and destination over a TStream, and a progress monitor. Errors and
// raising warnings leave the library by longjmp and come out of Call as our
// exception.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <exception>
#include <functional>
#include <utility>
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
    if (CodecCall(FEscape, call)) return;
    if (FPending) std::rethrow_exception(std::exchange(FPending, nullptr));
    throw EPGJPGFileFormatReaderWriter(FEscape.Failure);
  }

  // jpeg_start_decompress, which reads every scan of a file that has several
  // before it hands out rows. Before the first it counts them in the stream
  // from Start on (a file with more than MaxJPEGScans fails at once), and
  // until the last it asks Aborted between the pieces it reads and the rows
  // of each scan: a yes ends the decode as an abort during the rows does,
  // with the library's complaint about missing rows.
  void StartDecompress(jpeg_decompress_struct& Info, int64_t Start, std::function<bool()> Aborted);

private:
  enum TWatchVerdict : uint8_t { wvGo, wvAborted, wvFailed };

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
  static void ProgressMonitor(j_common_ptr Info);
  // What the monitor is to do; never raises, since it runs inside the library.
  TWatchVerdict Watch();

  // Stream access that reports failures in FEscape.Failure instead of raising.
  bool ReadSome(size_t& Count);
  bool WriteAll(size_t Count);

  TStream& FStream;
  TPGWarningAction FWarningAction;
  TCodecEscape FEscape;
  jpeg_error_mgr FErr;
  jpeg_source_mgr FSource;
  jpeg_destination_mgr FDestination;
  jpeg_progress_mgr FProgress;
  bool FStartOfFile = true;
  std::vector<JOCTET> FBuffer;
  int64_t FStart = 0;
  bool FScansCounted = false;
  std::function<bool()> FAborted;
  // An exception of the progress handler, raised again once the library is left.
  std::exception_ptr FPending;
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
