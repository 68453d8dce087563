// Base64 as the mail and HTTP clients use it (RFC 2045 alphabet, "="
// padding).
#pragma once

#include <string>

std::string Base64Encode(const std::string& data);
// Characters outside the alphabet (line ends, blanks) are skipped; decoding
// stops at the first "=".
std::string Base64Decode(const std::string& text);
