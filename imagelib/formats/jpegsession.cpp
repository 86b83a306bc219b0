#include "jpegsession.h"

#include <jerror.h>

#include <exception>
#include <string>

#include "codecwarning.h"
#include "jpegscanlimit.h"
#include "stream.h"

namespace {

constexpr size_t BufferSize = 65536;

std::string LibraryMessage(j_common_ptr info) {
  char text[JMSG_LENGTH_MAX];
  (*info->err->format_message)(info, text);
  return text;
}

}  // namespace

TJPEGSession::TJPEGSession(TStream& Stream, TPGWarningAction WarningAction)
    : FStream(Stream), FWarningAction(WarningAction), FBuffer(BufferSize) {
  jpeg_std_error(&FErr);
  FErr.error_exit = ErrorExit;
  FErr.output_message = OutputMessage;
  FSource.init_source = InitSource;
  FSource.fill_input_buffer = FillInputBuffer;
  FSource.skip_input_data = SkipInputData;
  FSource.resync_to_restart = jpeg_resync_to_restart;
  FSource.term_source = TermSource;
  FSource.next_input_byte = nullptr;
  FSource.bytes_in_buffer = 0;
  FDestination.init_destination = InitDestination;
  FDestination.empty_output_buffer = EmptyOutputBuffer;
  FDestination.term_destination = TermDestination;
  FProgress.progress_monitor = ProgressMonitor;
}

void TJPEGSession::Prepare(jpeg_common_struct& Info) {
  Info.err = &FErr;
  Info.client_data = this;
}

void TJPEGSession::AttachSource(jpeg_decompress_struct& Info) { Info.src = &FSource; }

void TJPEGSession::AttachDestination(jpeg_compress_struct& Info) { Info.dest = &FDestination; }

void TJPEGSession::ErrorExit(j_common_ptr Info) {
  TJPEGSession& s = Of(Info);
  const int code = Info->err->msg_code;
  if (code == JERR_BAD_LIB_VERSION || code == JERR_BAD_STRUCT_SIZE)
    s.FEscape.Failure = "JPG: Invalid library version";
  else
    s.FEscape.Failure = "JPG: " + LibraryMessage(Info);
  LeaveCodec(s.FEscape);
}

// The standard manager calls this for the first warning of a run only.
void TJPEGSession::OutputMessage(j_common_ptr Info) {
  TJPEGSession& s = Of(Info);
  s.FEscape.Failure = CodecWarningFailure(s.FWarningAction, "JPG", LibraryMessage(Info));
  if (!s.FEscape.Failure.empty()) LeaveCodec(s.FEscape);
}

void TJPEGSession::InitSource(j_decompress_ptr Info) { Of(reinterpret_cast<j_common_ptr>(Info)).FStartOfFile = true; }

boolean TJPEGSession::FillInputBuffer(j_decompress_ptr Info) {
  TJPEGSession& s = Of(reinterpret_cast<j_common_ptr>(Info));
  size_t count = 0;
  if (!s.ReadSome(count)) LeaveCodec(s.FEscape);
  if (count == 0) {
    if (s.FStartOfFile) ERREXIT(Info, JERR_INPUT_EMPTY);
    // A file cut short still shows what arrived: an end marker closes it.
    WARNMS(Info, JWRN_JPEG_EOF);
    s.FBuffer[0] = 0xFF;
    s.FBuffer[1] = JPEG_EOI;
    count = 2;
  }
  s.FSource.next_input_byte = s.FBuffer.data();
  s.FSource.bytes_in_buffer = count;
  s.FStartOfFile = false;
  return TRUE;
}

void TJPEGSession::SkipInputData(j_decompress_ptr Info, long Count) {
  if (Count <= 0) return;
  jpeg_source_mgr& source = Of(reinterpret_cast<j_common_ptr>(Info)).FSource;
  size_t rest = size_t(Count);
  while (rest > source.bytes_in_buffer) {
    rest -= source.bytes_in_buffer;
    FillInputBuffer(Info);
  }
  source.next_input_byte += rest;
  source.bytes_in_buffer -= rest;
}

