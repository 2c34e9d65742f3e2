#include "config/number_text.h"

#include "measure/value_text_reference.h"
#include "test_names.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <optional>
#include <ostream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

using namespace torvex;

namespace {

const NumberFormat kPolish{",", "\u00a0"};
const NumberFormat kEnglish{".", ","};
const NumberFormat kGermanLike{",", "."};

struct IntCase {
    const char *text;
    std::optional<std::int32_t> expected;
};

class ParseInt32 : public testing::TestWithParam<IntCase> {};

TEST_P(ParseInt32, AcceptsOnlySignAndDigitsWithinRange)
{
    EXPECT_EQ(parseInt32(GetParam().text), GetParam().expected) << '"' << GetParam().text << '"';
}

INSTANTIATE_TEST_SUITE_P(Table, ParseInt32,
                         testing::Values(IntCase{"0", 0}, IntCase{"1000", 1000}, IntCase{"-5", -5}, IntCase{"+7", 7},
                                         IntCase{"  42\t", 42}, IntCase{"007", 7}, IntCase{"2147483647", 2147483647},
                                         IntCase{"-2147483648", std::numeric_limits<std::int32_t>::min()},
                                         IntCase{"2147483648", std::nullopt}, IntCase{"-2147483649", std::nullopt},
                                         IntCase{"99999999999999999999", std::nullopt}, IntCase{"", std::nullopt},
                                         IntCase{"   ", std::nullopt}, IntCase{"-", std::nullopt},
                                         IntCase{"+-1", std::nullopt}, IntCase{"- 1", std::nullopt},
                                         IntCase{"1 000", std::nullopt}, IntCase{"1,5", std::nullopt},
                                         IntCase{"1.0", std::nullopt}, IntCase{"0x10", std::nullopt},
                                         IntCase{"1e3", std::nullopt}, IntCase{"abc", std::nullopt},
                                         IntCase{"12a", std::nullopt}),
                         [](const auto &row) { return testName(row.param.text); });

struct RealCase {
    const char *text;
    const NumberFormat *format;
    std::optional<float> expected;
};

class ParseReal : public testing::TestWithParam<RealCase> {};

TEST_P(ParseReal, FollowsTheLocaleSeparators)
{
    const auto &c = GetParam();
    const std::optional<float> got = parseReal(c.text, *c.format);
    ASSERT_EQ(got.has_value(), c.expected.has_value()) << '"' << c.text << '"';
    if (got) {
        EXPECT_EQ(*got, *c.expected) << '"' << c.text << '"';
    }
}

INSTANTIATE_TEST_SUITE_P(Table, ParseReal,
                         testing::Values(
                             // A Polish system takes both separators.
                             RealCase{"1,5", &kPolish, 1.5f}, RealCase{"1.5", &kPolish, 1.5f},
                             RealCase{"150,0", &kPolish, 150.0f}, RealCase{"-10000", &kPolish, -10000.0f},
                             RealCase{" 123,45 ", &kPolish, 123.45f}, RealCase{"+2", &kPolish, 2.0f},
                             RealCase{",5", &kPolish, 0.5f}, RealCase{"5,", &kPolish, 5.0f},
                             RealCase{"1,5,0", &kPolish, std::nullopt}, RealCase{"1.5,0", &kPolish, std::nullopt},
                             RealCase{"1\u00a0000", &kPolish, std::nullopt},
                             // An English one groups with ",": "1,500" is not silently 1.5.
                             RealCase{"1.5", &kEnglish, 1.5f}, RealCase{"1,5", &kEnglish, std::nullopt},
                             RealCase{"1,500", &kEnglish, std::nullopt},
                             // Where "." groups, only "," separates decimals.
                             RealCase{"1,5", &kGermanLike, 1.5f}, RealCase{"1.5", &kGermanLike, std::nullopt},
                             // Not numbers anywhere.
                             RealCase{"", &kPolish, std::nullopt}, RealCase{",", &kPolish, std::nullopt},
                             RealCase{"-", &kPolish, std::nullopt}, RealCase{"1e3", &kPolish, std::nullopt},
                             RealCase{"inf", &kPolish, std::nullopt}, RealCase{"nan", &kPolish, std::nullopt},
                             RealCase{"12a", &kPolish, std::nullopt}, RealCase{"1 5", &kPolish, std::nullopt},
                             RealCase{"0x1p3", &kEnglish, std::nullopt}),
                         [](const auto &row) {
                             const NumberFormat *f = row.param.format;
                             const char *locale = f == &kPolish ? "pl" : f == &kEnglish ? "en" : "de";
                             return std::string(locale) + "_" + testName(row.param.text);
                         });

TEST(ParseReal, RoundsToTheNearestFloat)
{
    EXPECT_EQ(parseReal("0,1", kPolish), 0.1f);
    EXPECT_EQ(parseReal("9999,999", kPolish), 9999.999f);
    EXPECT_EQ(parseReal("16777217", kPolish), 16777216.0f);
}

TEST(ParseReal, HugeAndTinyMagnitudesStayNumbers)
{
    const std::string huge = "1" + std::string(60, '0');
    EXPECT_EQ(parseReal(huge, kPolish), std::numeric_limits<float>::infinity());
    EXPECT_EQ(parseReal("-" + huge, kPolish), -std::numeric_limits<float>::infinity());
    const std::string tiny = "0," + std::string(60, '0') + "1";
    const std::optional<float> t = parseReal(tiny, kPolish);
    ASSERT_TRUE(t.has_value());
    EXPECT_EQ(*t, 0.0f);
}

struct FormatCase {
    float value;
    const char *comma;
    const char *dot;
};

class FormatReal3 : public testing::TestWithParam<FormatCase> {};

TEST_P(FormatReal3, ThreeDecimalsWithTheLocaleSeparator)
{
    EXPECT_EQ(formatReal3(GetParam().value, kPolish), GetParam().comma);
    EXPECT_EQ(formatReal3(GetParam().value, kEnglish), GetParam().dot);
}

INSTANTIATE_TEST_SUITE_P(
    Table, FormatReal3,
    testing::Values(FormatCase{150.0, "150,000", "150.000"}, FormatCase{-1.0, "-1,000", "-1.000"},
                    FormatCase{0.0, "0,000", "0.000"}, FormatCase{123.45f, "123,450", "123.450"},
                    FormatCase{9999.999f, "9999,999", "9999.999"}, FormatCase{-9999.999f, "-9999,999", "-9999.999"},
                    FormatCase{0.0005f, "0,001", "0.001"},
                    FormatCase{999999986991104.0f, "999999986991104,000", "999999986991104.000"},
                    FormatCase{1125899906842624.0f, "1,12589990684262E+15", "1.12589990684262E+15"},
                    FormatCase{-9982443520000000.0f, "-9,98244352E+15", "-9.98244352E+15"},
                    FormatCase{std::numeric_limits<float>::max(), "3,40282346638529E+38", "3.40282346638529E+38"},
                    FormatCase{std::numeric_limits<float>::quiet_NaN(), "NAN", "NAN"},
                    FormatCase{std::numeric_limits<float>::infinity(), "INF", "INF"},
                    FormatCase{-std::numeric_limits<float>::infinity(), "-INF", "-INF"}),
    [](const auto &row) { return testName(row.param.dot); });

// Three-decimal texts follow the indicators' rule (exact single, halves away from zero, no sign on zeros), checked
// against the exact reference where a shortcut would go wrong. Both signs of every value.
std::vector<float> exactTies()
{
    // Odd sixteenths are the singles that end in 5 at the fourth decimal: 0.0625 up to 2^20 - 1/16.
    std::vector<float> values;
    for (int k = 1; k <= 24; ++k)
        for (const long j : {(1L << k) - 1, (1L << k) + 1, 3L * (1L << (k - 1)) + 1})
            if (j % 2 == 1 && j < (1L << 24))
                values.push_back(float(j) / 16.0f);
    return values;
}

std::vector<float> roundingToZero()
{
    std::vector<float> values{std::numeric_limits<float>::denorm_min(), 1e-30f, 1e-4f, 0.0004f};
    float v = std::nextafter(0.0005f, 1.0f);
    for (int i = 0; i < 6; ++i, v = std::nextafter(v, 0.0f))
        values.push_back(v);
    std::mt19937 random(29);
    std::uniform_real_distribution<float> small(0.0f, 0.0005f);
    for (int i = 0; i < 200; ++i)
        values.push_back(small(random));
    return values;
}

// Every single from 9999.99 to 10000.01: the limits' replacement and the carry into a fifth integer digit.
std::vector<float> aroundTheLimit()
{
    std::vector<float> values;
    for (float v = 9999.99f; v <= 10000.01f; v = std::nextafter(v, 20000.0f))
        values.push_back(v);
    return values;
}

std::vector<float> aroundTheExponentForm()
{
    std::vector<float> values;
    float v = 1e15f;
    for (int i = 0; i < 8; ++i)
        v = std::nextafter(v, 0.0f);
    for (int i = 0; i < 16; ++i, v = std::nextafter(v, 2e15f))
        values.push_back(v);
    return values;
}

struct Real3Family {
    const char *name;
    std::vector<float> (*values)();
};

void PrintTo(const Real3Family &family, std::ostream *os) { *os << family.name; }

class FormatReal3AgainstReference : public testing::TestWithParam<Real3Family> {};

TEST_P(FormatReal3AgainstReference, RoundsHalvesAwayFromZeroWithoutANegativeZero)
{
    size_t mismatches = 0;
    std::ostringstream first;
    for (const float magnitude : GetParam().values()) {
        for (const float value : {magnitude, -magnitude}) {
            std::string expected = referenceValueText(value, 3);
            if (const size_t dot = expected.find('.'); dot != std::string::npos)
                expected[dot] = ',';
            const std::string actual = formatReal3(value, kPolish);
            if (actual != expected && ++mismatches <= 8)
                first << "\n  " << std::hexfloat << value << ": " << actual << ", expected " << expected;
        }
    }
    EXPECT_EQ(mismatches, 0u) << first.str();
}

INSTANTIATE_TEST_SUITE_P(Generated, FormatReal3AgainstReference,
                         testing::Values(Real3Family{"ExactTies", exactTies},
                                         Real3Family{"RoundingToZero", roundingToZero},
                                         Real3Family{"AroundTheLimit", aroundTheLimit},
                                         Real3Family{"AroundTheExponentForm", aroundTheExponentForm}),
                         [](const auto &row) { return std::string(row.param.name); });

} // namespace
