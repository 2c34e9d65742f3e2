#include "measure/indicator_text.h"

#include <gtest/gtest.h>

#include <tuple>

namespace torvex {
namespace {

TEST(IndicatorText, ClockDigitRules)
{
    const std::tuple<unsigned, const char *> two[] = {{0, "00"},  {7, "07"},    {59, "59"},
                                                      {99, "99"}, {100, "100"}, {255, "255"}};
    for (auto [v, expected] : two)
        EXPECT_EQ(twoDigits(v), expected) << v;

    const std::tuple<unsigned, const char *> four[] = {{0, "0000"},    {5, "0005"},     {999, "0999"},
                                                       {2026, "2026"}, {12026, "2026"}, {65535, "5535"}};
    for (auto [y, expected] : four)
        EXPECT_EQ(fourDigits(y), expected) << y;
}

TEST(IndicatorText, DateIsDayFirstAndTimeIsPadded)
{
    EXPECT_EQ(deviceDateText({2026, 12, 8, 9, 5, 3}), " 08-12-2026");
    EXPECT_EQ(deviceTimeText({2026, 12, 8, 9, 5, 3}), " 09:05:03");
    EXPECT_EQ(deviceDateText({}), " 00-00-0000");
    EXPECT_EQ(deviceTimeText({}), " 00:00:00");
    EXPECT_EQ(deviceDateText({5, 255, 13, 0, 0, 0}), " 13-255-0005");
    EXPECT_EQ(deviceTimeText({0, 0, 0, 0x23, 60, 255}), " 35:60:255");
}

TEST(IndicatorText, RateInKilohertz)
{
    const std::tuple<uint32_t, uint32_t, char, const char *> cases[] = {
        {0, 333, '.', "0.0000 kHz"},     {333, 333, '.', "1.0000 kHz"},
        {100, 333, '.', "0.3003 kHz"},   {100, 333, ',', "0,3003 kHz"},
        {1, 3, '.', "0.3333 kHz"},       {2, 3, '.', "0.6667 kHz"},
        {1, 20000, '.', "0.0001 kHz"},   {1, 20001, '.', "0.0000 kHz"},
        {3330, 333, ',', "10,0000 kHz"}, {0xFFFFFFFFu, 1, '.', "4294967295.0000 kHz"},
        {5, 0, '.', "5.0000 kHz"}};
    for (auto [count, interval, separator, expected] : cases)
        EXPECT_EQ(rateText(count, interval, separator), expected) << count << "/" << interval;
}

} // namespace
} // namespace torvex
