#include "sim_instrument_device.h"

#include <gtest/gtest.h>

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

TEST(SimInstrumentDevice, FloodKeepsTheQueueFullWithoutDropping)
{
    SimHidPlatform platform;
    SimInstrumentDevice instrument(platform);
    instrument.setFlood(true);
    instrument.start();
    const size_t room = instrument.device()->description().inputBufferCount;
    for (int i = 0; i < 2000 && instrument.device()->pendingInputReports() < room; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    instrument.stop(); // must not hang on the full queue
    EXPECT_EQ(instrument.device()->pendingInputReports(), room);
    EXPECT_EQ(instrument.device()->droppedInputReports(), 0u);
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
