// File masks as the platform's listings use them: the name part (up to the
// last ".") and the extension (from the last "." on; "." when there is
// none) are matched separately, "*" any run of characters, "?" any one,
// letters without regard to case. So "*.*" matches every name and "*" only
// names without an extension. Both texts are bare file names.
#pragma once

#include <string>

bool FileMaskMatch(const std::string& mask, const std::string& name);
