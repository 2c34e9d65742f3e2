#pragma once
// Windows-1250 (Central European) <-> UTF-8. The settings file keeps this code page on every platform so
// that files moved from older installations keep their Polish names.
#include <string>
#include <string_view>

namespace torvex {

// Bytes without a character in the code page come back as the C1 control of the same number, so that
// reading and writing an untouched value gives back the same bytes.
std::string cp1250ToUtf8(std::string_view bytes);

// Characters the code page cannot hold, and malformed UTF-8, become "?".
std::string utf8ToCp1250(std::string_view utf8);

// Lower-case letter for a Windows-1250 byte (ASCII and the accented letters); other bytes unchanged.
unsigned char cp1250ToLower(unsigned char byte);

} // namespace torvex
