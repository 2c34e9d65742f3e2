#include "instrument_driver.h"
#include "torvex_instrument.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <vector>

using namespace torvex::sim;
using std::chrono::milliseconds;
using Bytes = std::vector<std::uint8_t>;

namespace {

Instant at(int ms, CivilTime local = {2026, 12, 8, 23, 5, 9}) { return Instant{milliseconds{ms}, local}; }

Bytes request(std::uint8_t command, Bytes payload)
{
    Bytes r(kReportLength, 0);
    r[0] = 1;
    r[1] = command;
    std::memcpy(r.data() + 2, payload.data(), payload.size());
    return r;
}

// The first n data bytes of a report (the report id is checked and dropped).
Bytes dataOf(const Report &r, std::size_t n)
{
    EXPECT_EQ(r.size(), kReportLength);
    EXPECT_EQ(r.at(0), 1);
    return Bytes(r.begin() + 1, r.begin() + 1 + static_cast<long>(n));
}

Bytes readBack(Instrument &ins, std::uint8_t item, std::uint8_t channel, std::size_t n)
{
    const auto replies = ins.handleOutputReport(request(1, {item, channel}), at(0));
    if (replies.size() != 1) {
        ADD_FAILURE() << "item " << int(item) << " gave " << replies.size() << " replies";
        return {};
    }
    return dataOf(replies[0], n);
}

float floatAt(const Report &r, std::size_t dataOffset)
{
    std::uint32_t bits = 0;
    for (int i = 3; i >= 0; --i)
        bits = bits << 8 | r[1 + dataOffset + static_cast<std::size_t>(i)];
    return std::bit_cast<float>(bits);
}

} // namespace

TEST(InstrumentReadBack, FactoryValuesInReplyLayout)
{
    Instrument ins;
    ins.parameters().modbusStats = {1, 2, 3, 4, 5, 6, 7, 8, 0xFFFFFFFF};
    struct Case {
        std::uint8_t item, channel;
        Bytes expected;
    };
    const Case cases[] = {
        {5, 0, {1, 5, 0, 0}},
        {6, 0, {1, 6, 0, 100, 0, 0, 0}},
        {7, 0, {1, 7, 0, 10, 0, 0, 0}},
        {9, 2, {1, 9, 2, 0, 0, 232, 3, 0, 0, 0, 4, 0, 0, 0, 0, 128, 63, 0, 0, 0, 0}},
        {11, 0, {1, 11, 0, 1}},
        {12, 0, {1, 12, 0, 0}},
        {13, 0, {1, 13, 0, 0}},
        {14, 2, {1, 14, 2, 2}},
        {15, 0, {1, 15, 0, 0, 0, 0, 1, 0, 0, 0, 2, 0, 0, 0, 3, 0,   0,   0,   4,  0,
                 0, 0,  5, 0, 0, 0, 6, 0, 0, 0, 7, 0, 0, 0, 8, 255, 255, 255, 255}},
        {17, 0, {1, 17, 0, 2}},
        {18, 0, {1, 18, 0, 0}},
        {19, 0, {1, 19, 0, 0}},
        {20, 0, {1, 20, 0, 0}},
    };
    for (const Case &c : cases)
        EXPECT_EQ(readBack(ins, c.item, c.channel, c.expected.size()), c.expected) << "item " << int(c.item);
}

TEST(InstrumentReadBack, ItemsWithoutReplyAnswerNothing)
{
    Instrument ins;
    const std::pair<std::uint8_t, std::uint8_t> silent[] = {{0, 0}, {4, 0}, {10, 0}, {16, 0}, {21, 0}, {9, 3}, {14, 3}};
    for (auto [item, channel] : silent)
        EXPECT_TRUE(ins.handleOutputReport(request(1, {item, channel}), at(0)).empty()) << int(item);
}

