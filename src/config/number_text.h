#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace torvex {

// The user's regional number symbols, UTF-8 (taken once from the system locale by the window).
struct NumberFormat {
    std::string decimal = ",";
    std::string group = " ";
};

// Optional sign and decimal digits, surrounding blanks ignored; nullopt for anything else, including values
// beyond the signed 32-bit range.
std::optional<std::int32_t> parseInt32(std::string_view text);

// Optional sign, digits and at most one decimal separator: the locale's own, or the other of "," and "." unless
// that one is the locale's group separator (so "1,500" is refused where "," groups thousands instead of meaning
// 1.5). No grouping, no exponent. Rounded to the nearest float32; magnitudes beyond float32 become infinities,
// which the limits then catch.
std::optional<float> parseReal(std::string_view text, const NumberFormat &format);

// Fixed point with exactly three decimals and the locale's separator, by the rule of the encoder values
// (valueText): the exact single rounded once, halves away from zero, no sign on a text of zeros; magnitudes of
// 1e15 and more in exponent form (up to 15 significant digits); non-finite values as "NAN", "INF", "-INF".
std::string formatReal3(float value, const NumberFormat &format);

std::string formatInt(std::int64_t value);

} // namespace torvex
