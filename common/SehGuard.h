// Runs a function under a structured-exception frame, so that a hardware
// fault inside it (access violation, division by zero, stack overflow,
// illegal instruction, or a foreign runtime's exception) returns to the
// caller instead of ending the process. The host guards its calls into
// plug-ins with it, a plug-in guards its entries, the dialog layer its
// handlers.
#pragma once

#include <cstdint>
#include <string>

namespace sehguard {

using Thunk = void (*)(void* context);

// Runs thunk(context). Returns 0 when the thunk returned normally,
// otherwise the exception code that ended it. The thunk must catch C++
// exceptions itself (see Protected below). A fault skips the destructors
// of the frames between the fault and this call: the guard is for faults,
// not for ordinary errors.
uint32_t RunProtected(Thunk thunk, void* context);

// A short text for an exception code: "Access violation (C0000005)".
std::string FaultText(uint32_t code);

// The outcome of Protected.
struct TOutcome {
  uint32_t code = 0;   // the fault's exception code, 0 when none
  bool threw = false;  // a C++ exception left f
  bool Failed() const { return code != 0 || threw; }
};

// Calls f() with C++ exceptions caught and faults turned into a code. f
// passes results out through its captures.
template <class F>
TOutcome Protected(F&& f) {
  struct Context {
    F* fn;
    bool threw;
  } ctx{&f, false};
  Thunk thunk = [](void* p) {
    auto* c = static_cast<Context*>(p);
    try {
      (*c->fn)();
    } catch (...) {
      c->threw = true;
    }
  };
  TOutcome o;
  o.code = RunProtected(thunk, &ctx);
  o.threw = ctx.threw;
  return o;
}

}  // namespace sehguard
