#include "cli/report_rate.h"
#include "cli/text_util.h"
#include "cli/watch_screen.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

using namespace torvex;
using namespace torvex::cli;
using testing::ElementsAre;
using testing::HasSubstr;

namespace {

WatchView sampleView()
{
    WatchView v;
    v.state.DecimalPlaces = 2;
    v.state.IoStates = 0x81;
    v.state.DeviceClock = {2026, 12, 8, 9, 5, 3};
    v.state.Encoders[0] = {0, 1234.5f, -3.25f};
    v.state.Encoders[1] = {1, 0.0f, 7.0f};
    v.state.Encoders[2] = {0, 12.0f, 0.0f};
    v.names = {"Wheel", "", ""};
    v.units = {"mm", "", "m"};
    v.reports = 333;
    v.intervalMs = 333;
    v.device = "/dev/hidraw3";
    return v;
}

TEST(WatchScreen, ShowsWhatTheIndicatorPageShows)
{
    EXPECT_THAT(watchScreen(sampleView()),
                ElementsAre("TORVEX /dev/hidraw3", "Instrument clock  08-12-2026  09:05:03",
                            "Encoder 1 - Wheel  position 1234.50 [mm]  velocity -3.25 [mm/sec]",
                            "Encoder 2          position 0.00 [...]    velocity 7.00 [.../min]",
                            "Encoder 3          position 12.00 [m]     velocity 0.00 [m/sec]",
                            "Outputs   OUT1 HI  OUT2 LO  OUT3 LO  OUT4 LO", "Triggers  TRIG1 LO  TRIG2 HI",
                            "Rate      1000 reports/s"));
}

TEST(WatchScreen, PlainLineCarriesTheSameValuesWithTheRegionalSeparator)
{
    WatchView v = sampleView();
    v.separator = ',';
    v.state.DecimalPlaces = 0;
    v.reports = 100;
    v.connected = false;
    EXPECT_EQ(watchLine(v),
              "08-12-2026 09:05:03 | Wheel 1235 [mm] -3 [mm/sec] | Encoder 2 0 [...] 7 [.../min]"
              " | Encoder 3 12 [m] 0 [m/sec] | OUT1 HI  OUT2 LO  OUT3 LO  OUT4 LO | TRIG1 LO  TRIG2 HI"
              " | 300 reports/s | disconnected");
}

TEST(WatchScreen, ZeroStateBeforeTheFirstReport)
{
    WatchView v;
    v.reports = 0;
    const auto lines = watchScreen(v);
    EXPECT_EQ(lines[1], "Instrument clock  00-00-0000  00:00:00");
    EXPECT_EQ(lines[2], "Encoder 1  position 0 [...]  velocity 0 [.../sec]");
    EXPECT_EQ(lines.back(), "Rate      0 reports/s");
}

TEST(TextUtil, ByteCounts)
{
    EXPECT_EQ(byteCountText(999), "999 B");
    EXPECT_EQ(byteCountText(1500), "1.5 kB");
    EXPECT_EQ(byteCountText(999'960), "1.0 MB");
}

// 10 reports/s seen every 250 ms arrive as 2, 3, 2, 3: the rate shown must not swing between 8 and 12.
TEST(ReportRate, ARateThatDoesNotDivideIntoTheRefreshesReadsSteadily)
{
    ReportRate rate;
    std::vector<std::string> shown;
    for (int refresh = 0; refresh < 16; ++refresh) {
        rate.add(refresh % 2 == 0 ? 2 : 3, 250);
        shown.push_back(reportRateText(rate.reports(), rate.ms() / 1000.0));
    }
    EXPECT_THAT(std::vector<std::string>(shown.begin() + 3, shown.end()), testing::Each(std::string("10 reports/s")));
    // A refresh that came late still counts with its own length, and the window moves on.
    rate.add(30, 3000);
    EXPECT_EQ(reportRateText(rate.reports(), rate.ms() / 1000.0), "10 reports/s");
}

} // namespace
