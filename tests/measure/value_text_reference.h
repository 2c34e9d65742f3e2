#pragma once

// Exact reference written for the test, sharing nothing with the code under test: a single is m * 2^e with an
// integer m, so its decimal expansion is finite; for e < 0 it is m * 5^-e / 10^-e. The big integer is kept in
// base 10^9 limbs, least significant first.

#include <cstddef>
#include <string>

namespace torvex {

struct ExactDecimal {
    std::string digits;   // every digit of |value|
    size_t integerDigits; // how many of them stand before the point (at least one)
};

ExactDecimal exactDecimal(float value);

// The value text rule worked on the exact digits: one rounding, half away from zero, at `decimals` places (at
// most 18) or at the 15th significant digit if that comes first; exponent form beyond 15 integer digits; no
// sign on a text of zeros. '.' as the separator.
std::string referenceValueText(ExactDecimal x, bool negative, unsigned decimals);
std::string referenceValueText(float value, unsigned decimals);

} // namespace torvex
