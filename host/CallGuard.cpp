// A frame-based exception record registered on fs:[0] by hand, because
// i686 GCC has no __try/__except. The record is followed by a jmp_buf: on a
// fault the handler unwinds the frames above it and jumps back into
// RunProtected. Vectored handlers are no substitute: they also see the
// first-chance exceptions that Win32 functions raise and handle themselves.
#include "CallGuard.h"

#include <malloc.h>
#include <setjmp.h>
#include <windows.h>

extern "C" void __cdecl _global_unwind2(void* frame);

namespace callguard {
namespace {

struct GuardFrame {
  GuardFrame* prev;        // the layout _global_unwind2 expects:
  void* handler;           // {prev, handler, scopetable, trylevel}
  void* scopetable;
  int trylevel;
  jmp_buf resume;
  volatile DWORD code;
};

GuardFrame* CurrentFrame() {
  GuardFrame* f;
  __asm__ volatile("movl %%fs:0, %0" : "=r"(f));
  return f;
}

void SetCurrentFrame(GuardFrame* f) {
  __asm__ volatile("movl %0, %%fs:0" : : "r"(f) : "memory");
}

extern "C" EXCEPTION_DISPOSITION __cdecl GuardHandler(EXCEPTION_RECORD* rec,
                                                       void* frame, CONTEXT*,
                                                       void*) {
  // Unwinding passes and informational codes (debug output, thread naming)
  // are not ours to stop.
  if (rec->ExceptionFlags & (EXCEPTION_UNWINDING | EXCEPTION_EXIT_UNWIND))
    return ExceptionContinueSearch;
  if ((rec->ExceptionCode & 0xC0000000u) != 0xC0000000u)
    return ExceptionContinueSearch;
  auto* f = static_cast<GuardFrame*>(frame);
  f->code = rec->ExceptionCode;
  _global_unwind2(frame);
  longjmp(f->resume, 1);
}

}  // namespace

// No object with a destructor may live in this frame: longjmp lands here.
__attribute__((noinline)) uint32_t RunProtected(Thunk thunk, void* context) {
  volatile GuardFrame frame;
  GuardFrame* f = const_cast<GuardFrame*>(&frame);
  f->prev = CurrentFrame();
  f->handler = reinterpret_cast<void*>(&GuardHandler);
  f->scopetable = nullptr;
  f->trylevel = -1;
  f->code = 0;
  SetCurrentFrame(f);
  if (setjmp(f->resume) == 0) {
    thunk(context);
    SetCurrentFrame(f->prev);
    return 0;
  }
  SetCurrentFrame(f->prev);
  DWORD code = f->code;
  if (code == EXCEPTION_STACK_OVERFLOW) _resetstkoflw();
  return code == 0 ? 1 : code;
}

std::string FailedText(const char* entry, const std::string& file) {
  return Format("Failed execute '%s' (%s)", entry, file.c_str());
}

}  // namespace callguard
