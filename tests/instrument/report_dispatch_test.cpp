#include "instrument/report_dispatch.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace torvex;
using Bytes = std::vector<std::uint8_t>;

namespace {

// Records what it is handed, in order, with the handler's count at that moment.
class RecordingSink : public MeasurementLogSink {
public:
    explicit RecordingSink(const InputReportHandler &handler) : handler_(handler) {}

    void handOverMeasurement(const MeasurementState &state) override
    {
        calls.push_back(state);
        countWhenHandedOver.push_back(handler_.measurement.MeasurementCount);
    }

    std::vector<MeasurementState> calls;
    std::vector<std::uint32_t> countWhenHandedOver;

private:
    const InputReportHandler &handler_;
};

Bytes padded(Bytes data, std::size_t size = 64)
{
    data.resize(std::max(size, data.size()), 0);
    return data;
}

// A measurement report written out byte by byte: OUT1 and TRIG2 active, 2 decimals, 8 December 2026 at
// 09:05:03; encoder 1 at 12.5 moving 1.2 per second, encoder 2 at rest, encoder 3 at -3.25 per minute.
const Bytes kMeasurement = padded({
    0x00, 0x81, 0x02, 0xAA, 0xBB,                         // type, IO bits, decimals, two unused bytes
    0x07, 0xEA, 12,   8,    9,    5,    3,                // year (high byte first), month, day, h, m, s
    0x00, 0x00, 0x00, 0x48, 0x41, 0x9A, 0x99, 0x99, 0x3F, // per second, 12.5f, 1.2f
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, // per second, 0, 0
    0x01, 0x00, 0x00, 0x50, 0xC0, 0x00, 0x00, 0x00, 0x00, // per minute, -3.25f, 0
});

class ReportHandlerTest : public testing::Test {
protected:
    ReportOutcome receive(const Bytes &data) { return handler.handle(data, &sink); }

    InputReportHandler handler;
    RecordingSink sink{handler};
};

} // namespace

TEST_F(ReportHandlerTest, MeasurementFillsTheStateAndHandsOverItsLine)
{
    handler.measurement.MeasurementCount = 41; // the 42nd report since start

    const ReportOutcome out = receive(kMeasurement);

    EXPECT_EQ(out.type, InputReportType::Measurement);
    EXPECT_TRUE(out.measurementHandled);
    EXPECT_FALSE(out.configReply);
    EXPECT_FALSE(out.acknowledgement);
    EXPECT_THAT(sink.countWhenHandedOver, testing::ElementsAre(41u)) << "handed over before the count advances";

    const MeasurementState &m = handler.measurement;
    EXPECT_EQ(m.IoStates, 0x81);
    EXPECT_EQ(m.DecimalPlaces, 2);
    EXPECT_EQ(m.DeviceClock.Year, 2026);
    EXPECT_EQ(m.DeviceClock.Month, 12);
    EXPECT_EQ(m.DeviceClock.Second, 3);
    EXPECT_EQ(m.Encoders[0].Position, 12.5f);
    EXPECT_EQ(m.Encoders[0].Velocity, 1.2f);
    EXPECT_EQ(m.Encoders[2].Position, -3.25f);
    EXPECT_EQ(m.Encoders[2].PerMinute, 1);
    EXPECT_EQ(m.MeasurementCount, 42u);
    EXPECT_EQ(m.NewSampleFlag, 255);
    EXPECT_EQ(handler.receivedCount, 1u);
    EXPECT_EQ(handler.rxSize, 64);
}

TEST_F(ReportHandlerTest, CountersFollowMeasurementsOnlyAndWrap)
{
    handler.measurement.MeasurementCount = 0xFFFFFFFF;
    receive(kMeasurement);
    receive(padded({1, 5, 0, 1}));
    receive(padded({2, 6, 0}));
    receive(padded({7}));
    receive(kMeasurement);

    EXPECT_THAT(sink.countWhenHandedOver, testing::ElementsAre(0xFFFFFFFFu, 0u));
    EXPECT_EQ(handler.measurement.MeasurementCount, 1u);
    EXPECT_EQ(handler.receivedCount, 5u);
}

TEST_F(ReportHandlerTest, ShorterReportLeavesTheEarlierOnesBytesBehindIt)
{
    Bytes full(64, 0x77);
    full[0] = 3;
    receive(full);
    receive({255, 1});
    const RxBuffer &rx = handler.rxBuffer();
    EXPECT_EQ(rx[0], 255);
    EXPECT_EQ(rx[1], 1);
    EXPECT_EQ(rx[2], 0x77);
    EXPECT_EQ(rx[63], 0x77);
    EXPECT_EQ(rx[64], 0);
    EXPECT_EQ(handler.rxSize, 2);

    receive(Bytes(300, 0x05));
    EXPECT_EQ(handler.rxSize, kRxBufferSize) << "cut to the buffer";
    EXPECT_EQ(rx[127], 0x05);
}

