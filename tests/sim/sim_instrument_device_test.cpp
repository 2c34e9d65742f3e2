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