TEST(InstrumentWrites, AcceptedWritesAreAcknowledgedAndReadBack)
{
    struct Case {
        Bytes write;    // id, channel, value
        Bytes readItem; // item, channel
        Bytes expected; // reply data
    };
    const Case cases[] = {
        {{0, 1, 1}, {9, 1}, {1, 9, 1, 1, 0, 232, 3, 0, 0, 0, 4, 0, 0}},
        {{1, 1, 0x10, 0x27, 0, 0}, {9, 1}, {1, 9, 1, 0, 0, 0x10, 0x27, 0, 0}},
        {{3, 1, 0, 0, 22, 67}, {9, 1}, {1, 9, 1, 0, 0, 232, 3, 0, 0, 0, 4, 0, 0, 0, 0, 22, 67}},
        {{4, 0, 0, 0, 128, 191}, {9, 0}, {1, 9, 0, 0, 0, 232, 3, 0, 0, 0, 4, 0, 0, 0, 0, 128, 63, 0, 0, 128, 191}},
        {{16, 2, 1}, {9, 2}, {1, 9, 2, 0, 1}},
        {{5, 0, 2}, {5, 0}, {1, 5, 0, 2}},
        {{6, 0, 232, 3, 0, 0}, {6, 0}, {1, 6, 0, 232, 3, 0, 0}},
        {{11, 0, 247}, {11, 0}, {1, 11, 0, 247}},
        {{14, 1, 5}, {14, 1}, {1, 14, 1, 5}},
        {{19, 0, 10}, {19, 0}, {1, 19, 0, 10}},
    };
    for (const Case &c : cases) {
        Instrument ins;
        const auto ack = ins.handleOutputReport(request(2, c.write), at(0));
        ASSERT_EQ(ack.size(), 1u);
        EXPECT_EQ(dataOf(ack[0], 3), (Bytes{2, c.write[0], c.write[1]}));
        EXPECT_EQ(readBack(ins, c.readItem[0], c.readItem[1], c.expected.size()), c.expected);
    }
}

TEST(InstrumentWrites, OutputRulesTravelAsOneBlock)
{
    Instrument ins;
    Bytes payload{8, 0};
    const Bytes records[4] = {
        {2, 1, 1, 102, 230, 246, 66}, {1, 0, 0, 0, 0, 0, 0}, {7, 0, 1, 0, 0, 200, 66}, {0, 0, 0, 0, 0, 0, 0}};
    for (const Bytes &r : records)
        payload.insert(payload.end(), r.begin(), r.end());
    payload.resize(44, 0);
    ASSERT_EQ(ins.handleOutputReport(request(2, payload), at(0)).size(), 1u);
    Bytes expected{1, 8, 0};
    for (const Bytes &r : records)
        expected.insert(expected.end(), r.begin(), r.end());
    EXPECT_EQ(readBack(ins, 8, 0, expected.size()), expected);
}

TEST(InstrumentWrites, FixedSourcesKeepAnyConditionAndStateComparingOnesDoNot)
{
    const auto rulesWrite = [](const Bytes &first) {
        Bytes payload(44, 0);
        payload[0] = 8;
        std::copy(first.begin(), first.end(), payload.begin() + 2);
        return payload;
    };
    Instrument ins;
    ASSERT_EQ(ins.handleOutputReport(request(2, rulesWrite({1, 255, 255, 0, 0, 0, 0})), at(0)).size(), 1u);
    EXPECT_EQ(readBack(ins, 8, 0, 10), (Bytes{1, 8, 0, 1, 255, 255, 0, 0, 0, 0}));
    EXPECT_TRUE(ins.handleOutputReport(request(2, rulesWrite({2, 255, 0, 0, 0, 0, 0})), at(0)).empty());
    EXPECT_TRUE(ins.handleOutputReport(request(2, rulesWrite({7, 0, 2, 0, 0, 0, 0})), at(0)).empty());
    EXPECT_EQ(ins.parameters().outputs[0].source, 1);
}

TEST(InstrumentWrites, RejectedWritesChangeNothingAndAreNotAcknowledged)
{
    const Bytes rejected[] = {
        {0, 0, 2},                // mode beyond the list
        {1, 0, 0, 0, 0, 0},       // gate time 0
        {2, 0, 0, 64, 0, 0},      // resolution 16384
        {3, 0, 0, 0, 192, 127},   // coefficient NaN
        {6, 0, 0x10, 0x27, 0, 0}, // send interval 10000
        {9, 0, 1},                // read-only
        {15, 0, 1},               // read-only
        {11, 0, 0},               // address 0
        {12, 0, 255},             // unselected list
        {10, 3},                  // no fourth encoder
        {14, 3, 1},
    };
    for (const Bytes &w : rejected) {
        Instrument ins;
        const Parameters before = ins.parameters();
        EXPECT_TRUE(ins.handleOutputReport(request(2, w), at(0)).empty()) << "id " << int(w[0]);
        EXPECT_EQ(readBack(ins, 9, 0, 21), (Bytes{1, 9, 0, 0, 0, 232, 3, 0, 0, 0, 4, 0, 0, 0, 0, 128, 63, 0, 0, 0, 0}));
        EXPECT_EQ(ins.parameters().sendInterval, before.sendInterval);
        EXPECT_EQ(ins.parameters().modbusBaud, before.modbusBaud);
    }
    Instrument ins;
    EXPECT_TRUE(ins.handleOutputReport(Bytes{1, 2, 6}, at(0)).empty()) << "truncated request";
    EXPECT_TRUE(ins.handleOutputReport(Bytes{2, 1, 5, 0}, at(0)).empty()) << "wrong report id";
}

