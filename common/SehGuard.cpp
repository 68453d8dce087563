// The guard against faults inside a call. The 32-bit edition registers a
// frame-based exception record on fs:[0] by hand, because i686 GCC has no
// __try/__except: the record is followed by a jmp_buf, and on a fault the
// handler unwinds the frames above it and jumps back into RunProtected.
// The 64-bit edition has no frame chain (unwinding is table-based): there a
// scope entry of the function's unwind data names a filter, and the system
// unwinds to the end of the scope. Vectored handlers are no substitute on
// either: they also see the first-chance exceptions that Win32 functions
// raise and handle themselves.
#include "SehGuard.h"

#include <malloc.h>
#include <stdio.h>
#include <setjmp.h>
#include <windows.h>
#include <excpt.h>

namespace {

// Exceptions that only inform a debugger; the system goes on after them.
bool IsInformational(DWORD code) {
  return code == DBG_PRINTEXCEPTION_C || code == 0x4001000AL /* wide debug output */ ||
         code == 0x406D1388 /* thread name */;
}

}  // namespace

#if !defined(__x86_64__)

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
  // are not ours to stop; every other exception that reaches this frame
  // is, whatever its severity bits (other runtimes raise codes of their
  // own, such as 0x0EEDFADE).
  if (rec->ExceptionFlags & (EXCEPTION_UNWINDING | EXCEPTION_EXIT_UNWIND))
    return ExceptionContinueSearch;
  if (IsInformational(rec->ExceptionCode)) return ExceptionContinueSearch;
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

}  // namespace sehguard

#else  // 64-bit edition

namespace sehguard {
namespace {
thread_local DWORD t_code;
}  // namespace
}  // namespace sehguard

// The scope's filter: every exception raised inside the guarded range but
// the informational ones (debug output, thread naming) ends the call.
extern "C" __attribute__((used)) LONG ov_guard_filter(EXCEPTION_POINTERS* ep, void*) {
  DWORD code = ep->ExceptionRecord->ExceptionCode;
  if (IsInformational(code)) return EXCEPTION_CONTINUE_SEARCH;
  sehguard::t_code = code;
  return EXCEPTION_EXECUTE_HANDLER;
}

namespace sehguard {

// The scope labels have fixed names: this must stay the only guarded
// function of this file, and must never be inlined or cloned. Only volatile
// locals are read after the scope.
__attribute__((noinline, noclone)) uint32_t RunProtected(Thunk thunk, void* context) {
  volatile int faulted = 1;
  t_code = 0;
  __try1(ov_guard_filter)
  thunk(context);
  faulted = 0;
  __except1
  if (!faulted) return 0;
  DWORD code = t_code;
  if (code == EXCEPTION_STACK_OVERFLOW) _resetstkoflw();
  return code == 0 ? 1 : code;
}

}  // namespace sehguard

#endif

namespace sehguard {

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
