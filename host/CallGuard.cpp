#include "CallGuard.h"

namespace callguard {

std::string FailedText(const char* entry, const std::string& file) {
  return Format("Failed execute '%s' (%s)", entry, file.c_str());
}

}  // namespace callguard
