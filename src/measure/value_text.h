#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace torvex {

// Longest text formatValueText can write (35): sign, 15 integer digits, separator, 18 decimals; the
// exponent form is shorter. Rounded up for alignment.
inline constexpr size_t kValueTextCapacity = 40;

inline constexpr unsigned kMaxValueDecimals = 18;

// Writes an encoder value as shown on the indicators and in the log file, without a terminating NUL,
// and returns the number of characters written (at most kValueTextCapacity).
//
// The single is widened exactly to double and rounded once, half away from zero, at `decimals` places
// (limited to 18) or at the last of 15 significant digits if that comes first; later places are zeros.
// Fixed point with at least one integer digit, '-' only when the text is not all zeros, no grouping. A value
// whose integer part needs more than 15 digits is written as a 15-digit mantissa with trailing zeros dropped
// and "E+" and the exponent, e.g. "1.5E+20". Not-a-number and infinities are "NAN", "INF" and "-INF".
size_t formatValueText(char *out, float value, unsigned decimals, char separator);

std::string valueText(float value, unsigned decimals, char separator);

// The separator the value texts use for the user's regional decimal separator (UTF-8): that one when it is a
// single printable ASCII character, '.' otherwise, since the log file is single-byte text.
char valueTextSeparator(std::string_view regional);

} // namespace torvex