void TJPEGSession::TermSource(j_decompress_ptr) {}

void TJPEGSession::InitDestination(j_compress_ptr Info) {
  TJPEGSession& s = Of(reinterpret_cast<j_common_ptr>(Info));
  s.FDestination.next_output_byte = s.FBuffer.data();
  s.FDestination.free_in_buffer = s.FBuffer.size();
}

boolean TJPEGSession::EmptyOutputBuffer(j_compress_ptr Info) {
  TJPEGSession& s = Of(reinterpret_cast<j_common_ptr>(Info));
  // The library asks only when the whole buffer is full.
  if (!s.WriteAll(s.FBuffer.size())) LeaveCodec(s.FEscape);
  InitDestination(Info);
  return TRUE;
}

void TJPEGSession::TermDestination(j_compress_ptr Info) {
  TJPEGSession& s = Of(reinterpret_cast<j_common_ptr>(Info));
  if (!s.WriteAll(s.FBuffer.size() - s.FDestination.free_in_buffer)) LeaveCodec(s.FEscape);
}

void TJPEGSession::StartDecompress(jpeg_decompress_struct& Info, int64_t Start, std::function<bool()> Aborted) {
  FStart = Start;
  FScansCounted = false;
  FAborted = std::move(Aborted);
  // The rows that follow report on their own.
  struct TDetach {
    jpeg_decompress_struct& Info;
    ~TDetach() { Info.progress = nullptr; }
  } detach{Info};
  Info.progress = &FProgress;
  Call([&] { jpeg_start_decompress(&Info); });
}

void TJPEGSession::ProgressMonitor(j_common_ptr Info) {
  TJPEGSession& s = Of(Info);
  switch (s.Watch()) {
    case wvGo: return;
    // As after an abort during the rows, the library finds rows missing.
    case wvAborted: ERREXIT(Info, JERR_TOO_LITTLE_DATA); break;
    case wvFailed: LeaveCodec(s.FEscape);
  }
}

TJPEGSession::TWatchVerdict TJPEGSession::Watch() {
  bool aborted = false;
  const std::function<bool()> ask = [&] {
    try {
      aborted = FAborted();
    } catch (...) {
      FPending = std::current_exception();
    }
    return aborted || FPending;
  };
  try {
    if (FScansCounted) {
      ask();
    } else {
      FScansCounted = true;
      // The library has read ahead of what it decoded; it goes on from there.
      const int64_t resume = FStream.Position();
      FStream.SetPosition(FStart);
      const int scans = CountJPEGScans(FStream, MaxJPEGScans, ask);
      FStream.SetPosition(resume);
      if (scans > MaxJPEGScans) {
        FEscape.Failure = "JPG: " + ScanLimitText();
        return wvFailed;
      }
    }
  } catch (const std::exception& e) {
    FEscape.Failure = std::string("JPG: ") + e.what();
    return wvFailed;
  } catch (...) {
    FPending = std::current_exception();
  }
  if (FPending) return wvFailed;
  return aborted ? wvAborted : wvGo;
}

bool TJPEGSession::ReadSome(size_t& Count) {
  try {
    Count = FStream.Read(FBuffer.data(), FBuffer.size());
    return true;
  } catch (const std::exception& e) {
    FEscape.Failure = std::string("JPG: ") + e.what();
  }
  return false;
}

bool TJPEGSession::WriteAll(size_t Count) {
  try {
    FStream.WriteBuffer(FBuffer.data(), Count);
    return true;
  } catch (const std::exception& e) {
    FEscape.Failure = std::string("JPG: ") + e.what();
  }
  return false;
}

TJPEGDecompressor::TJPEGDecompressor(TJPEGSession& Session) {
  Session.Prepare(*reinterpret_cast<j_common_ptr>(&Info));
  Session.Call([&] { jpeg_create_decompress(&Info); });
  Session.AttachSource(Info);
}

TJPEGCompressor::TJPEGCompressor(TJPEGSession& Session) {
  Session.Prepare(*reinterpret_cast<j_common_ptr>(&Info));
  Session.Call([&] { jpeg_create_compress(&Info); });
  Session.AttachDestination(Info);
}
