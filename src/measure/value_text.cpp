#include "measure/value_text.h"

#include <array>
#include <bit>
#include <cstdint>
#include <cstring>

namespace torvex {

namespace {

using u128 = unsigned __int128;

constexpr std::array<u128, 36> kPowersOf5 = [] {
    std::array<u128, 36> powers{};
    powers[0] = 1;
    for (size_t i = 1; i < powers.size(); ++i)
        powers[i] = powers[i - 1] * 5;
    return powers;
}();

constexpr std::array<uint64_t, 17> kPowersOf10 = [] {
    std::array<uint64_t, 17> powers{};
    powers[0] = 1;
    for (size_t i = 1; i < powers.size(); ++i)
        powers[i] = powers[i - 1] * 10;
    return powers;
}();

constexpr uint64_t k10e14 = 100'000'000'000'000ULL;
constexpr uint64_t k10e15 = 1'000'000'000'000'000ULL;
constexpr uint64_t k10e16 = 10'000'000'000'000'000ULL;

// floor(m * 2^e * 10^p), exact. The callers keep the operands in range: the result is below 10^17, and
// m * 5^p or m * 2^(e+p) stays below 2^128 for every finite single of interest.
uint64_t scaledFloor(uint64_t m, int e, int p)
{
    const int t = e + p;
    if (p >= 0) {
        const u128 x = u128(m) * kPowersOf5[size_t(p)];
        return uint64_t(t >= 0 ? x << t : x >> -t);
    }
    return uint64_t((u128(m) << t) / kPowersOf5[size_t(-p)]);
}

constexpr std::array<char, 200> kDigitPairs = [] {
    std::array<char, 200> pairs{};
    for (size_t i = 0; i < 100; ++i) {
        pairs[2 * i] = char('0' + i / 10);
        pairs[2 * i + 1] = char('0' + i % 10);
    }
    return pairs;
}();

// Writes v in decimal, right-aligned to end at `end`; returns the first character. Two digits per step
// halves the divisions, which dominate the cost of a text.
char *writeDigitsBackwards(char *end, uint64_t v)
{
    while (v >= 100) {
        const size_t pair = size_t(v % 100) * 2;
        v /= 100;
        *--end = kDigitPairs[pair + 1];
        *--end = kDigitPairs[pair];
    }
    if (v >= 10) {
        *--end = kDigitPairs[size_t(v) * 2 + 1];
        *--end = kDigitPairs[size_t(v) * 2];
    } else {
        *--end = char('0' + v);
    }
    return end;
}

size_t copyText(char *out, const char *text)
{
    size_t n = 0;
    while (text[n] != '\0') {
        out[n] = text[n];
        ++n;
    }
    return n;
}

size_t writeZero(char *out, unsigned decimals, char separator)
{
    out[0] = '0';
    if (decimals == 0)
        return 1;
    out[1] = separator;
    std::memset(out + 2, '0', decimals);
    return 2 + decimals;
}

// digits15 holds exactly 15 significant digits; the value is digits15 * 10^(exponent - 14).
size_t writeExponentForm(char *out, bool negative, uint64_t digits15, int exponent, char separator)
{
    char digits[15];
    writeDigitsBackwards(digits + 15, digits15);
    size_t last = 14;
    while (last > 0 && digits[last] == '0')
        --last;

    size_t n = 0;
    if (negative)
        out[n++] = '-';
    out[n++] = digits[0];
    if (last > 0) {
        out[n++] = separator;
        for (size_t i = 1; i <= last; ++i)
            out[n++] = digits[i];
    }
    out[n++] = 'E';
    out[n++] = '+';
    char exponentDigits[4];
    char *first = writeDigitsBackwards(exponentDigits + 4, uint64_t(exponent));
    while (first != exponentDigits + 4)
        out[n++] = *first++;
    return n;
}

} // namespace

size_t formatValueText(char *out, float value, unsigned decimals, char separator)
{
    const uint32_t bits = std::bit_cast<uint32_t>(value);
    const bool negative = (bits >> 31) != 0;
    const uint32_t exponentField = (bits >> 23) & 0xFF;
    const uint32_t fraction = bits & 0x7FFFFF;

    if (exponentField == 0xFF)
        return copyText(out, fraction != 0 ? "NAN" : negative ? "-INF" : "INF");
    if (decimals > kMaxValueDecimals)
        decimals = kMaxValueDecimals;

    // value = m * 2^e exactly; the single needs no widening step of its own because every single is a double.
    const uint64_t m = exponentField == 0 ? fraction : (fraction | 0x800000);
    const int e = exponentField == 0 ? -149 : int(exponentField) - 150;
    if (m == 0)
        return writeZero(out, decimals, separator);

    // |value| lies in [2^e2, 2^(e2+1)). Below 2^-64 it stays under half of 10^-18 after any rounding.
    const int e2 = e + int(std::bit_width(m)) - 1;
    if (e2 < -64)
        return writeZero(out, decimals, separator);

    // 78913 / 2^18 is log10(2) to enough places for floor(e2 * log10(2)) over this exponent range.
    const int log10Estimate = (e2 * 78913) >> 18;
    int p = 15 - log10Estimate;
    uint64_t sixteen = scaledFloor(m, e, p); // the first 16 significant digits, truncated; or 17 of them
    if (sixteen >= k10e16) {
        sixteen /= 10;
        --p;
    }

    // value = sixteen * 10^-p plus less than one unit of its last digit.
    if (p <= 0) {
        // More than 15 integer digits: 15 significant digits in exponent form, unless rounding the 16th
        // digit carries into a new one, which the exponent then absorbs.
        uint64_t digits15 = sixteen / 10 + (sixteen % 10 >= 5 ? 1 : 0);
        int exponent = 15 - p;
        if (digits15 == k10e15) {
            digits15 = k10e14;
            ++exponent;
        }
        return writeExponentForm(out, negative, digits15, exponent, separator);
    }

    // One rounding, half away from zero, at min(decimals, the places 15 significant digits leave); the
    // truncated digits in `sixteen` decide it exactly, because whatever lies beyond them is below one unit of
    // the digit after the rounding place. Rounding twice (to 15 digits, then to the decimals) would carry a
    // 5 made by the first rounding into the second.
    const unsigned places = unsigned(p - 1);
    const unsigned fractionFromDigits = decimals < places ? decimals : places; // the rest are zeros
    const unsigned dropped = unsigned(p) - fractionFromDigits; // digits of `sixteen` below the rounding place
    uint64_t shown = 0;
    if (dropped == 1) { // all 15 digits shown: a division by a constant is much cheaper
        shown = sixteen / 10 + (sixteen % 10 >= 5 ? 1 : 0);
    } else if (dropped <= 16) {
        const uint64_t unit = kPowersOf10[dropped];
        shown = sixteen / unit + (sixteen % unit >= unit / 2 ? 1 : 0);
    }
    // A carry into a 16th integer digit cannot come from a single: none lies in [10^15 - 1/2, 10^15).
    if (shown == 0)
        return writeZero(out, decimals, separator);

    char buffer[24];
    char *const end = buffer + sizeof buffer;
    char *first = writeDigitsBackwards(end, shown);
    while (size_t(end - first) < fractionFromDigits + 1)
        *--first = '0';
    char *const point = end - fractionFromDigits;

    size_t n = 0;
    if (negative)
        out[n++] = '-';
    std::memcpy(out + n, first, size_t(point - first));
    n += size_t(point - first);
    if (decimals > 0) {
        out[n++] = separator;
        std::memcpy(out + n, point, fractionFromDigits);
        n += fractionFromDigits;
        std::memset(out + n, '0', decimals - fractionFromDigits);
        n += decimals - fractionFromDigits;
    }
    return n;
}

std::string valueText(float value, unsigned decimals, char separator)
{
    char buffer[kValueTextCapacity];
    return std::string(buffer, formatValueText(buffer, value, decimals, separator));
}

char valueTextSeparator(std::string_view regional)
{
    if (regional.size() == 1 && regional[0] > 0x20 && regional[0] < 0x7F)
        return regional[0];
    return '.';
}

} // namespace torvex
