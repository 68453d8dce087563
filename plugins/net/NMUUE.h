// Base64 as the mail and HTTP clients use it (RFC 2045 alphabet, "="
// padding).
#pragma once

#include <string>

std::string Base64Encode(const std::string& data);
// Appends data in base64 as mail bodies carry it: every 45 bytes of input
// one line of 60 characters and CR LF, the last line shorter. A caller
// that encodes a file in pieces passes pieces of a multiple of 45 bytes
// (all but the last).
void Base64AppendLines(const void* data, size_t size, std::string& out);
// Characters outside the alphabet (line ends, blanks) are skipped; decoding
// stops at the first "=".
std::string Base64Decode(const std::string& text);
