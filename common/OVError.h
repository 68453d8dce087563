// Errors inside one module are C++ exceptions of one class carrying the
// message text. They never cross a module boundary: every exported entry and
// every host service catches them.
#pragma once

#include <cstdarg>
#include <stdexcept>
#include <string>

class EOVError : public std::runtime_error {
 public:
  explicit EOVError(const std::string& message) : std::runtime_error(message) {}
};

// printf-style formatting into a std::string.
std::string Format(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
std::string FormatV(const char* fmt, va_list args);

// Raises EOVError with a formatted message.
[[noreturn]] void RaiseError(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
