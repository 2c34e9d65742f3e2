// The emulated hidraw node itself: the backend tests trust it to behave like the kernel's, so that is checked
// here with plain system calls.
#include "emulated_hid.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <fcntl.h>
#include <linux/hidraw.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

using namespace torvex::emulated;

namespace {

class EmulatedHidraw : public ::testing::Test {
protected:
    // The descriptor of the instrument, byte for byte as the device sends it.
    const std::vector<uint8_t> descriptor{0x06, 0x00, 0xFF, 0x09, 0x01, 0xA1, 0x01, 0x85, 0x01,
                                          0x15, 0x00, 0x26, 0xFF, 0x00, 0x75, 0x08, 0x95, 0x40,
                                          0x09, 0x01, 0x81, 0x02, 0x09, 0x01, 0x91, 0x02, 0xC0};

    int openNode(const EmulatedHidDevice &device, int flags = O_RDWR | O_NONBLOCK)
    {
        const int fd = ::open(device.nodePath().c_str(), flags | O_CLOEXEC);
        if (fd >= 0)
            fds_.push_back(fd);
        return fd;
    }

    static bool readable(int fd, int timeoutMs = 0)
    {
        pollfd p{fd, POLLIN, 0};
        return poll(&p, 1, timeoutMs) == 1;
    }

    static std::vector<uint8_t> report(uint8_t id, uint8_t first, size_t size = 65)
    {
        std::vector<uint8_t> r(size, 0);
        r[0] = id;
        for (size_t i = 1; i < size; ++i)
            r[i] = static_cast<uint8_t>(first + i);
        return r;
    }

    void TearDown() override
    {
        for (const int fd : fds_)
            ::close(fd);
    }