TEST_F(ReportHandlerTest, ConfigurationReplyIsHandedOnDecoded)
{
    const ReportOutcome out = receive(padded({1, 14, 2, 3}));
    ASSERT_TRUE(out.configReply);
    EXPECT_EQ(out.configReply->param->id, ParamId::TriggerRegisterType);
    EXPECT_EQ(out.configReply->channel, 2);
    EXPECT_TRUE(sink.calls.empty());
    EXPECT_EQ(handler.measurement.MeasurementCount, 0u);
}

TEST_F(ReportHandlerTest, WithoutASinkMeasurementsAreCountedButNoLineIsBuilt)
{
    handler.handle(kMeasurement);
    EXPECT_EQ(handler.measurement.MeasurementCount, 1u);
    EXPECT_EQ(handler.measurement.Encoders[0].Position, 12.5f);
    EXPECT_TRUE(sink.calls.empty());
}

TEST_F(ReportHandlerTest, ShortAcknowledgementDoesNotShowAnEarlierReportsNumbers)
{
    EXPECT_EQ(receive({2, 5, 1}).acknowledgement, (Acknowledgement{5, 1}));
    EXPECT_EQ(receive({2, 255, 0}).acknowledgement, (Acknowledgement{255, 0}));
    const ReportOutcome shortOne = receive({2, 7});
    EXPECT_EQ(shortOne.type, InputReportType::ParameterAck);
    EXPECT_FALSE(shortOne.acknowledgement);
    EXPECT_EQ(handler.rxBuffer()[1], 7) << "still stored";
    EXPECT_EQ(handler.receivedCount, 3u);
}

namespace {

// One report and what must (not) come of it, the measurement state left alone in every case.
struct IgnoredCase {
    const char *name;
    Bytes data;
    InputReportType type;
};

class ReportsThatChangeNothing : public testing::TestWithParam<IgnoredCase> {};

} // namespace

TEST_P(ReportsThatChangeNothing, AreCountedAndStoredOnly)
{
    const IgnoredCase &c = GetParam();
    InputReportHandler handler;
    RecordingSink sink(handler);
    handler.handle(kMeasurement, &sink);
    const MeasurementState before = handler.measurement;
    sink.calls.clear();

    const ReportOutcome out = handler.handle(c.data, &sink);

    EXPECT_EQ(out.type, c.type);
    EXPECT_FALSE(out.measurementHandled);
    EXPECT_FALSE(out.configReply);
    EXPECT_FALSE(out.acknowledgement);
    EXPECT_TRUE(sink.calls.empty());
    EXPECT_EQ(handler.receivedCount, 2u);
    EXPECT_EQ(handler.rxSize, std::min(c.data.size(), kRxBufferSize));
    for (std::size_t i = 0; i < handler.rxSize; ++i)
        ASSERT_EQ(handler.rxBuffer()[i], c.data[i]) << i;
    EXPECT_EQ(handler.measurement.MeasurementCount, before.MeasurementCount);
    EXPECT_EQ(handler.measurement.IoStates, before.IoStates);
    EXPECT_EQ(handler.measurement.Encoders[0].Position, before.Encoders[0].Position);
}

INSTANTIATE_TEST_SUITE_P(
    Reports, ReportsThatChangeNothing,
    testing::Values(IgnoredCase{"Empty", {}, InputReportType::Other},
                    IgnoredCase{"TypeThree", padded({3, 1, 2}), InputReportType::Other},
                    IgnoredCase{"TypeTwoFiftyFive", {255}, InputReportType::Other},
                    IgnoredCase{"MeasurementOneByteShort", Bytes(kMeasurement.begin(), kMeasurement.begin() + 38),
                                InputReportType::Measurement},
                    IgnoredCase{"MeasurementTypeByteOnly", {0}, InputReportType::Measurement},
                    IgnoredCase{"ReplyWithIdNeverAnswered", padded({1, 10, 0}), InputReportType::ConfigReply},
                    IgnoredCase{"ReplyShorterThanItsInt", {1, 6, 0, 232, 3, 0}, InputReportType::ConfigReply},
                    IgnoredCase{"ReplyForFourthEncoder", padded({1, 9, 3}), InputReportType::ConfigReply},
                    IgnoredCase{"StatisticsOnChannelOne", padded({1, 15, 1}), InputReportType::ConfigReply},
                    IgnoredCase{"AcknowledgementTypeByteOnly", {2}, InputReportType::ParameterAck}),
    [](const testing::TestParamInfo<IgnoredCase> &p) { return std::string(p.param.name); });