TEST(InstrumentMeasurement, HeaderAndClockLayout)
{
    Instrument ins;
    ins.parameters().dotPosition = 4;
    ins.parameters().encoders[1].mode = 1;
    ins.holdTrigger(0, true);
    ins.holdTrigger(1, false);
    ins.parameters().outputs[2].source = 1; // always active -> OUT3
    const Report r = ins.measurementReport(at(0, {2026, 12, 8, 23, 5, 9}));
    EXPECT_EQ(dataOf(r, 12), (Bytes{0, 0x44, 4, 0, 0, 0x07, 0xEA, 12, 8, 23, 5, 9}));
    EXPECT_EQ(r[1 + 12], 0);
    EXPECT_EQ(r[1 + 21], 1);
    EXPECT_EQ(r[1 + 30], 0);
    EXPECT_TRUE(std::all_of(r.begin() + 40, r.end(), [](std::uint8_t b) { return b == 0; }));
}

TEST(InstrumentMeasurement, EncoderValuesFollowMotionAndScaling)
{
    Instrument ins;
    // Encoder 1 accelerates for 1.5 s to 2 turns/s: 1.5 turns = 1536 counts at 1024 per turn.
    EXPECT_FLOAT_EQ(floatAt(ins.measurementReport(at(1500)), 12 + 1), 1536.0f);
    // In the cruise phase the 1 s gate sees exactly 2 turns/s.
    EXPECT_FLOAT_EQ(floatAt(ins.measurementReport(at(4500)), 12 + 5), 2048.0f);

    ins.parameters().encoders[0] = EncoderSettings{1, 0, 1000, 1024, 2.0f, 10.0f};
    const Report scaled = ins.measurementReport(at(4500));
    EXPECT_EQ(scaled[1 + 12], 1);
    EXPECT_FLOAT_EQ(floatAt(scaled, 12 + 1), (1536.0f + 2048.0f * 3.0f) * 2.0f + 10.0f);
    EXPECT_FLOAT_EQ(floatAt(scaled, 12 + 5), 2048.0f * 2.0f * 60.0f);

    // Encoders 2 and 3 start later; before that they stand still.
    EXPECT_FLOAT_EQ(floatAt(ins.measurementReport(at(1000)), 21 + 1), 0.0f);
    EXPECT_FLOAT_EQ(floatAt(ins.measurementReport(at(1000)), 30 + 5), 0.0f);
}

TEST(InstrumentMeasurement, MotionReversesAndDriftsForward)
{
    Instrument ins;
    // Forward half ends at 7 s with 9 turns, the reverse half takes back half of that.
    EXPECT_FLOAT_EQ(ins.position(0, at(7000)), 9.0f * 1024);
    EXPECT_LT(ins.velocity(0, at(10500)), 0.0f);
    EXPECT_FLOAT_EQ(ins.position(0, at(14000)), 4.5f * 1024);
    EXPECT_FLOAT_EQ(ins.position(0, at(28000)), 9.0f * 1024);
}

TEST(InstrumentMeasurement, ClearPositionAndClearByIndex)
{
    Instrument ins;
    ASSERT_EQ(ins.handleOutputReport(request(2, {10, 0}), at(4000)).size(), 1u);
    EXPECT_FLOAT_EQ(ins.position(0, at(4000)), 0.0f);
    EXPECT_FLOAT_EQ(ins.position(0, at(4500)), 1024.0f);
    EXPECT_GT(ins.velocity(0, at(4000)), 0.0f) << "clearing leaves the speed alone";

    ins.parameters().encoders[0].clearByIndex = 1;
    for (int t = 0; t < 14000; t += 250) {
        const float p = ins.position(0, at(t));
        EXPECT_GE(p, 0.0f);
        EXPECT_LT(p, 1024.0f);
    }
}

TEST(InstrumentMeasurement, OutputsFollowRules)
{
    Instrument ins;
    ins.holdTrigger(0, false);
    ins.holdTrigger(1, true);
    auto &out = ins.parameters().outputs;
    out[0] = {1, 0, 0, 0.0f};    // always active
    out[1] = {2, 1, 1, 1000.0f}; // enc 1 position larger than 1000 -> active
    out[2] = {2, 0, 1, 1000.0f}; // enc 1 position smaller than 1000 -> active (not so at 1.5 s)
    out[3] = {5, 1, 0, 100.0f};  // enc 1 velocity larger than 100 -> inactive, else active
    EXPECT_EQ(ins.ioStates(at(1500)), 0x80 | 0x01 | 0x02);
    EXPECT_EQ(ins.ioStates(at(0)), 0x80 | 0x01 | 0x04 | 0x08);
}

