#include "measure/local_clock.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>

namespace torvex {
namespace {

using namespace std::chrono;

#ifndef _WIN32
system_clock::time_point utc(int y, unsigned mo, unsigned d, int h, int mi, int s, int ms)
{
    return sys_days{year{y} / month{mo} / day{d}} + hours{h} + minutes{mi} + seconds{s} + milliseconds{ms};
}

// Runs the test in a fixed zone with daylight-saving time (one hour east of UTC, summer time from the last
// Sunday of March 02:00 to the last Sunday of October 03:00), independent of the machine's own zone.
class CentralEuropeanZone : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (const char *tz = std::getenv("TZ"))
            saved_ = tz;
        setenv("TZ", "CET-1CEST,M3.5.0,M10.5.0/3", 1);
        tzset();
    }
    void TearDown() override
    {
        if (saved_)
            setenv("TZ", saved_->c_str(), 1);
        else
            unsetenv("TZ");
        tzset();
    }

private:
    std::optional<std::string> saved_;
};

// One clock fed in this order, so the per-second cache is crossed at every kind of boundary, forwards and
// backwards.
TEST_F(CentralEuropeanZone, ReadingsAcrossSecondDayAndDaylightSavingBoundaries)
{
    struct Step {
        system_clock::time_point t;
        LocalDateTime expected;
    };
    const Step steps[] = {
        {utc(2026, 12, 8, 8, 5, 3, 7), {2026, 12, 8, 9, 5, 3, 7}},
        {utc(2026, 12, 8, 8, 5, 3, 999), {2026, 12, 8, 9, 5, 3, 999}},
        {utc(2026, 12, 8, 8, 5, 4, 0), {2026, 12, 8, 9, 5, 4, 0}},
        {utc(2026, 12, 31, 22, 59, 59, 999), {2026, 12, 31, 23, 59, 59, 999}},
        {utc(2026, 12, 31, 23, 0, 0, 0), {2027, 1, 1, 0, 0, 0, 0}},
        {utc(2026, 12, 31, 22, 59, 59, 500), {2026, 12, 31, 23, 59, 59, 500}}, // clock set back
        {utc(2026, 3, 29, 0, 59, 59, 999), {2026, 3, 29, 1, 59, 59, 999}},
        {utc(2026, 3, 29, 1, 0, 0, 0), {2026, 3, 29, 3, 0, 0, 0}}, // summer time begins
        {utc(2026, 10, 25, 0, 59, 59, 999), {2026, 10, 25, 2, 59, 59, 999}},
        {utc(2026, 10, 25, 1, 0, 0, 1), {2026, 10, 25, 2, 0, 0, 1}}, // and ends
        {utc(2028, 2, 28, 23, 0, 0, 0), {2028, 2, 29, 0, 0, 0, 0}},  // leap day
    };
    LocalClock clock;
    for (const Step &s : steps) {
        const LocalDateTime got = clock.at(s.t);
        EXPECT_EQ(got, s.expected) << "at " << duration_cast<milliseconds>(s.t.time_since_epoch()).count()
                                   << " ms: got " << got.day << '-' << got.month << '-' << got.year << ' ' << got.hour
                                   << ':' << got.minute << ':' << got.second << ':' << got.millisecond;
    }
}
#endif

#ifndef _WIN32 // the Windows runtime has no local time before 1970
TEST(LocalClock, InstantBeforeTheEpochKeepsMillisecondsInRange)
{
    LocalClock clock;
    const LocalDateTime got = clock.at(system_clock::time_point{} - milliseconds{1});
    // Whatever the zone, one millisecond before a whole second is millisecond 999 of the second before.
    EXPECT_EQ(got.millisecond, 999);
    EXPECT_EQ(got.second, 59);
}
#endif

TEST(LocalClock, NowAgreesWithTheSystemClock)
{
    LocalClock clock;
    const auto before = system_clock::now();
    const LocalDateTime got = clock.now();
    const auto after = system_clock::now();
    // The reading lies between two direct conversions (unless a second boundary falls in between).
    const std::time_t b = system_clock::to_time_t(before);
    const std::time_t a = system_clock::to_time_t(after);
    if (a != b)
        GTEST_SKIP() << "crossed a second boundary";
    std::tm tm{};
#ifdef _WIN32
    localtime_s(&tm, &b);
#else
    localtime_r(&b, &tm);
#endif
    EXPECT_EQ(got.year, tm.tm_year + 1900);
    EXPECT_EQ(got.month, tm.tm_mon + 1);
    EXPECT_EQ(got.day, tm.tm_mday);
    EXPECT_EQ(got.hour, tm.tm_hour);
    EXPECT_EQ(got.minute, tm.tm_min);
    EXPECT_EQ(got.second, tm.tm_sec);
}

} // namespace
} // namespace torvex
