#include "measure/measurement.h"

#include <gtest/gtest.h>

#include <array>
#include <bit>
#include <cstdint>
#include <vector>

namespace torvex {
namespace {

std::array<uint8_t, 64> reportWith(std::initializer_list<std::pair<size_t, uint8_t>> bytes)
{
    std::array<uint8_t, 64> data{}; // type byte 0 at offset 0
    for (auto [offset, value] : bytes)
        data[offset] = value;
    return data;
}

TEST(DecodeMeasurementReport, ReadsEveryFieldFromItsOffset)
{
    // Year 0x07EA big-endian, then 12-08 09:05:03; encoder records at 12, 21, 30.
    const auto data =
        reportWith({{1, 0x41},  {2, 3},     {3, 0xAA},  {4, 0xBB},  {5, 0x07},  {6, 0xEA},  {7, 12},    {8, 8},
                    {9, 9},     {10, 5},    {11, 3},    {12, 0},    {15, 0x80}, {16, 0x3F}, // +1.0, velocity 0
                    {21, 2},    {24, 0x80}, {25, 0xBF}, {28, 0x20}, {29, 0x41},             // -1.0, 10.0
                    {30, 255},  {31, 0x01}, {32, 0x02}, {33, 0x03}, {34, 0x04}, {35, 0x00}, {36, 0x00}, {37, 0xC0},
                    {38, 0x7F}, // NaN bits
                    {39, 0xFF}});
    MeasurementState state;
    ASSERT_TRUE(DecodeMeasurementReport(data.data(), data.size(), state));

    EXPECT_EQ(state.IoStates, 0x41);
    EXPECT_EQ(state.DecimalPlaces, 3);
    EXPECT_EQ(state.DeviceClock.Year, 2026);
    EXPECT_EQ(state.DeviceClock.Month, 12);
    EXPECT_EQ(state.DeviceClock.Day, 8);
    EXPECT_EQ(state.DeviceClock.Hour, 9);
    EXPECT_EQ(state.DeviceClock.Minute, 5);
    EXPECT_EQ(state.DeviceClock.Second, 3);

    EXPECT_EQ(state.Encoders[0].PerMinute, 0);
    EXPECT_EQ(state.Encoders[0].Position, 1.0f);
    EXPECT_EQ(state.Encoders[0].Velocity, 0.0f);
    EXPECT_EQ(state.Encoders[1].PerMinute, 2);
    EXPECT_EQ(state.Encoders[1].Position, -1.0f);
    EXPECT_EQ(state.Encoders[1].Velocity, 10.0f);
    EXPECT_EQ(state.Encoders[2].PerMinute, 255);
    EXPECT_EQ(std::bit_cast<uint32_t>(state.Encoders[2].Position), 0x04030201u); // a subnormal, bits kept
    EXPECT_EQ(std::bit_cast<uint32_t>(state.Encoders[2].Velocity), 0x7FC00000u);

    // The decoder leaves the counters to the report handler.
    EXPECT_EQ(state.MeasurementCount, 0u);
    EXPECT_EQ(state.NewSampleFlag, 0);
}

TEST(DecodeMeasurementReport, StoresUncheckedValuesAndReplacesEveryField)
{
    MeasurementState state;
    const auto first = reportWith({{1, 0xFF}, {2, 200}, {5, 0xFF}, {6, 0xFF}, {7, 13}, {9, 0x23}, {12, 1}, {16, 0x40}});
    ASSERT_TRUE(DecodeMeasurementReport(first.data(), first.size(), state));
    EXPECT_EQ(state.DecimalPlaces, 200);
    EXPECT_EQ(state.DeviceClock.Year, 65535);
    EXPECT_EQ(state.DeviceClock.Month, 13);
    EXPECT_EQ(state.DeviceClock.Hour, 0x23);
    EXPECT_EQ(state.Encoders[0].Position, 2.0f);

    const auto zeros = reportWith({});
    ASSERT_TRUE(DecodeMeasurementReport(zeros.data(), kMeasurementReportSize, state));
    EXPECT_EQ(state.IoStates, 0);
    EXPECT_EQ(state.DecimalPlaces, 0);
    EXPECT_EQ(state.DeviceClock.Year, 0);
    EXPECT_EQ(state.Encoders[0].PerMinute, 0);
    EXPECT_EQ(state.Encoders[0].Position, 0.0f);
}

TEST(DecodeMeasurementReport, ShortDataPartLeavesTheStateAlone)
{
    MeasurementState state;
    const auto earlier = reportWith({{1, 0x30}, {2, 4}, {5, 0x07}, {6, 0xEA}, {16, 0x3F}, {15, 0x80}});
    ASSERT_TRUE(DecodeMeasurementReport(earlier.data(), earlier.size(), state));

    const auto later = reportWith({{1, 0x01}, {2, 1}});
    for (size_t size : {size_t(0), size_t(1), size_t(12), kMeasurementReportSize - 1}) {
        EXPECT_FALSE(DecodeMeasurementReport(later.data(), size, state)) << size;
        EXPECT_EQ(state.IoStates, 0x30) << size;
        EXPECT_EQ(state.DecimalPlaces, 4) << size;
        EXPECT_EQ(state.DeviceClock.Year, 2026) << size;
        EXPECT_EQ(state.Encoders[0].Position, 1.0f) << size;
    }
    EXPECT_FALSE(DecodeMeasurementReport(nullptr, 64, state));
}

TEST(MeasurementState, HandledReportsAdvanceCountWithWrapAndRaiseTheFlag)
{
    MeasurementState state;
    markMeasurementHandled(state);
    EXPECT_EQ(state.MeasurementCount, 1u);
    EXPECT_EQ(state.NewSampleFlag, 255);

    state.MeasurementCount = 0xFFFFFFFFu;
    markMeasurementHandled(state);
    EXPECT_EQ(state.MeasurementCount, 0u);
    EXPECT_EQ(state.NewSampleFlag, 255);
}

} // namespace
} // namespace torvex