TEST(InstrumentSchedule, TransmissionModes)
{
    Instrument ins;
    ins.parameters().sendInterval = 100;
    EXPECT_EQ(ins.poll(at(0)).size(), 1u);
    EXPECT_EQ(ins.poll(at(50)).size(), 0u);
    EXPECT_EQ(ins.nextPollAt(at(50)), milliseconds{100});
    EXPECT_EQ(ins.poll(at(105)).size(), 1u);
    EXPECT_EQ(ins.poll(at(200)).size(), 1u) << "keeps the cadence when a poll is late";
    EXPECT_EQ(ins.nextPollAt(at(200)), milliseconds{300});

    Instrument fast;
    fast.parameters().sendInterval = 1;
    EXPECT_EQ(fast.poll(at(0)).size(), 1u);
    int sent = 0;
    while (!fast.poll(at(20)).empty())
        ++sent;
    EXPECT_EQ(sent, 20) << "reports held up by a late wake-up follow at once";
    EXPECT_EQ(ins.poll(at(5000)).size(), 1u) << "no burst after a stall";
    EXPECT_EQ(ins.poll(at(5001)).size(), 0u);

    Instrument gated;
    gated.parameters().transmissionMode = 1;
    gated.holdTrigger(0, false);
    EXPECT_TRUE(gated.poll(at(0)).empty());
    EXPECT_TRUE(gated.poll(at(500)).empty());
    gated.holdTrigger(0, true);
    EXPECT_EQ(gated.poll(at(510)).size(), 1u);
    EXPECT_TRUE(gated.poll(at(520)).empty());
    EXPECT_EQ(gated.poll(at(610)).size(), 1u);

    Instrument edge;
    edge.parameters().transmissionMode = 2;
    edge.holdTrigger(0, true);
    EXPECT_EQ(edge.poll(at(0)).size(), 1u);
    EXPECT_TRUE(edge.poll(at(1000)).empty()) << "one report per rising edge";
    edge.holdTrigger(0, false);
    EXPECT_TRUE(edge.poll(at(1100)).empty());
    edge.holdTrigger(0, true);
    EXPECT_EQ(edge.poll(at(1200)).size(), 1u);
}

// Polled every millisecond with stalls in between, the instrument accounts for every send time: sent late (and
// caught up) or skipped when the stall was too long to catch up with.
TEST(InstrumentSchedule, EverySendTimeIsSentOrSkipped)
{
    Instrument ins;
    ins.parameters().sendInterval = 1;
    std::uint64_t sent = 0;
    int t = 0;
    auto runUntil = [&](int end) {
        // Like the driver: poll at once while reports are overdue, else at the next due time.
        while (t <= end) {
            sent += ins.poll(at(t)).size();
            t = std::max(t, static_cast<int>(ins.nextPollAt(at(t)).count()));
        }
    };
    runUntil(100);
    EXPECT_EQ(sent, 101u);
    EXPECT_EQ(ins.skippedReports(), 0u);

    t = 130; // a 30 ms stall is caught up with
    runUntil(200);
    EXPECT_EQ(ins.skippedReports(), 0u);
    EXPECT_EQ(sent, 201u);

    t = 300; // a 100 ms stall is not: 99 send times pass without a report
    runUntil(400);
    EXPECT_EQ(ins.skippedReports(), 99u);
    EXPECT_EQ(sent + ins.skippedReports(), 401u);

    ins.parameters().sendInterval = 10;
    t = 1000; // 600 ms after the last report at 400: 60 send times, one report now
    runUntil(1000);
    EXPECT_EQ(ins.skippedReports(), 99u + 59u);
}

TEST(InstrumentDriverTest, RepliesAndScheduledReportsReachTheSink)
{
    std::mutex m;
    std::condition_variable cv;
    std::vector<Report> got;
    std::vector<Origin> origins;
    InstrumentDriver driver([&](std::span<const std::uint8_t> r, Origin origin) {
        std::lock_guard lock(m);
        got.emplace_back(r.begin(), r.end());
        origins.push_back(origin);
        cv.notify_all();
        return Delivery::Queued;
    });
    driver.handleOutputReport(request(1, {6, 0}));
    ASSERT_EQ(got.size(), 1u) << "replies are delivered before handleOutputReport returns";
    EXPECT_EQ(dataOf(got[0], 4), (Bytes{1, 6, 0, 100}));

    driver.withInstrument([](Instrument &i) { i.parameters().sendInterval = 5; });
    driver.start();
    {
        std::unique_lock lock(m);
        ASSERT_TRUE(cv.wait_for(lock, std::chrono::seconds(10), [&] { return got.size() >= 4; }));
    }
    driver.stop();
    EXPECT_FALSE(driver.running());
    std::lock_guard lock(m);
    EXPECT_EQ(got.back()[1], 0) << "measurement report";
    EXPECT_EQ(origins.front(), Origin::Reply);
    EXPECT_EQ(origins.back(), Origin::Scheduled);
    EXPECT_EQ(driver.sentMeasurementReports(), got.size() - 1);
}