    Testbed testbed;
    std::vector<int> fds_;
};

TEST_F(EmulatedHidraw, IoctlsAnswerFromTheDeviceAsTheKernelDoes)
{
    EmulatedHidDevice device(testbed, instrumentDescription());
    device.plug();
    ASSERT_EQ(device.nodePath(), "/dev/hidraw0");
    const int fd = openNode(device);
    ASSERT_GE(fd, 0);
    // A terminal would become the controlling terminal of a session leader that opens it (Wine's device
    // host does), which the hang-up on unplug then kills.
    EXPECT_FALSE(isatty(fd));

    hidraw_devinfo info{};
    ASSERT_EQ(ioctl(fd, HIDIOCGRAWINFO, &info), 0);
    EXPECT_EQ(info.bustype, 3u);
    EXPECT_EQ(static_cast<uint16_t>(info.vendor), 0xF07E);
    EXPECT_EQ(static_cast<uint16_t>(info.product), 0x0C01);

    int size = 0;
    ASSERT_EQ(ioctl(fd, HIDIOCGRDESCSIZE, &size), 0);
    EXPECT_EQ(size, static_cast<int>(descriptor.size()));
    hidraw_report_descriptor desc{};
    desc.size = static_cast<uint32_t>(size);
    ASSERT_EQ(ioctl(fd, HIDIOCGRDESC, &desc), 0);
    EXPECT_EQ(std::vector<uint8_t>(desc.value, desc.value + size), descriptor);
    desc.size = HID_MAX_DESCRIPTOR_SIZE;
    EXPECT_EQ(ioctl(fd, HIDIOCGRDESC, &desc), -1);
    EXPECT_EQ(errno, EINVAL);

    char name[16] = {};
    EXPECT_EQ(ioctl(fd, HIDIOCGRAWNAME(sizeof name), name), 7);
    EXPECT_STREQ(name, "TORVEX");
    char cut[4] = {'x', 'x', 'x', 'x'};
    EXPECT_EQ(ioctl(fd, HIDIOCGRAWNAME(sizeof cut), cut), 4) << "a short buffer gets no terminator";
    EXPECT_EQ(std::string(cut, 4), "TORV");

    EXPECT_EQ(ioctl(fd, HIDIOCGFEATURE(8), name), -1);
    EXPECT_EQ(errno, ENOTTY);
}

TEST_F(EmulatedHidraw, EachReadTakesOneReportAndPollFollowsTheQueue)
{
    EmulatedHidDevice device(testbed, instrumentDescription());
    device.plug();
    const int fd = openNode(device);
    ASSERT_GE(fd, 0);
    EXPECT_FALSE(readable(fd));
    uint8_t buffer[200];
    EXPECT_EQ(read(fd, buffer, sizeof buffer), -1);
    EXPECT_EQ(errno, EAGAIN);

    for (uint8_t k = 0; k < 3; ++k)
        ASSERT_TRUE(device.pushInputReport(report(1, 10 * k)));
    ASSERT_TRUE(readable(fd, 1000));
    ASSERT_EQ(read(fd, buffer, sizeof buffer), 65) << "one report, although the buffer holds three";
    EXPECT_EQ(std::vector<uint8_t>(buffer, buffer + 65), report(1, 0));
    ASSERT_EQ(read(fd, buffer, 10), 10) << "a short buffer gets the beginning";
    const std::vector<uint8_t> second = report(1, 10);
    EXPECT_EQ(std::vector<uint8_t>(buffer, buffer + 10), std::vector<uint8_t>(second.begin(), second.begin() + 10));
    ASSERT_EQ(read(fd, buffer, sizeof buffer), 65) << "and the rest of that report is gone";
    EXPECT_EQ(buffer[1], 21);
    EXPECT_FALSE(readable(fd));
    EXPECT_EQ(device.deliveredInputReports(), 3u);

    for (int k = 0; k < 70; ++k)
        device.pushInputReport(report(1, 0));
    EXPECT_EQ(device.queuedInputReports(), 64u) << "the kernel keeps 64 reports per reader";
}

TEST_F(EmulatedHidraw, ReportsOfUnnumberedDevicesComeWithoutIdByte)
{
    EmulatedHidDevice keyboard(testbed, keyboardDescription());
    keyboard.plug();
    const int fd = openNode(keyboard);
    ASSERT_GE(fd, 0);
    ASSERT_TRUE(keyboard.pushInputReport(std::vector<uint8_t>{0, 2, 0, 4, 0, 0, 0, 0, 0}));
    ASSERT_TRUE(readable(fd, 1000));
    uint8_t buffer[64];
    ASSERT_EQ(read(fd, buffer, sizeof buffer), 8);
    EXPECT_EQ(std::vector<uint8_t>(buffer, buffer + 8), (std::vector<uint8_t>{2, 0, 4, 0, 0, 0, 0, 0}));
}

TEST_F(EmulatedHidraw, WritesArriveWholeAndTooShortOnesAreRefused)
{
    EmulatedHidDevice device(testbed, instrumentDescription());
    device.plug();
    std::vector<std::vector<uint8_t>> handled;
    device.setOutputHandler([&](std::span<const uint8_t> r) { handled.emplace_back(r.begin(), r.end()); });
    const int fd = openNode(device, O_RDWR);
    ASSERT_GE(fd, 0);
    const std::vector<uint8_t> first = report(1, 1);
    const std::vector<uint8_t> second{1, 2, 3};
    ASSERT_EQ(write(fd, first.data(), first.size()), 65);
    ASSERT_EQ(write(fd, second.data(), second.size()), 3);
    EXPECT_EQ(write(fd, second.data(), 1), -1);
    EXPECT_EQ(errno, EINVAL);
    EXPECT_EQ(device.writtenReports(), (std::vector<std::vector<uint8_t>>{first, second}));
    EXPECT_EQ(handled, device.writtenReports());
}

TEST_F(EmulatedHidraw, UnplugGivesQueuedReportsThenEioAndTheNodeGoes)
{
    EmulatedHidDevice device(testbed, instrumentDescription());
    device.plug();
    const std::string node = device.nodePath();
    const int fd = openNode(device);
    ASSERT_GE(fd, 0);
    ASSERT_TRUE(device.pushInputReport(report(1, 1)));
    device.unplug();
    EXPECT_FALSE(device.pushInputReport(report(1, 2)));

    EXPECT_TRUE(readable(fd, 1000));
    uint8_t buffer[65];
    EXPECT_EQ(read(fd, buffer, sizeof buffer), 65);
    EXPECT_EQ(read(fd, buffer, sizeof buffer), -1);
    EXPECT_EQ(errno, EIO);
    EXPECT_EQ(write(fd, buffer, sizeof buffer), -1);
    EXPECT_EQ(errno, ENODEV);
    hidraw_devinfo info{};
    EXPECT_EQ(ioctl(fd, HIDIOCGRAWINFO, &info), -1);
    EXPECT_EQ(errno, ENODEV);
    EXPECT_EQ(::open(node.c_str(), O_RDWR), -1);
    EXPECT_EQ(errno, ENOENT);

    EXPECT_FALSE(testbed.settle(std::chrono::milliseconds(20))) << "the node stays while it is open";
    ::close(fd);
    fds_.clear();
    EXPECT_TRUE(testbed.settle(std::chrono::seconds(5)));
    device.plug();
    EXPECT_EQ(device.nodePath(), node) << "a freed node number is given out again";
}

TEST_F(EmulatedHidraw, DeniedNodeRefusesAPlainUserWithEacces)
{
    EmulatedHidDevice device(testbed, instrumentDescription());
    device.setOpenDenied(true);
    device.plug();
    {
        RootFileOverrideOff plainUser;
        EXPECT_EQ(openNode(device), -1);
        EXPECT_EQ(errno, EACCES);
        device.setOpenDenied(false);
        EXPECT_GE(openNode(device), 0);
    }
}

} // namespace
