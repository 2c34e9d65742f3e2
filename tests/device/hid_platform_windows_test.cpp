#ifdef _WIN32

#include "device/hid_controller.h"
#include "device/hid_platform_windows.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <map>

using namespace std::chrono_literals;
using namespace torvex;

namespace {

void pumpMessages()
{
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}

TEST(WindowsPlatform, EnumeratesAndIdentifiesTheSystemsHidDevices)
{
    auto platform = createNativeHidPlatform();
    ASSERT_TRUE(platform->available());
    const auto list = platform->listInterfaces();
    std::map<uint32_t, std::pair<std::u16string, THidCaps>> byId; // vid << 16 | pid
    for (const THidPnPInfo &info : list) {
        EXPECT_FALSE(info.DevicePath.empty());
        EXPECT_FALSE(info.DeviceInstance.empty());
        auto handle = platform->open(info, HidAccess::ReadWrite);
        if (!handle)
            handle = platform->open(info, HidAccess::QueryOnly);
        ASSERT_NE(handle, nullptr) << info.DevicePath;
        const auto attributes = handle->attributes();
        ASSERT_TRUE(attributes.has_value());
        byId[uint32_t(attributes->VendorId) << 16 | attributes->ProductId] = {
            handle->productString().value_or(u"?"), handle->capabilities().value_or(THidCaps{})};
    }
    if (!runningUnderWine())
        GTEST_SKIP() << "the device expectations below hold for Wine's virtual devices";
    ASSERT_EQ(byId.count(0x845E0001u), 1u) << "Wine HID mouse";
    ASSERT_EQ(byId.count(0x845E0002u), 1u) << "Wine HID keyboard";
    EXPECT_EQ(byId[0x845E0001u].first, u"Wine HID mouse");
    EXPECT_EQ(byId[0x845E0002u].first, u"Wine HID keyboard");
    for (uint32_t id : {0x845E0001u, 0x845E0002u})
        EXPECT_GT(byId[id].second.InputReportLength, 1) << std::hex << id;
}

TEST(WindowsPlatform, NotificationWindowDeliversOnlyDeviceNodeChanges)
{
    auto platform = createNativeHidPlatform();
    std::vector<std::pair<uint32_t, intptr_t>> notices;
    platform->setDeviceChangeSink([&](uint32_t code, intptr_t param) { notices.emplace_back(code, param); });
    ASSERT_TRUE(platform->postNotice(7, -1)) << "needs a hidden top-level window (headless Wine: null driver)";
    ASSERT_TRUE(platform->postNotice(0x0018, 0)); // configuration changed: not a device-node change
    pumpMessages();
    ASSERT_EQ(notices.size(), 1u);
    EXPECT_EQ(notices[0], (std::pair<uint32_t, intptr_t>{7, -1}));
    platform->setDeviceChangeSink(nullptr);
}

TEST(WindowsPlatform, ControllerListsTheDevicesAfterTheStartupNotice)
{
    auto ui = std::make_shared<ManualUiDispatcher>();
    std::shared_ptr<HidPlatform> platform = createNativeHidPlatform();
    const size_t present = platform->listInterfaces().size();
    THidDeviceController controller(platform, ui);
    int changes = 0;
    controller.OnDeviceChange = [&] { ++changes; };
    pumpMessages(); // the window's start-up notice posts the refresh
    ui->drain();
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(static_cast<size_t>(controller.Count()), present);
    std::vector<std::u16string> names;
    controller.OnEnumerate = [&](THidDevice *dev, int) {
        names.push_back(dev->ProductName());
        return true;
    };
    EXPECT_EQ(static_cast<size_t>(controller.Enumerate()), present);
    if (runningUnderWine()) {
        EXPECT_NE(std::find(names.begin(), names.end(), u"Wine HID mouse"), names.end());
    }
}

TEST(WindowsPlatform, OverlappedReadWaitsIsInterruptedAndCancels)
{
    auto platform = createNativeHidPlatform();
    const auto list = platform->listInterfaces();
    if (list.empty())
        GTEST_SKIP() << "no HID device";
    uint32_t error = 0;
    std::unique_ptr<HidReader> reader;
    THidCaps caps{};
    for (const auto &info : list) {
        auto handle = platform->open(info, HidAccess::QueryOnly);
        if (handle)
            caps = handle->capabilities().value_or(THidCaps{});
        reader = platform->openReader(info, error);
        if (reader && caps.InputReportLength > 0)
            break;
        reader.reset();
    }
    if (!reader)
        GTEST_SKIP() << "no device can be opened for reading here";
    std::vector<uint8_t> buffer(caps.InputReportLength);
    ASSERT_EQ(reader->startRead(buffer.data(), buffer.size()).status, HidIoStatus::Ok);
    const auto first = reader->waitRead(20ms);
    if (first.status == HidIoStatus::Ok)
        GTEST_SKIP() << "the device is sending reports";
    EXPECT_EQ(first.status, HidIoStatus::Timeout);
    reader->interrupt();
    EXPECT_EQ(reader->waitRead(10s).status, HidIoStatus::Interrupted);
    reader->cancel(); // returns only once the cancelled read has completed
    reader.reset();
}

} // namespace

#endif
