#include "measure/value_text.h"
#include "measure/value_text_reference.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <ostream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace torvex {
namespace {

struct ValueTextCase {
    float value;
    unsigned decimals;
    const char *expected; // with '.' as separator
};

void PrintTo(const ValueTextCase &c, std::ostream *os)
{
    *os << "bits 0x" << std::hex << std::bit_cast<uint32_t>(c.value) << std::dec << " decimals " << c.decimals << " -> "
        << c.expected;
}

std::string withSeparator(std::string text, char separator)
{
    for (char &c : text)
        if (c == '.')
            c = separator;
    return text;
}

class ValueTextTable : public ::testing::TestWithParam<ValueTextCase> {};

TEST_P(ValueTextTable, WritesFixedPointWithBothSeparators)
{
    const ValueTextCase &c = GetParam();
    EXPECT_EQ(valueText(c.value, c.decimals, '.'), c.expected);
    EXPECT_EQ(valueText(c.value, c.decimals, ','), withSeparator(c.expected, ','));
}

INSTANTIATE_TEST_SUITE_P(
    Rounding, ValueTextTable,
    ::testing::Values(
        // halves go away from zero at the chosen decimals
        ValueTextCase{0.125f, 2, "0.13"}, ValueTextCase{-0.125f, 2, "-0.13"}, ValueTextCase{1234.5f, 0, "1235"},
        ValueTextCase{1234.5f, 2, "1234.50"}, ValueTextCase{0.5f, 0, "1"}, ValueTextCase{-0.5f, 0, "-1"},
        ValueTextCase{2.5f, 0, "3"},
        // the exact widened single decides: 2.675f is 2.67499995...
        ValueTextCase{2.675f, 2, "2.67"}, ValueTextCase{2.675f, 3, "2.675"}, ValueTextCase{1.005f, 2, "1.00"},
        ValueTextCase{0.3f, 17, "0.30000001192092900"},
        // 15 significant digits, zeros after them
        ValueTextCase{0.1f, 3, "0.100"}, ValueTextCase{0.1f, 15, "0.100000001490116"},
        ValueTextCase{0.1f, 18, "0.100000001490116000"}, ValueTextCase{0.1f, 19, "0.100000001490116000"},
        ValueTextCase{0.1f, 255, "0.100000001490116000"}, ValueTextCase{1e-5f, 18, "0.000009999999747379"},
        ValueTextCase{16777216.0f, 3, "16777216.000"}, ValueTextCase{3.14159274f, 16, "3.1415927410125700"},
        ValueTextCase{951.3448486328125f, 13, "951.3448486328130"}, // the 16th digit rounds up first
        ValueTextCase{951.3448486328125f, 12, "951.344848632813"},
        // one rounding only: the digits beyond the 15th do not round up a second time
        ValueTextCase{std::bit_cast<float>(0x41267D34u), 12, "10.405567169189"}, // exactly 10.405567169189453125
        ValueTextCase{std::bit_cast<float>(0x38DD8D16u), 11, "0.00010564380"},   // 0.000105643804999999701...
        ValueTextCase{std::bit_cast<float>(0x38DD8D16u), 18, "0.000105643805000000"},
        // a carry through all 15 digits adds an integer digit
        ValueTextCase{9.99999999f, 0, "10"}, ValueTextCase{0.999999f, 5, "1.00000"}, ValueTextCase{99.96f, 1, "100.0"},
        // 0 decimals: no separator; one integer digit at least
        ValueTextCase{7.0f, 0, "7"}, ValueTextCase{0.25f, 2, "0.25"}, ValueTextCase{-0.0625f, 4, "-0.0625"},
        ValueTextCase{12.5f, 3, "12.500"}, ValueTextCase{-3.25f, 2, "-3.25"},
        // values that round to zero carry no sign
        ValueTextCase{0.0f, 0, "0"}, ValueTextCase{-0.0f, 2, "0.00"}, ValueTextCase{-0.004f, 2, "0.00"},
        ValueTextCase{-0.375f, 0, "0"}, ValueTextCase{1e-30f, 18, "0.000000000000000000"},
        ValueTextCase{std::numeric_limits<float>::denorm_min(), 18, "0.000000000000000000"},
        ValueTextCase{-1e-19f, 18, "0.000000000000000000"}, ValueTextCase{6e-19f, 18, "0.000000000000000001"},
        // up to 15 integer digits stay fixed; more switch to a mantissa with E+ and the exponent
        ValueTextCase{1e15f, 0, "999999986991104"}, ValueTextCase{1e15f, 2, "999999986991104.00"},
        ValueTextCase{1e16f, 2, "1.00000002725642E+16"},
        ValueTextCase{-9007199254740992.0f, 0, "-9.00719925474099E+15"},
        ValueTextCase{1152921504606846976.0f, 5, "1.15292150460685E+18"},
        ValueTextCase{std::numeric_limits<float>::max(), 3, "3.40282346638529E+38"},
        ValueTextCase{-std::numeric_limits<float>::max(), 0, "-3.40282346638529E+38"},
        ValueTextCase{1e20f, 0, "1.00000002004088E+20"}, ValueTextCase{1e30f, 0, "1.00000001504747E+30"},
        // not a number
        ValueTextCase{std::numeric_limits<float>::quiet_NaN(), 2, "NAN"},
        ValueTextCase{-std::numeric_limits<float>::quiet_NaN(), 0, "NAN"},
        ValueTextCase{std::numeric_limits<float>::infinity(), 3, "INF"},
        ValueTextCase{-std::numeric_limits<float>::infinity(), 3, "-INF"}),
    [](const auto &param) {
        std::ostringstream name;
        name << "bits" << std::hex << std::uppercase << std::bit_cast<uint32_t>(param.param.value) << std::dec
             << "_decimals" << param.param.decimals;
        return name.str();
    });

TEST(ValueText, ExponentMantissaDropsTrailingZeros)
{
    EXPECT_EQ(valueText(std::bit_cast<float>(0x5A0DDBEBu), 2, '.'), "9.98244352E+15");      // exactly 9982443520000000
    EXPECT_EQ(valueText(std::bit_cast<float>(0x5B000000u), 2, ','), "3,6028797018964E+16"); // 2^55, rounded up
}

TEST(ValueTextReference, ExpandsSinglesExactly)
{
    // Expansions worked out independently with decimal arithmetic.
    const auto text = [](float value) {
        const ExactDecimal x = exactDecimal(value);
        return x.digits.substr(0, x.integerDigits) + "." + x.digits.substr(x.integerDigits);
    };
    EXPECT_EQ(text(0.1f), "0.100000001490116119384765625");
    EXPECT_EQ(text(std::bit_cast<float>(0x41267D34u)), "10.405567169189453125");
    EXPECT_EQ(text(std::bit_cast<float>(0x38DD8D16u)), "0.000105643804999999701976776123046875");
    EXPECT_EQ(text(std::numeric_limits<float>::max()), "340282346638528859811704183484516925440.");
    EXPECT_EQ(text(std::numeric_limits<float>::denorm_min()),
              "0.00000000000000000000000000000000000000000000140129846432481707092372958328991613128026194187651577"
              "175706828388979108268586060148663818836212158203125");
    EXPECT_EQ(text(0.0f), "0.");
}

TEST(ValueTextReference, RoundsOnceAtTheShownPlaces)
{
    EXPECT_EQ(referenceValueText(0.1f, 15), "0.100000001490116");
    EXPECT_EQ(referenceValueText(-0.5f, 0), "-1");
    EXPECT_EQ(referenceValueText(std::bit_cast<float>(0x41267D34u), 12), "10.405567169189");
    EXPECT_EQ(referenceValueText(std::bit_cast<float>(0x38DD8D16u), 11), "0.00010564380");
    EXPECT_EQ(referenceValueText(9.9999f, 2), "10.00");
    EXPECT_EQ(referenceValueText(1e16f, 2), "1.00000002725642E+16");
}

// Generated values, each compared with its negation too at every decimals value 0..18.
std::vector<float> randomFiniteBitPatterns()
{
    std::mt19937 random(20261208);
    std::uniform_int_distribution<uint32_t> anyBits;
    std::vector<float> values;
    while (values.size() < 4000) {
        const float value = std::bit_cast<float>(anyBits(random) & 0x7FFFFFFFu);
        if (std::isfinite(value))
            values.push_back(value);
    }
    return values;
}

void pushWithNeighbours(std::vector<float> &values, float value)
{
    values.push_back(std::nextafter(value, 0.0f));
    values.push_back(value);
    values.push_back(std::nextafter(value, std::numeric_limits<float>::infinity()));
}

// Singles at and beside decimal halves (k + 1/2) * 10^-d, and exact binary halves m * 2^-n, whose
// expansions end in 5 and so sit exactly on a rounding boundary at their last-but-one place.
std::vector<float> halves()
{
    std::mt19937 random(7);
    std::vector<float> values;
    for (int d = 0; d <= 18; ++d) {
        std::uniform_int_distribution<long> k(0, d < 6 ? 99999 : 9999999);
        for (int i = 0; i < 40; ++i)
            pushWithNeighbours(values, float((double(k(random)) + 0.5) / std::pow(10.0, d)));
    }
    for (int n = 1; n <= 64; ++n)
        for (int m : {1, 3, 5, 7, 99, 12345, 8388607})
            values.push_back(std::ldexp(float(m), -n));
    return values;
}

std::vector<float> powersOfTen()
{
    std::vector<float> values;
    for (int k = -45; k <= 38; ++k) {
        const std::string text = "1e" + std::to_string(k);
        pushWithNeighbours(values, std::strtof(text.c_str(), nullptr));
    }
    return values;
}

std::vector<float> subnormals()
{
    std::mt19937 random(11);
    std::uniform_int_distribution<uint32_t> fraction(1, 0x7FFFFF);
    std::vector<float> values;
    for (uint32_t bits = 1; bits <= 16; ++bits) {
        values.push_back(std::bit_cast<float>(bits));
        values.push_back(std::bit_cast<float>(0x800000u - bits));
    }
    for (int i = 0; i < 200; ++i)
        values.push_back(std::bit_cast<float>(fraction(random)));
    pushWithNeighbours(values, std::numeric_limits<float>::min());
    return values;
}

// The top of the range, and the singles around 10^15 where fixed point gives way to the exponent form.
std::vector<float> largest()
{
    std::vector<float> values;
    for (uint32_t bits = 0x7F7FFFFFu; bits > 0x7F7FFFFFu - 64; --bits)
        values.push_back(std::bit_cast<float>(bits));
    for (int n = 40; n <= 127; ++n)
        pushWithNeighbours(values, std::ldexp(1.0f, n));
    for (float value : {1e14f, 1e15f, 1e16f, 999999999999999.0f})
        for (int i = 0; i < 8; ++i, value = std::nextafter(value, 0.0f))
            pushWithNeighbours(values, value);
    return values;
}

// Runs of nines that a rounding turns into a new leading digit: 10^k - 10^-d / 2 and its neighbours.
std::vector<float> newLeadingDigit()
{
    std::vector<float> values;
    for (int k = -6; k <= 15; ++k)
        for (int d = 0; d <= 18; ++d)
            pushWithNeighbours(values, float(std::pow(10.0, k) - 0.5 * std::pow(10.0, -d)));
    return values;
}

struct Family {
    const char *name;
    std::vector<float> (*values)();
};

void PrintTo(const Family &family, std::ostream *os) { *os << family.name; }

class ValueTextAgainstReference : public ::testing::TestWithParam<Family> {};

TEST_P(ValueTextAgainstReference, MatchesAtEveryDecimals)
{
    size_t compared = 0;
    size_t mismatches = 0;
    std::string firstMismatches;
    for (const float magnitude : GetParam().values()) {
        const ExactDecimal exact = exactDecimal(magnitude);
        for (const float value : {magnitude, -magnitude}) {
            for (unsigned decimals = 0; decimals <= kMaxValueDecimals + 1; ++decimals) {
                const std::string expected = referenceValueText(exact, std::signbit(value), decimals);
                const std::string actual = valueText(value, decimals, '.');
                ++compared;
                if (actual == expected)
                    continue;
                if (++mismatches <= 8) {
                    std::ostringstream line;
                    line << "\n  bits 0x" << std::hex << std::uppercase << std::bit_cast<uint32_t>(value) << std::dec
                         << " decimals " << decimals << ": " << actual << ", expected " << expected;
                    firstMismatches += line.str();
                }
            }
        }
    }
    EXPECT_GT(compared, 1000u);
    EXPECT_EQ(mismatches, 0u) << "of " << compared << firstMismatches;
}

INSTANTIATE_TEST_SUITE_P(Generated, ValueTextAgainstReference,
                         ::testing::Values(Family{"RandomBitPatterns", randomFiniteBitPatterns},
                                           Family{"Halves", halves}, Family{"PowersOfTen", powersOfTen},
                                           Family{"Subnormals", subnormals}, Family{"Largest", largest},
                                           Family{"NewLeadingDigit", newLeadingDigit}),
                         [](const auto &param) { return std::string(param.param.name); });

TEST(ValueText, NeverExceedsCapacity)
{
    char out[kValueTextCapacity];
    for (float value : {-99999999999999.9f, -999999986991104.0f, -0.1f, -std::numeric_limits<float>::max()})
        EXPECT_LE(formatValueText(out, value, 40, ','), 35u);
}

} // namespace
} // namespace torvex
