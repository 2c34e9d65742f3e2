// The native Linux backend (libudev enumeration, sysfs, the udev monitor, the hidraw node) under the HID
// controller, against the emulated kernel.
#include "emulated_hid.h"

#include "device/hid_controller.h"
#include "device/hid_platform_linux.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <poll.h>

using namespace std::chrono_literals;
using namespace torvex;
using namespace torvex::emulated;

namespace {

// A vendor-defined device with report id 0x10 and 6 data bytes each way.
const std::vector<uint8_t> kVendorDescriptor{0x06, 0x00, 0xFF, 0x09, 0x01, 0xA1, 0x01, 0x85, 0x10,
                                             0x75, 0x08, 0x95, 0x06, 0x15, 0x00, 0x26, 0xFF, 0x00,
                                             0x09, 0x01, 0x81, 0x00, 0x09, 0x01, 0x91, 0x00, 0xC0};

class LinuxBackend : public ::testing::Test {
protected:
    // Refreshes as the start-up notice does and returns the listed devices.
    std::vector<THidDevice *> refresh(THidDeviceController &controller)
    {
        controller.DeviceChangeMessage(kDeviceNodesChanged, kStartupNoticeParam);
        std::vector<THidDevice *> devices;
        for (int i = 0; i < controller.Count(); ++i)
            devices.push_back(controller.Device(i));
        return devices;
    }

    // Serves the controller's UI queue until `done` or the deadline.
    bool serveUntil(const std::function<bool()> &done, std::chrono::milliseconds timeout = 5s)
    {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (!done()) {
            if (std::chrono::steady_clock::now() > deadline)
                return false;
            if (ui->waitForWork(10ms))
                ui->drain();
        }
        return true;
    }

    static bool readable(int fd, std::chrono::milliseconds timeout)
    {
        pollfd p{fd, POLLIN, 0};
        return poll(&p, 1, static_cast<int>(timeout.count())) == 1;
    }

