#ifdef __linux__

#include "device/hid_platform_linux.h"

#include <gtest/gtest.h>

#include <ostream>

#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace std::chrono_literals;
using namespace torvex;

namespace {

// A SEQPACKET socket pair keeps message boundaries like a hidraw node: one report per read.
struct FakeNode {
    FakeNode()
    {
        int fds[2];
        EXPECT_EQ(socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, fds), 0);
        node = fds[0];
        peer = fds[1];
    }
    ~FakeNode()
    {
        if (peer >= 0)
            close(peer);
    }
    void send(std::vector<uint8_t> report) const
    {
        ASSERT_EQ(write(peer, report.data(), report.size()), ssize_t(report.size()));
    }
    void hangUp()
    {
        close(peer);
        peer = -1;
    }
    int node = -1;
    int peer = -1;
};

struct ReadCase {
    const char *name;
    bool numbered;
    std::vector<uint8_t> sent;
    size_t bufferSize;
    std::vector<uint8_t> expected; // what the layer above sees: byte 0 = report id
};

// Names only: the default would print the bytes of the whole case.
void PrintTo(const ReadCase &c, std::ostream *os) { *os << c.name; }

class FdReaderRead : public ::testing::TestWithParam<ReadCase> {};

TEST_P(FdReaderRead, ByteZeroIsAlwaysTheReportId)
{
    const ReadCase &c = GetParam();
    FakeNode node;
    auto reader = createFdHidReader(node.node, c.numbered);
    node.send(c.sent);
    std::vector<uint8_t> buffer(c.bufferSize, 0xEE);
    ASSERT_EQ(reader->startRead(buffer.data(), buffer.size()).status, HidIoStatus::Ok);
    const HidIoResult result = reader->waitRead(1s);
    ASSERT_EQ(result.status, HidIoStatus::Ok);
    ASSERT_EQ(result.count, c.expected.size());
    EXPECT_EQ(std::vector<uint8_t>(buffer.begin(), buffer.begin() + long(result.count)), c.expected);
}

INSTANTIATE_TEST_SUITE_P(LinuxReadLoop, FdReaderRead,
                         ::testing::Values(ReadCase{"numbered", true, {1, 10, 20, 30}, 65, {1, 10, 20, 30}},
                                           ReadCase{"unnumberedGetsZeroId", false, {10, 20, 30}, 65, {0, 10, 20, 30}},
                                           // A report longer than the buffer is cut to it, never written past it.
                                           ReadCase{"numberedTooLong", true, {1, 2, 3, 4, 5}, 3, {1, 2, 3}},
                                           ReadCase{"unnumberedTooLong", false, {7, 8, 9, 10}, 3, {0, 7, 8}}),
                         [](const auto &param) { return std::string(param.param.name); });

TEST(LinuxReadLoop, ReportsComeOneAtATimeThenTheClosedPeerMeansGone)
{
    FakeNode node;
    auto reader = createFdHidReader(node.node, true);
    node.send({1, 1});
    node.send({1, 2, 2});
    node.hangUp(); // queued reports are still read first, as after an unplug
    uint8_t buffer[65];
    for (size_t expected : {2u, 3u}) {
        ASSERT_EQ(reader->startRead(buffer, sizeof buffer).status, HidIoStatus::Ok);
        const HidIoResult r = reader->waitRead(1s);
        ASSERT_EQ(r.status, HidIoStatus::Ok);
        EXPECT_EQ(r.count, expected);
    }
    ASSERT_EQ(reader->startRead(buffer, sizeof buffer).status, HidIoStatus::Ok);
    EXPECT_EQ(reader->waitRead(1s).status, HidIoStatus::Gone);
}

TEST(LinuxReadLoop, PendingReadTimesOutIsInterruptedFromAnotherThreadAndCancels)
{
    FakeNode node;
    auto reader = createFdHidReader(node.node, true);
    uint8_t buffer[65];
    ASSERT_EQ(reader->startRead(buffer, sizeof buffer).status, HidIoStatus::Ok);
    EXPECT_EQ(reader->waitRead(10ms).status, HidIoStatus::Timeout);
    EXPECT_EQ(reader->startRead(buffer, sizeof buffer).status, HidIoStatus::Failed) << "one read at a time";

    std::thread stopper([&] {
        std::this_thread::sleep_for(20ms);
        reader->interrupt();
    });
    const auto begin = std::chrono::steady_clock::now();
    EXPECT_EQ(reader->waitRead(10s).status, HidIoStatus::Interrupted);
    EXPECT_LT(std::chrono::steady_clock::now() - begin, 5s);
    stopper.join();

    // An interrupt given before the wait is not lost.
    reader->interrupt();
    EXPECT_EQ(reader->waitRead(10s).status, HidIoStatus::Interrupted);

    reader->cancel();
    node.send({1, 5});
    ASSERT_EQ(reader->startRead(buffer, sizeof buffer).status, HidIoStatus::Ok);
    EXPECT_EQ(reader->waitRead(1s).count, 2u) << "a cancelled read leaves the report for the next one";
}

TEST(LinuxPlatform, EnumerationWithoutHidDevicesIsEmptyNotAnError)
{
    auto platform = createNativeHidPlatform();
    ASSERT_TRUE(platform->available());
    for (const THidPnPInfo &info : platform->listInterfaces()) {
        EXPECT_EQ(info.DevicePath.rfind("/dev/", 0), 0u);
        EXPECT_FALSE(info.DeviceInstance.empty());
    }
    // Without a udev daemon the kernel's notices may not reach us (containers): the backend asks for a
    // periodic rescan as well.
    if (access("/run/udev/control", F_OK) != 0 || platform->noticeFd() < 0) {
        EXPECT_EQ(platform->rescanInterval(), std::chrono::milliseconds(2000));
    }
    EXPECT_EQ(platform->open({"/dev/hidraw-none", "/sys/nonexistent"}, HidAccess::QueryOnly), nullptr);
    uint32_t error = 0;
    EXPECT_EQ(platform->openReader({"/dev/hidraw-none", "/sys/nonexistent"}, error), nullptr);
    EXPECT_NE(error, 0u);
}

} // namespace

#endif
