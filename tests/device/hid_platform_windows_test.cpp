#ifdef _WIN32

#include "device/hid_controller.h"
#include "device/hid_platform_windows.h"

#include <gtest/gtest.h>

#include <windows.h>
// windows.h first: dbt.h needs its types.
#include <dbt.h>

#include <algorithm>
#include <map>
#include <string>
#include <thread>
#include <vector>

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

TEST(WindowsPlatform, HidInterfaceArrivalAndRemovalAreNoticesToo)
{
    auto platform = createNativeHidPlatform();
    std::vector<std::pair<uint32_t, intptr_t>> notices;
    platform->setDeviceChangeSink([&](uint32_t code, intptr_t param) { notices.emplace_back(code, param); });
    DEV_BROADCAST_DEVICEINTERFACE_W hid{};
    hid.dbcc_size = sizeof hid;
    hid.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
    DEV_BROADCAST_HDR volume{};
    volume.dbch_size = sizeof volume;
    volume.dbch_devicetype = DBT_DEVTYP_VOLUME;
    // These carry a pointer, so the system only sends them (a post is refused), to the notification window.
    HWND window = FindWindowA("TorvexHidNotification", nullptr);
    ASSERT_NE(window, nullptr);
    const auto param = [](const void *p) { return reinterpret_cast<LPARAM>(p); };
    SendMessageA(window, WM_DEVICECHANGE, DBT_DEVICEARRIVAL, param(&hid));
    SendMessageA(window, WM_DEVICECHANGE, DBT_DEVICEARRIVAL, param(&volume)); // not an interface: not ours
    SendMessageA(window, WM_DEVICECHANGE, DBT_DEVICEREMOVECOMPLETE, param(&hid));
    // Passed on as "nodes changed", without the pointer into the system's message.
    EXPECT_EQ(notices, (std::vector<std::pair<uint32_t, intptr_t>>{{7, 0}, {7, 0}}));
    platform->setDeviceChangeSink(nullptr);
}

// A pipe nobody reads from stands in for a device that takes no more output reports.
TEST(WindowsPlatform, WriteThatIsNotTakenInTimeIsCancelledAndFailsAsTimedOut)
{
    const std::wstring name = L"\\\\.\\pipe\\torvex-write-" + std::to_wstring(GetCurrentProcessId());
    HANDLE server = CreateNamedPipeW(name.c_str(), PIPE_ACCESS_OUTBOUND | FILE_FLAG_OVERLAPPED,
                                     PIPE_TYPE_BYTE | PIPE_WAIT, 1, 64, 64, 0, nullptr);
    ASSERT_NE(server, INVALID_HANDLE_VALUE);
    HANDLE client = CreateFileW(name.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(client, INVALID_HANDLE_VALUE);
    std::vector<uint8_t> report(1 << 20, 0x5A); // more than any pipe buffer takes
    {
        OverlappedWriter writer(server);
        const auto started = std::chrono::steady_clock::now();
        const HidIoResult result = writer.write(report.data(), report.size(), 200ms);
        const auto took = std::chrono::steady_clock::now() - started;
        EXPECT_EQ(result.status, HidIoStatus::Failed);
        EXPECT_EQ(result.error, kHidErrorTimeout);
        EXPECT_GE(took, 190ms);
        EXPECT_LT(took, 2s);

        // The cancelled write is over: what it left in the pipe drains, and the next write goes through.
        std::thread reader([&] {
            std::vector<uint8_t> buffer(65536);
            DWORD count = 0;
            while (ReadFile(client, buffer.data(), DWORD(buffer.size()), &count, nullptr) && count > 0) {}
        });
        const uint8_t small[8] = {1, 2, 3, 4, 5, 6, 7, 8};
        const HidIoResult second = writer.write(small, sizeof small, 5s);
        EXPECT_EQ(second.status, HidIoStatus::Ok);
        EXPECT_EQ(second.count, sizeof small);
        CloseHandle(server); // ends the reader
        server = INVALID_HANDLE_VALUE;
        reader.join();
    }
    CloseHandle(client);
}

TEST(WindowsPlatform, SystemErrorTextsAreWordsInUtf8WithoutTheFullStop)
{
    const std::string busy = systemErrorText(ERROR_SHARING_VIOLATION);
    EXPECT_FALSE(busy.empty());
    EXPECT_EQ(busy.find("system error"), std::string::npos) << busy;
    EXPECT_NE(busy.back(), '.');
    EXPECT_NE(busy.back(), '\n');
    EXPECT_EQ(systemErrorText(0x2FFFFFFF), "system error 805306367");
}

TEST(WindowsPlatform, ControllerListsTheDevicesAfterTheStartupNotice)
{
    auto ui = std::make_shared<ManualUiDispatcher>();
    std::shared_ptr<HidPlatform> platform = createNativeHidPlatform();
    const size_t present = platform->listInterfaces().size();
    THidDeviceController controller(platform, ui);
    int changes = 0;
    controller.OnDeviceChange = [&] { ++changes; };
    pumpMessages(); // the window's start-up notice asks for the scan, which runs on a thread of its own
    ui->drain();
    for (int i = 0; i < 100 && changes == 0; ++i) {
        ui->waitForWork(100ms);
        ui->drain();
    }
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
