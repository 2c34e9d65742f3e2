#include "measure/value_text.h"

#include <gtest/gtest.h>

#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>
#include <ostream>
#include <random>
#include <string>

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
        ValueTextCase{-std::numeric_limits<float>::infinity(), 3, "-INF"}));

TEST(ValueText, ExponentMantissaDropsTrailingZeros)
{
    EXPECT_EQ(valueText(std::bit_cast<float>(0x5A0DDBEBu), 2, '.'), "9.98244352E+15");      // exactly 9982443520000000
    EXPECT_EQ(valueText(std::bit_cast<float>(0x5B000000u), 2, ','), "3,6028797018964E+16"); // 2^55, rounded up
}

// Independent reference: the exact decimal expansion from the standard library, then rounding on digit strings.
std::string referenceValueText(float value, unsigned decimals)
{
    if (std::isnan(value))
        return "NAN";
    if (std::isinf(value))
        return value < 0 ? "-INF" : "INF";
    decimals = std::min(decimals, 18u);

    char exact[400];
    const auto result =
        std::to_chars(exact, exact + sizeof exact, std::fabs(double(value)), std::chars_format::fixed, 160);
    std::string text(exact, result.ptr);
    const size_t point = text.find('.');
    std::string digits = text.substr(0, point) + text.substr(point + 1);
    size_t integerDigits = point;

    // Round half away from zero to 15 significant digits; later digits become zeros.
    const size_t firstNonZero = digits.find_first_not_of('0');
    if (firstNonZero == std::string::npos)
        digits = "0";
    auto roundAt = [&](size_t keep) { // keep `keep` leading digits of `digits`
        if (keep >= digits.size())
            return;
        const bool up = digits[keep] >= '5';
        for (size_t i = keep; i < digits.size(); ++i)
            digits[i] = '0';
        if (!up)
            return;
        size_t i = keep;
        while (i > 0) {
            --i;
            if (digits[i] != '9') {
                ++digits[i];
                return;
            }
            digits[i] = '0';
        }
        digits.insert(digits.begin(), '1');
        ++integerDigits;
    };
    if (firstNonZero != std::string::npos)
        roundAt(firstNonZero + 15);

    // Strip leading zeros of the integer part (keep one).
    while (integerDigits > 1 && digits[0] == '0') {
        digits.erase(digits.begin());
        --integerDigits;
    }
    const bool negative = std::signbit(value);
    if (integerDigits > 15) {
        std::string mantissa = digits.substr(0, 15);
        while (mantissa.size() > 1 && mantissa.back() == '0')
            mantissa.pop_back();
        std::string out = negative ? "-" : "";
        out += mantissa[0];
        if (mantissa.size() > 1)
            out += "." + mantissa.substr(1);
        return out + "E+" + std::to_string(integerDigits - 1);
    }
    roundAt(integerDigits + decimals);
    while (integerDigits > 1 && digits[0] == '0') {
        digits.erase(digits.begin());
        --integerDigits;
    }
    digits.resize(integerDigits + decimals, '0');
    std::string out = digits.substr(0, integerDigits);
    if (decimals > 0)
        out += "." + digits.substr(integerDigits, decimals);
    if (negative && out.find_first_not_of("0.") != std::string::npos)
        out.insert(out.begin(), '-');
    return out;
}

TEST(ValueText, ReferenceAgreesWithHandPickedCases)
{
    EXPECT_EQ(referenceValueText(0.1f, 15), "0.100000001490116");
    EXPECT_EQ(referenceValueText(-0.5f, 0), "-1");
    EXPECT_EQ(referenceValueText(1e16f, 2), "1.00000002725642E+16");
}

TEST(ValueText, MatchesReferenceOnRandomSingles)
{
    std::mt19937 random(20261208);
    std::uniform_int_distribution<uint32_t> anyBits;
    std::uniform_real_distribution<float> everyday(-100000.0f, 100000.0f);
    std::uniform_int_distribution<unsigned> anyDecimals(0, 20);
    std::uniform_int_distribution<int> scale(-25, 45);

    for (int i = 0; i < 1500; ++i) {
        float value;
        switch (i % 3) {
        case 0:
            value = std::bit_cast<float>(anyBits(random));
            break;
        case 1:
            value = everyday(random);
            break;
        default:
            value = everyday(random) * std::pow(10.0f, float(scale(random))) / 100000.0f;
            break;
        }
        const unsigned decimals = anyDecimals(random);
        ASSERT_EQ(valueText(value, decimals, '.'), referenceValueText(value, decimals))
            << "bits 0x" << std::hex << std::bit_cast<uint32_t>(value) << std::dec << " decimals " << decimals;
    }
}

TEST(ValueText, MatchesReferenceAtHalfwayPoints)
{
    // Values next to decimal halves are where truncation or double-rounding mistakes show.
    for (unsigned decimals = 0; decimals <= 6; ++decimals) {
        for (int k = -2000; k <= 2000; k += 7) {
            const float half = float((k + 0.5) / std::pow(10.0, decimals));
            for (float value : {std::nextafter(half, -1e30f), half, std::nextafter(half, 1e30f)})
                ASSERT_EQ(valueText(value, decimals, '.'), referenceValueText(value, decimals))
                    << "bits 0x" << std::hex << std::bit_cast<uint32_t>(value) << std::dec << " decimals " << decimals;
        }
    }
}

TEST(ValueText, NeverExceedsCapacity)
{
    char out[kValueTextCapacity];
    for (float value : {-99999999999999.9f, -999999986991104.0f, -0.1f, -std::numeric_limits<float>::max()})
        EXPECT_LE(formatValueText(out, value, 40, ','), 35u);
}

} // namespace
} // namespace torvex
