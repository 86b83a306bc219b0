#pragma once
// libpng and libjpeg report errors through handlers that must not return. A
// C++ exception must not travel through their C frames, so our handlers leave
// by longjmp instead: every call into either library runs inside CodecCall,
// the jump lands there, and the caller raises the exception once the
// library's frames are gone.

#include <csetjmp>
#include <string>

struct TCodecEscape {
  std::jmp_buf Jump;
  // Message of the exception to raise, format prefix included.
  std::string Failure;
};

// Runs Call, a thin lambda around library calls; false when a handler left
// through Escape. Neither Call nor the handlers may hold an object with a
// destructor while the jump can happen, so none is ever skipped.
template <class TCall>
[[gnu::noinline]] bool CodecCall(TCodecEscape& Escape, const TCall& Call) {
  if (setjmp(Escape.Jump) != 0) return false;
  Call();
  return true;
}

// Leaves the library for the running CodecCall. Set Escape.Failure first, in
// a statement of its own, so that no temporary is alive here.
[[noreturn]] inline void LeaveCodec(TCodecEscape& Escape) { std::longjmp(Escape.Jump, 1); }
