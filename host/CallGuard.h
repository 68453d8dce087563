// The one guard through which the host calls into a plug-in. A C++
// exception or a hardware fault (access violation, division by zero, stack
// overflow, illegal instruction, or a foreign runtime's exception) inside
// the call becomes EOVError "Failed execute '<entry>' (<file>)"; the host
// lives on.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <type_traits>

#include "OVError.h"

namespace callguard {

using Thunk = void (*)(void* context);

// Runs thunk(context) under a structured-exception frame. Returns 0 when
// the thunk returned normally, otherwise the exception code that ended it.
// The thunk itself must catch C++ exceptions (see Guarded below).
uint32_t RunProtected(Thunk thunk, void* context);

// Formats the guard's error text.
std::string FailedText(const char* entry, const std::string& file);

}  // namespace callguard

// Calls f() under the guard; returns its result or raises the guard's error.
template <class F>
auto Guarded(const char* entry, const std::string& file, F&& f) -> decltype(f()) {
  using R = decltype(f());
  struct Context {
    F* fn;
    bool threw = false;
    std::conditional_t<std::is_void_v<R>, bool, std::optional<R>> result{};
  } ctx{&f};
  callguard::Thunk thunk = [](void* p) {
    auto* c = static_cast<Context*>(p);
    try {
      if constexpr (std::is_void_v<R>)
        (*c->fn)();
      else
        c->result = (*c->fn)();
    } catch (...) {
      c->threw = true;
    }
  };
  uint32_t code = callguard::RunProtected(thunk, &ctx);
  if (code != 0 || ctx.threw) throw EOVError(callguard::FailedText(entry, file));
  if constexpr (!std::is_void_v<R>) return *ctx.result;
}
