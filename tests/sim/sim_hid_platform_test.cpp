#include "sim_hid_platform.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

using namespace std::chrono_literals;
using torvex::HidAccess;
using torvex::HidIoStatus;
using torvex::sim::SimDeviceDescription;
using torvex::sim::SimHidPlatform;

namespace {

SimDeviceDescription description65()
{
    SimDeviceDescription description;
    description.productName = u"TORVEX";
    description.vendorId = 0x1234;
    description.productId = 0x00AB;
    description.caps = torvex::THidCaps{65, 65, 0};
    return description;
}

} // namespace

TEST(SimHidPlatform, PlugAndUnplugRaiseNoticesAndChangeTheList)
{
    SimHidPlatform platform;
    std::vector<std::pair<uint32_t, intptr_t>> notices;
    platform.setDeviceChangeSink([&](uint32_t code, intptr_t param) { notices.emplace_back(code, param); });

    auto a = platform.plug(description65());
    auto b = platform.plug(description65());
    ASSERT_EQ(platform.listInterfaces().size(), 2u);
    EXPECT_NE(a->pnpInfo().DeviceInstance, b->pnpInfo().DeviceInstance);

    platform.unplug(a);
    const auto list = platform.listInterfaces();
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0].DeviceInstance, b->pnpInfo().DeviceInstance);
    EXPECT_EQ(notices.size(), 3u);
    EXPECT_EQ(notices[0].first, 7u);
    EXPECT_EQ(platform.open(a->pnpInfo(), HidAccess::QueryOnly), nullptr);
}

TEST(SimHidPlatform, WritesReachTheModelAndPushedReportsAreReadInOrder)
{
    SimHidPlatform platform;
    auto device = platform.plug(description65());
    // The model answers every output report with one input report carrying its command byte.
    device->setOutputHandler([&](std::span<const uint8_t> report) {
        std::vector<uint8_t> reply(65, 0);
        reply[0] = 1;
        reply[1] = report[1];
        device->pushInputReport(reply);
    });

    auto handle = platform.open(device->pnpInfo(), HidAccess::ReadWrite);
    ASSERT_NE(handle, nullptr);
    std::vector<uint8_t> out(65, 0);
    out[0] = 1;
    for (uint8_t command : {7, 8}) {
        out[1] = command;
        EXPECT_EQ(handle->write(out.data(), out.size()).status, HidIoStatus::Ok);
    }
    // A write of the wrong length fails as it does on Windows and reaches nobody.
    EXPECT_EQ(handle->write(out.data(), 64).status, HidIoStatus::Failed);
    EXPECT_EQ(device->writtenReports().size(), 2u);

    uint32_t error = 0;
    auto reader = platform.openReader(device->pnpInfo(), error);
    ASSERT_NE(reader, nullptr);
    uint8_t buffer[65] = {};
    for (uint8_t expected : {7, 8}) {
        ASSERT_EQ(reader->startRead(buffer, sizeof buffer).status, HidIoStatus::Ok);
        const auto result = reader->waitRead(1s);
        ASSERT_EQ(result.status, HidIoStatus::Ok);
        EXPECT_EQ(result.count, 65u);
        EXPECT_EQ(buffer[1], expected);
    }
    ASSERT_EQ(reader->startRead(buffer, sizeof buffer).status, HidIoStatus::Ok);
    EXPECT_EQ(reader->waitRead(10ms).status, HidIoStatus::Timeout);
    EXPECT_EQ(device->readsPending(), 1u);
}

TEST(SimHidPlatform, PendingReadEndsOnInterruptAndOnUnplug)
{
    SimHidPlatform platform;
    auto device = platform.plug(description65());
    uint32_t error = 0;
    auto reader = platform.openReader(device->pnpInfo(), error);
    uint8_t buffer[65];
    ASSERT_EQ(reader->startRead(buffer, sizeof buffer).status, HidIoStatus::Ok);

    std::thread other([&] { reader->interrupt(); });
    EXPECT_EQ(reader->waitRead(10s).status, HidIoStatus::Interrupted);
    other.join();

    std::thread unplugger([&] { platform.unplug(device); });
    const auto result = reader->waitRead(10s);
    unplugger.join();
    EXPECT_EQ(result.status, HidIoStatus::Gone);
    EXPECT_EQ(result.error, torvex::kHidErrorDeviceNotConnected);
    EXPECT_EQ(device->readsPending(), 0u);
    EXPECT_FALSE(device->pushInputReport(std::vector<uint8_t>(65, 0)));
}

TEST(SimHidPlatform, FullInputBufferDropsTheOldestReport)
{
    SimHidPlatform platform;
    auto description = description65();
    description.inputBufferCount = 2;
    auto device = platform.plug(description);
    for (uint8_t n = 1; n <= 3; ++n)
        device->pushInputReport(std::vector<uint8_t>{1, n});
    EXPECT_EQ(device->pendingInputReports(), 2u);
    EXPECT_EQ(device->droppedInputReports(), 1u);

    uint32_t error = 0;
    auto reader = platform.openReader(device->pnpInfo(), error);
    uint8_t buffer[65];
    reader->startRead(buffer, sizeof buffer);
    const auto result = reader->waitRead(1s);
    EXPECT_EQ(result.count, 2u);
    EXPECT_EQ(buffer[1], 2);
}
