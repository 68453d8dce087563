// A frame-based exception record registered on fs:[0] by hand, because
// i686 GCC has no __try/__except. The record is followed by a jmp_buf: on a
// fault the handler unwinds the frames above it and jumps back into
// RunProtected. Vectored handlers are no substitute: they also see the
// first-chance exceptions that Win32 functions raise and handle themselves.
#include "SehGuard.h"

#include <malloc.h>
#include <stdio.h>
#include <setjmp.h>
#include <windows.h>

extern "C" void __cdecl _global_unwind2(void* frame);

namespace sehguard {
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

std::string FaultText(uint32_t code) {
  const char* name;
  switch (code) {
    case EXCEPTION_ACCESS_VIOLATION: name = "Access violation"; break;
    case EXCEPTION_INT_DIVIDE_BY_ZERO: name = "Division by zero"; break;
    case EXCEPTION_STACK_OVERFLOW: name = "Stack overflow"; break;
    case EXCEPTION_ILLEGAL_INSTRUCTION: name = "Illegal instruction"; break;
    case EXCEPTION_PRIV_INSTRUCTION: name = "Privileged instruction"; break;
    case EXCEPTION_IN_PAGE_ERROR: name = "In-page error"; break;
    default: name = "Exception"; break;
  }
  char text[64];
  snprintf(text, sizeof text, "%s (%08lX)", name, static_cast<unsigned long>(code));
  return text;
}

}  // namespace sehguard