    Testbed testbed;
    std::shared_ptr<ManualUiDispatcher> ui = std::make_shared<ManualUiDispatcher>();
};

struct IdentityCase {
    const char *name;
    EmulatedDeviceDescription description;
    std::u16string productName;
    uint16_t vendorId, productId, version;
    uint16_t inputLength, outputLength;
};

void PrintTo(const IdentityCase &c, std::ostream *os) { *os << c.name; }

EmulatedDeviceDescription withoutSysfsDescriptor(EmulatedDeviceDescription description)
{
    description.descriptorInSysfs = false;
    return description;
}

EmulatedDeviceDescription unnamedUsb()
{
    EmulatedDeviceDescription description;
    description.vendorId = 0x1234;
    description.productId = 0x00AB;
    description.version = 0x0200;
    description.reportDescriptor = kVendorDescriptor;
    return description;
}

EmulatedDeviceDescription bluetoothRemote()
{
    EmulatedDeviceDescription description;
    description.bus = HidBus::Bluetooth;
    description.product = "BT Remote";
    description.manufacturer = "Acme";
    description.vendorId = 0x046D;
    description.productId = 0xB01A;
    description.reportDescriptor = kVendorDescriptor;
    return description;
}

class BackendIdentity : public LinuxBackend, public ::testing::WithParamInterface<IdentityCase> {};

TEST_P(BackendIdentity, ListedWithProductStringIdsAndReportLengths)
{
    const IdentityCase &c = GetParam();
    EmulatedHidDevice device(testbed, c.description);
    device.plug();
    THidDeviceController controller(createLinuxHidPlatform(), ui);
    const std::vector<THidDevice *> devices = refresh(controller);
    ASSERT_EQ(devices.size(), 1u);
    THidDevice *claimed = controller.ClaimByIndex(0);
    ASSERT_NE(claimed, nullptr);
    EXPECT_EQ(claimed->PnPInfo().DevicePath, device.nodePath());
    EXPECT_EQ(claimed->PnPInfo().DeviceInstance, device.hidrawSyspath());
    EXPECT_EQ(claimed->ProductName(), c.productName);
    EXPECT_EQ(claimed->VendorId(), c.vendorId);
    EXPECT_EQ(claimed->ProductId(), c.productId);
    EXPECT_EQ(claimed->VersionNumber(), c.version);
    EXPECT_TRUE(claimed->ReadWriteAccess());
    const THidCaps caps = claimed->Caps();
    EXPECT_EQ(caps.InputReportLength, c.inputLength);
    EXPECT_EQ(caps.OutputReportLength, c.outputLength);
}

INSTANTIATE_TEST_SUITE_P(
    Emulated, BackendIdentity,
    ::testing::Values(IdentityCase{"Instrument", instrumentDescription(), u"TORVEX", 0xF07E, 0x0C01, 0x0101, 65, 65},
                      // The USB product string, not the HID name that puts the maker in front.
                      IdentityCase{"Keyboard", keyboardDescription(), u"USB Keyboard", 0x0F0F, 0x0102, 0x0110, 9, 2},
                      // No product string on the USB device: empty, so the window labels it by its ids.
                      IdentityCase{"UsbWithoutProductString", unnamedUsb(), u"", 0x1234, 0x00AB, 0x0200, 7, 7},
                      // No USB device above the node: the HID name stands in.
                      IdentityCase{"BluetoothHidName", bluetoothRemote(), u"Acme BT Remote", 0x046D, 0xB01A, 0, 7, 7},
                      IdentityCase{"DescriptorOnlyThroughIoctl", withoutSysfsDescriptor(instrumentDescription()),
                                   u"TORVEX", 0xF07E, 0x0C01, 0x0101, 65, 65}),
    [](const auto &param) { return std::string(param.param.name); });

struct EventSourceCase {
    const char *name;
    UdevEvents events;
    std::chrono::milliseconds rescan; // what the owner is asked to do beside the monitor
};

void PrintTo(const EventSourceCase &c, std::ostream *os) { *os << c.name; }

class BackendEvents : public LinuxBackend, public ::testing::WithParamInterface<EventSourceCase> {};

// The emulated kernel sends each uevent in the daemon's form to every monitor, whichever group it joined, so
// both of the backend's monitors can be run here.
TEST_P(BackendEvents, AddAndRemoveUeventsReachTheMonitor)
{
    auto platform = createLinuxHidPlatform(1h, GetParam().events);
    ASSERT_GE(platform->noticeFd(), 0) << "no monitor: hot-plug would wait for a rescan";
    EXPECT_EQ(platform->rescanInterval(), GetParam().rescan);
    std::vector<std::pair<uint32_t, intptr_t>> notices;
    platform->setDeviceChangeSink([&](uint32_t code, intptr_t param) { notices.emplace_back(code, param); });

    EmulatedHidDevice device(testbed, instrumentDescription());
    device.plug();
    ASSERT_TRUE(readable(platform->noticeFd(), 5s));
    platform->processNotices();
    EXPECT_EQ(notices, (std::vector<std::pair<uint32_t, intptr_t>>{{kDeviceNodesChanged, 0}}));
    EXPECT_FALSE(readable(platform->noticeFd(), 0ms)) << "the notice was taken";

    device.unplug();
    ASSERT_TRUE(readable(platform->noticeFd(), 5s));
    platform->processNotices();
    EXPECT_EQ(notices.size(), 2u);
    platform->setDeviceChangeSink(nullptr);
}

INSTANTIATE_TEST_SUITE_P(Emulated, BackendEvents,
                         ::testing::Values(EventSourceCase{"UdevDaemon", UdevEvents::Daemon, 0ms},
                                           // No daemon: the kernel's events, and a rescan in case none come.
                                           EventSourceCase{"KernelWithoutDaemon", UdevEvents::Kernel, 1h}),
                         [](const auto &param) { return std::string(param.param.name); });

TEST_F(LinuxBackend, ReportsArriveAndUnplugEndsAPendingReadCleanly)
{
    EmulatedHidDevice device(testbed, instrumentDescription());
    device.plug();
    THidDeviceController controller(createLinuxHidPlatform(1h), ui);
    ASSERT_EQ(refresh(controller).size(), 1u);
    const int threadsBefore = runningThreads();
    THidDevice *instrument = controller.ClaimByIndex(0);
    ASSERT_NE(instrument, nullptr);

    std::vector<std::vector<uint8_t>> received;
    int unplugs = 0;
    instrument->SetUnplugHandler([&](THidDevice *) { ++unplugs; });
    instrument->SetDataHandler([&](THidDevice *, uint8_t id, const uint8_t *data, uint16_t size) {
        std::vector<uint8_t> r{id};
        r.insert(r.end(), data, data + size);
        received.push_back(std::move(r));
    });
    ASSERT_TRUE(instrument->HasReadThread());

    std::vector<std::vector<uint8_t>> sent;
    for (uint8_t k = 1; k <= 3; ++k) {
        std::vector<uint8_t> r(65, k);
        r[0] = 1;
        sent.push_back(r);
        ASSERT_TRUE(device.pushInputReport(r));
    }
    ASSERT_TRUE(serveUntil([&] { return received.size() == 3; }));
    EXPECT_EQ(received, sent) << "report id first, then the 64 data bytes";

    // The read thread now waits in poll() on an empty node; the unplug must end that read.
    ASSERT_TRUE(serveUntil([&] { return device.deliveredInputReports() == 3; }));
    device.unplug();
    // The pending read ends with EIO; the thread then waits a slice before each new try.
    ASSERT_TRUE(serveUntil([&] { return instrument->ReadThread()->lastError() == EIO; }));
    const uint64_t readsBefore = device.readCalls();
    serveUntil([] { return false; }, 300ms);
    EXPECT_LE(device.readCalls() - readsBefore, 5u) << "a read thread that spins on a gone device";
    // The udev notice removes it; a claimed device stays listed, unplugged, until it is released.
    controller.DeviceChangeMessage(kDeviceNodesChanged, 0);
    EXPECT_FALSE(instrument->IsPluggedIn());
    EXPECT_FALSE(instrument->HasReadThread());
    EXPECT_EQ(unplugs, 1);
    EXPECT_EQ(received.size(), 3u);
    instrument->Release();
    EXPECT_EQ(controller.Count(), 0);
    EXPECT_TRUE(testbed.settle(5s)) << "the backend still holds the unplugged node open";
    EXPECT_EQ(runningThreads(), threadsBefore);
}

} // namespace
