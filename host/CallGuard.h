// The one guard through which the host calls into a plug-in. A C++
// exception or a hardware fault (access violation, division by zero, stack
// overflow, illegal instruction, or a foreign runtime's exception) inside
// the call becomes EOVError "Failed execute '<entry>' (<file>)"; the host
// lives on.
#pragma once

#include <optional>
#include <string>
#include <type_traits>

#include "OVError.h"
#include "SehGuard.h"

namespace callguard {

// Formats the guard's error text.
std::string FailedText(const char* entry, const std::string& file);

}  // namespace callguard

// Calls f() under the guard; returns its result or raises the guard's error.
template <class F>
auto Guarded(const char* entry, const std::string& file, F&& f) -> decltype(f()) {
  using R = decltype(f());
  std::conditional_t<std::is_void_v<R>, bool, std::optional<R>> result{};
  sehguard::TOutcome outcome = sehguard::Protected([&] {
    if constexpr (std::is_void_v<R>)
      f();
    else
      result = f();
  });
  if (outcome.Failed()) throw EOVError(callguard::FailedText(entry, file));
  if constexpr (!std::is_void_v<R>) return *result;
}
