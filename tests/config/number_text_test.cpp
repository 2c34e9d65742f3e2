#include "config/number_text.h"

#include "test_names.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <optional>
#include <string>

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
    double value;
    const char *comma;
    const char *dot;
};

class FormatReal3 : public testing::TestWithParam<FormatCase> {};

TEST_P(FormatReal3, ThreeDecimalsWithTheLocaleSeparator)
{
    EXPECT_EQ(formatReal3(GetParam().value, kPolish), GetParam().comma);
    EXPECT_EQ(formatReal3(GetParam().value, kEnglish), GetParam().dot);
}

INSTANTIATE_TEST_SUITE_P(Table, FormatReal3,
                         testing::Values(FormatCase{150.0, "150,000", "150.000"}, FormatCase{-1.0, "-1,000", "-1.000"},
                                         FormatCase{0.0, "0,000", "0.000"}, FormatCase{123.45f, "123,450", "123.450"},
                                         FormatCase{9999.999f, "9999,999", "9999.999"},
                                         FormatCase{-9999.999f, "-9999,999", "-9999.999"},
                                         FormatCase{0.0005, "0,001", "0.001"},
                                         FormatCase{999999999999999.0, "999999999999999,000", "999999999999999.000"},
                                         FormatCase{1e15, "1E+15", "1E+15"},
                                         FormatCase{-2.5e20, "-2,5E+20", "-2.5E+20"},
                                         FormatCase{static_cast<double>(std::numeric_limits<float>::max()),
                                                    "3,40282346638529E+38", "3.40282346638529E+38"},
                                         FormatCase{std::numeric_limits<double>::quiet_NaN(), "NAN", "NAN"},
                                         FormatCase{std::numeric_limits<double>::infinity(), "INF", "INF"},
                                         FormatCase{-std::numeric_limits<double>::infinity(), "-INF", "-INF"}),
                         [](const auto &row) { return testName(row.param.dot); });

} // namespace
