#include "record/recorder.h"

#include "record/record_queue.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <numeric>
#include <thread>
#include <vector>

namespace torvex {
namespace {

using namespace std::chrono_literals;

MeasurementRecord numbered(std::uint32_t n)
{
    MeasurementRecord r;
    r.line.measurementCount = n;
    return r;
}

std::vector<std::uint32_t> counts(const std::vector<MeasurementRecord> &records)
{
    std::vector<std::uint32_t> out;
    for (const MeasurementRecord &r : records)
        out.push_back(r.line.measurementCount);
    return out;
}

std::vector<std::uint32_t> range(std::uint32_t from, std::uint32_t to)
{
    std::vector<std::uint32_t> out(to - from);
    std::iota(out.begin(), out.end(), from);
    return out;
}

// A reader that keeps up never loses a record to one that lags; the one that lags loses the oldest, counted.
TEST(RecordQueue, TheBoundCostsOnlyTheReaderThatLags)
{
    RecordQueue queue(100);
    const int fast = queue.addReader();
    const int slow = queue.addReader();
    std::vector<MeasurementRecord> fastGot, slowGot;
    for (std::uint32_t n = 0; n < 250; ++n) {
        queue.push(numbered(n));
        queue.take(fast, fastGot, 10);
    }
    EXPECT_EQ(counts(fastGot), range(0, 250));
    EXPECT_EQ(queue.lost(fast), 0u);
    EXPECT_EQ(queue.waiting(slow), 100u);
    queue.take(slow, slowGot, 1000);
    EXPECT_EQ(counts(slowGot), range(150, 250));
    EXPECT_EQ(queue.lost(slow), 150u);
    EXPECT_EQ(queue.size(), 0u) << "kept only while a reader has not taken it";
}

// Stands in for an output: what it was given, and a gate that can hold its thread in take() as a pipe nobody
// reads would.
class FakeOutput : public RecordOutput {
public:
    void take(std::span<const MeasurementRecord> records) override
    {
        std::unique_lock lock(mutex);
        changed.wait(lock, [&] { return open || interrupted; });
        for (const MeasurementRecord &r : records)
            got.push_back(r);
    }
    void tick() override
    {
        std::lock_guard lock(mutex);
        ++ticks;
    }
    void finish(Clock::time_point) override
    {
        std::lock_guard lock(mutex);
        finished = true;
    }
    void interrupt() override
    {
        std::lock_guard lock(mutex);
        interrupted = interruptible;
        changed.notify_all();
    }
    void setOpen(bool on)
    {
        std::lock_guard lock(mutex);
        open = on;
        changed.notify_all();
    }

    std::mutex mutex;
    std::condition_variable changed;
    bool open = true;
    bool interruptible = true;
    bool interrupted = false;
    bool finished = false;
    int ticks = 0;
    std::vector<MeasurementRecord> got;
};

MeasurementState measurementNumber(std::uint32_t n)
{
    MeasurementState s;
    s.MeasurementCount = n;
    return s;
}

// The hand-over never waits for an output: a stalled one gets every record, in order, once it moves again.
TEST(Recorder, AStalledOutputHoldsUpNothingAndLosesNothing)
{
    Recorder recorder;
    auto output = std::make_shared<FakeOutput>();
    output->open = false;
    const int id = recorder.addOutput(output);
    const auto started = std::chrono::steady_clock::now();
    for (std::uint32_t n = 0; n < 20000; ++n)
        recorder.handOverMeasurement(measurementNumber(n));
    EXPECT_LT(std::chrono::steady_clock::now() - started, 5s) << "the hand-over waited for the output";
    EXPECT_GE(recorder.waiting(id), 20000u - 2048u) << "at most a batch or two taken while stalled";
    output->setOpen(true);
    ASSERT_TRUE(recorder.sync());
    EXPECT_EQ(counts(output->got), range(0, 20000));
    EXPECT_EQ(recorder.lost(id), 0u);
    EXPECT_TRUE(recorder.stopOutput(id, std::chrono::steady_clock::now() + 1s));
    EXPECT_TRUE(output->finished);
}

// Each record carries the settings of its moment and one reading of the clock, in local time and UTC.
TEST(Recorder, RecordsCarryTheSettingsAndClockOfTheirMoment)
{
    Recorder recorder;
    auto output = std::make_shared<FakeOutput>();
    recorder.addOutput(output);
    LogColumns onlyCounter = LogColumns::all(false);
    onlyCounter.count = true;
    recorder.setLineSettings(onlyCounter, 7, ',');
    // 2026-12-10 02:03:04.567 UTC
    const std::chrono::system_clock::time_point at{std::chrono::milliseconds(1796868184567)};
    recorder.record(measurementNumber(5), at);
    recorder.setLineSettings(LogColumns::all(true), 3, '.');
    recorder.record(measurementNumber(6), at);
    ASSERT_TRUE(recorder.sync());
    ASSERT_EQ(output->got.size(), 2u);
    const MeasurementRecord &first = output->got[0];
    EXPECT_EQ(first.line.measurementCount, 5u);
    EXPECT_FALSE(first.line.columns.date);
    EXPECT_EQ(first.line.moduloValue, 7);
    EXPECT_EQ(first.line.decimalSeparator, ',');
    EXPECT_EQ(first.utcMs, 1796868184567);
    EXPECT_EQ(first.local, LocalClock().at(at));
    EXPECT_TRUE(output->got[1].line.columns.date);
    EXPECT_EQ(output->got[1].line.moduloValue, 3);
}

// The end of a recording waits only so long for an output that does not move: it is interrupted, and one that
// does not even return then is left behind, so the program can end.
TEST(Recorder, StoppingAStuckOutputTakesNoLongerThanTheDeadlineAndItsGrace)
{
    for (const bool interruptible : {true, false}) {
        Recorder recorder;
        auto output = std::make_shared<FakeOutput>();
        output->open = false;
        output->interruptible = interruptible;
        const int id = recorder.addOutput(output);
        for (std::uint32_t n = 0; n < 300; ++n)
            recorder.handOverMeasurement(measurementNumber(n));
        recorder.tick();
        const auto started = std::chrono::steady_clock::now();
        EXPECT_EQ(recorder.stopOutput(id, started + 200ms), interruptible);
        const auto took = std::chrono::steady_clock::now() - started;
        EXPECT_GE(took, 200ms);
        EXPECT_LT(took, 3s);
        std::lock_guard lock(output->mutex);
        EXPECT_EQ(output->finished, interruptible);
        output->open = true; // the one left behind may end now
        output->changed.notify_all();
    }
}

} // namespace
} // namespace torvex
