#include "sim_instrument_device.h"

#include <gtest/gtest.h>

#include <future>
#include <thread>

using namespace torvex;
using namespace torvex::sim;

TEST(SimInstrumentDevice, ListedAsTheInstrumentAndAnswersWritesThroughTheDevice)
{
    SimHidPlatform platform;
    SimInstrumentDevice instrument(platform);
    const auto interfaces = platform.listInterfaces();
    ASSERT_EQ(interfaces.size(), 1u);
    auto handle = platform.open(interfaces[0], HidAccess::ReadWrite);
    ASSERT_TRUE(handle);
    EXPECT_EQ(handle->productString(), std::u16string(u"TORVEX"));
    const auto caps = handle->capabilities();
    ASSERT_TRUE(caps);
    EXPECT_EQ(caps->InputReportLength, 65);
    EXPECT_EQ(caps->OutputReportLength, 65);

    std::vector<uint8_t> request(65, 0);
    request[0] = 1;
    request[1] = 1;
    request[2] = 6;
    EXPECT_EQ(handle->write(request.data(), request.size()).status, HidIoStatus::Ok);
    EXPECT_EQ(instrument.device()->pendingInputReports(), 1u) << "the reply is queued before the write returns";
}

// Starts a flood and waits (up to 10 s) until the device's input queue is full; returns the queue's room.
static size_t floodUntilFull(SimInstrumentDevice &instrument)
{
    instrument.setFlood(true);
    instrument.start();
    const size_t room = instrument.device()->description().inputBufferCount;
    for (int i = 0; i < 2000 && instrument.device()->pendingInputReports() < room; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    return room;
}

TEST(SimInstrumentDevice, FloodKeepsTheQueueFullWithoutDropping)
{
    SimHidPlatform platform;
    SimInstrumentDevice instrument(platform);
    const size_t room = floodUntilFull(instrument);
    instrument.stop(); // must not hang on the full queue
    EXPECT_EQ(instrument.device()->pendingInputReports(), room);
    EXPECT_EQ(instrument.device()->droppedInputReports(), 0u);
}

// A host that reads on one thread and writes on another may have its reader wait for the writer (the read thread
// hands its report to the UI thread, which is writing): a write whose reply waited for room in a full queue would
// then never return.
TEST(SimInstrumentDevice, WriteIntoAFullQueueOfAFloodReturnsWithItsReplyQueued)
{
    SimHidPlatform platform;
    SimInstrumentDevice instrument(platform);
    const size_t room = floodUntilFull(instrument);
    ASSERT_EQ(instrument.device()->pendingInputReports(), room);

    auto handle = platform.open(platform.listInterfaces().at(0), HidAccess::ReadWrite);
    ASSERT_TRUE(handle);
    std::vector<uint8_t> request(65, 0);
    request[0] = 1;
    request[1] = 1; // read request
    request[2] = 6; // send interval
    auto write = std::async(std::launch::async, [&] { return handle->write(request.data(), request.size()).status; });
    const bool returned = write.wait_for(std::chrono::seconds(10)) == std::future_status::ready;
    instrument.stop(); // releases a write stuck waiting for room, so that a failure ends
    ASSERT_TRUE(returned) << "the write waited for room that only its own host could make";
    EXPECT_EQ(write.get(), HidIoStatus::Ok);

    uint32_t error = 0;
    auto reader = platform.openReader(platform.listInterfaces().at(0), error);
    ASSERT_TRUE(reader);
    std::vector<uint8_t> report(65);
    bool replyQueued = false;
    while (reader->startRead(report.data(), report.size()).status == HidIoStatus::Ok
           && reader->waitRead(std::chrono::milliseconds(0)).status == HidIoStatus::Ok)
        replyQueued = replyQueued || (report[1] == 1 && report[2] == 6);
    EXPECT_TRUE(replyQueued);
}

// Nobody reads: the queue fills with the first reports, and every later one is counted as dropped by the
// instrument rather than pushing an older one out unseen.
TEST(SimInstrumentDevice, FullQueueDropsAreCountedByTheInstrument)
{
    SimHidPlatform platform;
    SimInstrumentDevice instrument(platform);
    instrument.driver().withInstrument([](Instrument &i) { i.parameters().sendInterval = 1; });
    instrument.start();
    const size_t room = instrument.device()->description().inputBufferCount;
    for (int i = 0; i < 2000 && instrument.driver().measurementCounts().produced < room + 20; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    instrument.unplug();
    for (int i = 0; i < 2000 && instrument.driver().measurementCounts().lost < 3; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    instrument.stop();

    const MeasurementReportCounts counts = instrument.driver().measurementCounts();
    EXPECT_EQ(counts.queued, room);
    EXPECT_GE(counts.dropped, 20u);
    EXPECT_GE(counts.lost, 3u);
    EXPECT_EQ(counts.produced, counts.queued + counts.dropped + counts.lost);
    EXPECT_EQ(instrument.device()->droppedInputReports(), 0u);
}
