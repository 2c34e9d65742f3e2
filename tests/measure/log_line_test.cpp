#include "measure/log_line.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

namespace torvex {
namespace {

LogColumns noColumns()
{
    LogColumns c;
    c.date = c.time = c.count = c.countModulo = c.outputs = false;
    c.position = {false, false, false};
    c.velocity = {false, false, false};
    return c;
}

// 8 December 2026, 09:05:03.007
constexpr LocalDateTime kMorning{2026, 12, 8, 9, 5, 3, 7};

LogLineInput fullExample(char separator)
{
    LogLineInput in;
    in.decimalPlaces = 2;
    in.moduloValue = 4;
    in.measurementCount = 41;
    in.position = {12.5f, 0.0f, -3.25f};
    in.velocity = {1.2f, 0.0f, 0.0f};
    in.ioStates = 0x81;
    in.decimalSeparator = separator;
    return in;
}

struct LineCase {
    const char *name;
    LogLineInput input;
    LocalDateTime now;
    std::string expected;
};

std::vector<LineCase> lineCases()
{
    std::vector<LineCase> cases;
    cases.push_back({"FullExamplePoint", fullExample('.'), kMorning,
                     "8-12-2026;9:5:3:7;41;1;12.50;0.00;-3.25;1.20;0.00;0.00;HI;LO;LO;LO;LO;HI;\r\n"});
    cases.push_back({"FullExampleComma", fullExample(','), kMorning,
                     "8-12-2026;9:5:3:7;41;1;12,50;0,00;-3,25;1,20;0,00;0,00;HI;LO;LO;LO;LO;HI;\r\n"});
    {
        LogLineInput in;
        in.columns = noColumns();
        in.columns.outputs = true;
        cases.push_back({"OutputsOnly", in, kMorning, "LO;LO;LO;LO;LO;LO;\r\n"});
        in.ioStates = 0x30; // bits 4 and 5 belong to no column
        cases.push_back({"UnusedBitsIgnored", in, kMorning, "LO;LO;LO;LO;LO;LO;\r\n"});
        in.ioStates = 0xCF;
        cases.push_back({"AllOutputsActive", in, kMorning, "HI;HI;HI;HI;HI;HI;\r\n"});
    }
    {
        LogLineInput in;
        in.columns = noColumns();
        cases.push_back({"NoColumn", in, kMorning, "\r\n"});
    }
    {
        LogLineInput in;
        in.columns = noColumns();
        in.columns.date = in.columns.time = true;
        cases.push_back({"Midnight", in, LocalDateTime{2027, 1, 1, 0, 0, 0, 0}, "1-1-2027;0:0:0:0;\r\n"});
        cases.push_back(
            {"LastMillisecond", in, LocalDateTime{2026, 12, 31, 23, 59, 59, 999}, "31-12-2026;23:59:59:999;\r\n"});
    }
    {
        LogLineInput in;
        in.columns = noColumns();
        in.columns.count = in.columns.countModulo = true;
        in.moduloValue = 4;
        in.measurementCount = 0x80000000u;
        cases.push_back({"CounterAt2To31", in, kMorning, "-2147483648;0;\r\n"});
        in.measurementCount = 0xFFFFFFFFu;
        cases.push_back({"CounterAtLast", in, kMorning, "-1;3;\r\n"});
        // A negative Mod from the settings file divides as the unsigned number it is: 2^32 - 5.
        in.moduloValue = -5;
        cases.push_back({"NegativeModuloUnsigned", in, kMorning, "-1;4;\r\n"});
        in.moduloValue = 99999999;
        in.measurementCount = 123456789u;
        cases.push_back({"LargestModulo", in, kMorning, "123456789;23456790;\r\n"});
    }
    {
        LogLineInput in;
        in.columns = noColumns();
        in.columns.count = in.columns.countModulo = true;
        in.columns.position[0] = true;
        in.columns.outputs = true;
        in.moduloValue = 0;
        in.measurementCount = 7;
        in.decimalPlaces = 1;
        in.position[0] = 2.0f;
        in.ioStates = 0x02;
        cases.push_back({"ModuloZeroKeepsLaterColumns", in, kMorning, "7;---;2.0;LO;HI;LO;LO;LO;LO;\r\n"});
    }
    {
        // Order is fixed by the column, not by which ones are ticked.
        LogLineInput in;
        in.columns = noColumns();
        in.columns.velocity[2] = true;
        in.columns.position[1] = true;
        in.position = {1.0f, 2.0f, 3.0f};
        in.velocity = {4.0f, 5.0f, 6.0f};
        cases.push_back({"SparseEncoderColumns", in, kMorning, "2;6;\r\n"});
    }
    return cases;
}

class LogLineTable : public ::testing::TestWithParam<LineCase> {};

TEST_P(LogLineTable, BuildsExpectedBytes)
{
    LogLine line;
    BuildLogLine(line, GetParam().input, GetParam().now);
    EXPECT_EQ(std::string(line.view()), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Lines, LogLineTable, ::testing::ValuesIn(lineCases()),
                         [](const auto &param) { return std::string(param.param.name); });

TEST(LogLine, ReusedBufferHoldsOnlyTheLatestLine)
{
    LogLine line;
    BuildLogLine(line, fullExample('.'), kMorning);
    LogLineInput shortLine;
    shortLine.columns = noColumns();
    shortLine.columns.count = true;
    BuildLogLine(line, shortLine, kMorning);
    EXPECT_EQ(std::string(line.view()), "0;\r\n");
}

TEST(LogLine, TakesTheMeasurementFieldsItWrites)
{
    MeasurementState state;
    state.IoStates = 0x41;
    state.DecimalPlaces = 1;
    state.MeasurementCount = 9;
    for (int k = 0; k < 3; ++k) {
        state.Encoders[k].Position = float(k + 1);
        state.Encoders[k].Velocity = float(-(k + 4));
    }
    LogLineInput in;
    in.columns.date = in.columns.time = false;
    in.moduloValue = 5;
    in.takeMeasurement(state);
    LogLine line;
    BuildLogLine(line, in, kMorning);
    EXPECT_EQ(std::string(line.view()), "9;4;1.0;2.0;3.0;-4.0;-5.0;-6.0;HI;LO;LO;LO;HI;LO;\r\n");
}

TEST(LogLine, LongestPossibleLineFitsTheBuffer)
{
    LogLineInput in; // all columns
    in.decimalPlaces = 255;
    in.measurementCount = 0x80000000u;
    in.moduloValue = std::numeric_limits<std::int32_t>::min();
    in.position = {-9.999999e14f, -std::numeric_limits<float>::max(), std::nanf("")};
    in.velocity = {-1.0e14f, -std::numeric_limits<float>::infinity(), -123456789012345.0f};
    const LocalDateTime extreme{std::numeric_limits<int>::min(), std::numeric_limits<int>::min(),
                                std::numeric_limits<int>::min(), std::numeric_limits<int>::min(),
                                std::numeric_limits<int>::min(), std::numeric_limits<int>::min(),
                                std::numeric_limits<int>::min()};
    LogLine line;
    BuildLogLine(line, in, extreme);
    ASSERT_LE(line.size(), LogLine::kCapacity);
    EXPECT_EQ(line.view().substr(line.size() - 2), "\r\n");
    EXPECT_EQ(line.view().substr(0, 12), "-2147483648-");
}

} // namespace
} // namespace torvex
