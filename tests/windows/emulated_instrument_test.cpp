// The real window on the native Windows platform and HID backend, against the emulated TORVEX: inside the
// emulated kernel of tests/umockdev, Wine's HID bus turns its hidraw node into a Windows HID device. Runs only
// there (scripts/windows-check starts it so); the emulator, a Linux process, is driven through its control
// connection ($TORVEX_EMULATOR), and its own counts are the reference.

// winsock2.h before windows.h, which the others include.
#include <winsock2.h>
#include <ws2tcpip.h>

#include "log_file_lines.h"
#include "process_counts.h"
#include "window_fixture.h"

#include "device/hid_platform.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QListWidget>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

using namespace std::chrono_literals;
using ::testing::IsSupersetOf;

namespace {

const QString kConnected = QStringLiteral("Połączony");
// Handles a process may gain once over many re-plugs without leaking (see the re-plug tests).
constexpr long kOnceMade = 3;
const QString kDisconnected = QStringLiteral("Rozłączony");

// One control connection to the emulator: a command per line, an answer per line.
class Emulator {
public:
    bool connect()
    {
        const char *address = std::getenv("TORVEX_EMULATOR");
        if (address == nullptr)
            return false;
        const std::string text = address;
        const size_t colon = text.rfind(':');
        WSADATA data;
        if (WSAStartup(MAKEWORD(2, 2), &data) != 0)
            return false;
        started_ = true;
        socket_ = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        sockaddr_in peer{};
        peer.sin_family = AF_INET;
        peer.sin_port = htons(static_cast<u_short>(std::stoi(text.substr(colon + 1))));
        return socket_ != INVALID_SOCKET && inet_pton(AF_INET, text.substr(0, colon).c_str(), &peer.sin_addr) == 1
            && ::connect(socket_, reinterpret_cast<sockaddr *>(&peer), sizeof peer) == 0;
    }

    ~Emulator()
    {
        if (socket_ != INVALID_SOCKET)
            closesocket(socket_);
        if (started_)
            WSACleanup();
    }

    // The answer without its "ok "; a failed or refused command fails the test.
    std::string ask(const std::string &command)
    {
        const std::string line = command + "\n";
        if (send(socket_, line.data(), static_cast<int>(line.size()), 0) != static_cast<int>(line.size())) {
            ADD_FAILURE() << "emulator gone (" << command << ")";
            return {};
        }
        size_t end;
        while ((end = received_.find('\n')) == std::string::npos) {
            char buffer[4096];
            const int count = recv(socket_, buffer, sizeof buffer, 0);
            if (count <= 0) {
                ADD_FAILURE() << "emulator gone (" << command << ")";
                return {};
            }
            received_.append(buffer, static_cast<size_t>(count));
        }
        const std::string answer = received_.substr(0, end);
        received_.erase(0, end + 1);
        if (answer.rfind("ok", 0) != 0)
            ADD_FAILURE() << command << ": " << answer;
        return answer.size() > 3 ? answer.substr(3) : std::string();
    }

    // A count from "state", e.g. state("queued").
    uint64_t state(const std::string &name)
    {
        std::istringstream words(ask("state"));
        for (std::string word; words >> word;) {
            if (word.rfind(name + "=", 0) == 0)
                return std::stoull(word.substr(name.size() + 1));
        }
        ADD_FAILURE() << "no " << name << " in the emulator's state";
        return 0;
    }

    std::vector<std::string> writes(size_t first)
    {
        std::istringstream words(ask("writes " + std::to_string(first)));
        std::vector<std::string> reports;
        for (std::string word; words >> word;)
            reports.push_back(word);
        return reports;
    }

private:
    bool started_ = false;
    SOCKET socket_ = INVALID_SOCKET;
    std::string received_;
};

std::string hex(const uint8_t *bytes, size_t count)
{
    static const char digits[] = "0123456789ABCDEF";
    std::string text;
    for (size_t i = 0; i < count; ++i) {
        text += digits[bytes[i] >> 4];
        text += digits[bytes[i] & 15];
    }
    return text;
}

// An output report as the instrument receives it: the given bytes, zeros up to 65.
std::string outputReport(std::vector<uint8_t> head)
{
    head.resize(65, 0);
    return hex(head.data(), head.size());
}

// The native backend, watched: it counts the device-change notices the system sends (each one makes the
// window release its devices and claim them again) and the read handles opened. A report that comes before the
// window's read thread has its read handle is kept for nobody, by Windows and by Wine alike, so a test that
// writes or counts waits for that handle first.
class WatchedPlatform : public torvex::HidPlatform {
public:
    explicit WatchedPlatform(std::unique_ptr<torvex::HidPlatform> platform) : platform_(std::move(platform)) {}
    bool available() const override { return platform_->available(); }
    std::vector<torvex::THidPnPInfo> listInterfaces() override { return platform_->listInterfaces(); }
    std::unique_ptr<torvex::HidHandle> open(const torvex::THidPnPInfo &info, torvex::HidAccess access) override
    {
        return platform_->open(info, access);
    }
    std::unique_ptr<torvex::HidReader> openReader(const torvex::THidPnPInfo &info, uint32_t &error) override
    {
        auto reader = platform_->openReader(info, error);
        readers += reader != nullptr;
        return reader;
    }
    void setDeviceChangeSink(torvex::HidDeviceChangeSink sink) override
    {
        if (!sink) {
            platform_->setDeviceChangeSink(nullptr);
            return;
        }
        platform_->setDeviceChangeSink([this, sink](uint32_t code, intptr_t param) {
            ++notices;
            sink(code, param);
        });
    }
    bool postNotice(uint32_t eventCode, intptr_t param) override { return platform_->postNotice(eventCode, param); }

    std::atomic<int> notices{0};
    std::atomic<int> readers{0};

private:
    std::unique_ptr<torvex::HidPlatform> platform_;
};

class EmulatedInstrumentWindow : public WindowFixture {
protected:
    void SetUp() override
    {
        if (!emulator.connect())
            GTEST_SKIP() << "not inside the emulated kernel (no $TORVEX_EMULATOR)";
        WindowFixture::SetUp();
        // Every test starts from a plugged instrument sending ten reports a second.
        emulator.ask("plug");
        emulator.ask("set SendInterval 100");
        emulator.ask("start");
    }

    void TearDown() override
    {
        WindowFixture::TearDown();
        options().hidPlatform.reset();
    }

    // The window on the native backend, shown as the user sees it, once it has connected.
    TFMain &connectedWindow()
    {
        auto platform = std::make_unique<WatchedPlatform>(torvex::createNativeHidPlatform());
        platform_ = platform.get();
        options().hidPlatform = std::move(platform);
        TFMain &w = window();
        w.show();
        // The first scan starts Wine's device host and its HID bus: slow on a loaded machine.
        EXPECT_TRUE(waitFor([&] { return w.Connected() && platform_->readers > 0; }, 60s)) << "never connected";
        return w;
    }

    // For failure messages: what the window and the emulator have seen.
    std::string seen()
    {
        return "device-change notices " + std::to_string(platform_->notices) + ", reports handled "
            + std::to_string(window().ReceivedReportCount) + ", emulator: " + emulator.ask("state");
    }

    Emulator emulator;
    WatchedPlatform *platform_ = nullptr;
};

TEST_F(EmulatedInstrumentWindow, ConnectsBesideWinesDevicesAndLogsEveryReportTheInstrumentSent)
{
    emulator.ask("stop");
    TFMain &w = connectedWindow();
    ASSERT_TRUE(w.Connected());
    EXPECT_EQ(w.statusPanelText(1), kConnected);
    const QStringList labels = listed();
    EXPECT_THAT(std::vector<QString>(labels.begin(), labels.end()),
                IsSupersetOf(
                    {QStringLiteral("TORVEX"), QStringLiteral("Wine HID keyboard"), QStringLiteral("Wine HID mouse")}));

    // The instrument was silent while the window connected (the system keeps no report for a handle that is not
    // open yet), so the window's count and the instrument's start together.
    EXPECT_EQ(w.ReceivedReportCount, 0u);
    const uint64_t queuedBefore = emulator.state("queued");
    const QString path = tempPath(QStringLiteral("pomiary.csv"));
    control<QLineEdit>("file_name_edit")->setText(path);
    click("save_button");
    ASSERT_TRUE(w.loggingActive);

    // Ten a second, as the instrument sends by default, while the window's thread is kept busy for 5 s as a slow
    // repaint on a loaded machine may keep it: the system holds the reports meanwhile, beyond its default 32.
    emulator.ask("start");
    std::this_thread::sleep_for(5s);
    ASSERT_TRUE(waitFor([&] { return emulator.state("queued") >= queuedBefore + 60; }, 60s));
    emulator.ask("stop");
    const uint64_t sent = emulator.state("queued") - queuedBefore;
    EXPECT_EQ(emulator.state("dropped"), 0u) << "the node's queue overflowed: the count below is not the reference";
    EXPECT_TRUE(waitFor([&] { return w.ReceivedReportCount >= sent; }, 30s)) << seen();
    waitFor([] { return false; }, 500ms); // any report beyond those sent would come now
    EXPECT_EQ(w.ReceivedReportCount, sent) << "reports the instrument put on the node";
    click("save_button"); // stops logging and closes the file

    // The latest report, byte for byte as the instrument sent it (after its report id).
    const std::string last = emulator.ask("input");
    EXPECT_EQ(hex(w.RxBuffer.data(), 64), last.substr(2, 128));

    const std::vector<std::string> lines = logFileLines(path.toStdString());
    expectConsecutiveCounters(lines);
    EXPECT_EQ(lines.size(), sent) << "one line per measurement report the instrument sent";
    RecordProperty("reports_sent", static_cast<int>(sent));
    RecordProperty("lines_logged", static_cast<int>(lines.size()));
}

TEST_F(EmulatedInstrumentWindow, ReadButtonFillsTheFieldsFromTheInstrumentsReply)
{
    emulator.ask("set Encoder1.GateTime 4321");
    emulator.ask("set Encoder1.Resolution 777");
    connectedWindow();
    const size_t writes = emulator.state("writes");
    click("button_1");
    EXPECT_TRUE(waitFor([&] { return text("enc_time_1") == "4321"; }))
        << text("enc_time_1").toStdString() << "; " << seen();
    EXPECT_EQ(text("enc_resolution_1"), "777");
    EXPECT_EQ(emulator.writes(writes), std::vector<std::string>{outputReport({1, 1, 9, 0})});
}

struct WriteCase {
    const char *name;
    std::function<void(TFMain &)> input;
    const char *button;
    std::vector<uint8_t> report; // as the instrument receives it, before the zeros up to 65 bytes
    QString acknowledgement;     // status panel 0 after the instrument's answer
};

void PrintTo(const WriteCase &c, std::ostream *os) { *os << c.name; }

class EmulatedInstrumentWrites : public EmulatedInstrumentWindow, public ::testing::WithParamInterface<WriteCase> {};

TEST_P(EmulatedInstrumentWrites, ButtonPutsTheExactReportOnTheNode)
{
    const WriteCase &c = GetParam();
    TFMain &w = connectedWindow();
    const size_t writes = emulator.state("writes");
    c.input(w);
    click(c.button);
    ASSERT_TRUE(waitFor([&] { return emulator.state("writes") > writes; }));
    EXPECT_EQ(emulator.writes(writes), std::vector<std::string>{outputReport(c.report)});
    EXPECT_TRUE(waitFor([&] { return w.statusPanelText(0) == c.acknowledgement; }))
        << w.statusPanelText(0).toStdString() << "; " << seen();
}

std::function<void(TFMain &)> typed(const char *field, const char *value)
{
    return [=](TFMain &w) { w.findChild<QLineEdit *>(field)->setText(QString::fromLatin1(value)); };
}

// One case per kind of control; the byte-level rules of each are the core's tests.
INSTANTIATE_TEST_SUITE_P(Emulated, EmulatedInstrumentWrites,
                         ::testing::Values(WriteCase{"WholeNumberField",
                                                     typed("enc_time_3", "70000"),
                                                     "button_time3",
                                                     {1, 2, 1, 2, 255, 255, 0, 0},
                                                     QStringLiteral("Zaktualizowane parametr: [1][2]")},
                                           WriteCase{"RealNumberField",
                                                     typed("enc_coeff_1", "150"),
                                                     "button_enccoeff1",
                                                     {1, 2, 3, 0, 0, 0, 22, 67},
                                                     QStringLiteral("Zaktualizowane parametr: [3][0]")},
                                           WriteCase{"List",
                                                     [](TFMain &w) {
                                                         w.findChild<QComboBox *>("enc_mode_3")->setCurrentIndex(1);
                                                     },
                                                     "button_encmode3",
                                                     {1, 2, 0, 2, 1},
                                                     QStringLiteral("Zaktualizowane parametr: [0][2]")},
                                           WriteCase{"CommandButton",
                                                     [](TFMain &) {},
                                                     "button_encclear2",
                                                     {1, 2, 10, 1},
                                                     QStringLiteral("Zaktualizowane parametr: [10][1]")}),
                         [](const auto &param) { return std::string(param.param.name); });

TEST_F(EmulatedInstrumentWindow, TwentyReplugsEachShownWithinASecondLeaveNoHandleOrThread)
{
    TFMain &w = connectedWindow();
    ASSERT_TRUE(w.Connected());
    qint64 slowestUnplug = 0, slowestPlug = 0;
    auto cycle = [&] {
        QElapsedTimer clock;
        clock.start();
        emulator.ask("unplug");
        ASSERT_TRUE(waitFor([&] { return !w.Connected() && w.statusPanelText(1) == kDisconnected; }, 10s))
            << "the unplug was not noticed";
        const qint64 unplugged = clock.elapsed();
        EXPECT_LE(unplugged, 1000) << "ms from the unplug to " << kDisconnected.toStdString();
        EXPECT_FALSE(listed().contains(QStringLiteral("TORVEX")));
        slowestUnplug = std::max(slowestUnplug, unplugged);

        clock.restart();
        emulator.ask("plug");
        ASSERT_TRUE(waitFor([&] { return w.Connected() && w.statusPanelText(1) == kConnected; }, 10s))
            << "the instrument plugged back was not connected";
        slowestPlug = std::max(slowestPlug, clock.elapsed());
        const uint32_t count = w.ReceivedReportCount;
        ASSERT_TRUE(waitFor([&] { return w.ReceivedReportCount > count; }, 10s)) << "reports do not flow again";
    };
    // One cycle first, so that everything made on first use (here and in Wine) exists already; counted once
    // what a pass leaves for a moment (e.g. a read thread ending) is gone.
    cycle();
    waitFor([] { return false; }, 500ms);
    const auto before = torvex::windows_test::countsOf(GetCurrentProcessId());
    ASSERT_GT(before.handles, 0);
    ASSERT_GT(before.threads, 0);

    for (int i = 0; i < 20 && !HasFatalFailure(); ++i)
        cycle();
    // A handle or thread left behind in each cycle would add 20. An event made once on first contention (by Qt
    // or the threads library; seen as one more event after 80 cycles) is no growth.
    torvex::windows_test::ProcessCounts after;
    waitFor(
        [&] {
            after = torvex::windows_test::countsOf(GetCurrentProcessId());
            return after.handles <= before.handles + kOnceMade && after.threads <= before.threads;
        },
        5s);
    EXPECT_LE(after.handles, before.handles + kOnceMade);
    EXPECT_LE(after.threads, before.threads);
    RecordProperty("handles", static_cast<int>(after.handles));
    RecordProperty("threads", static_cast<int>(after.threads));
    RecordProperty("slowest_unplug_ms", static_cast<int>(slowestUnplug));
    RecordProperty("slowest_plug_ms", static_cast<int>(slowestPlug));
    std::printf("20 replugs: handles %ld -> %ld, threads %ld -> %ld, slowest unplug %lld ms, slowest plug %lld ms\n",
                before.handles, after.handles, before.threads, after.threads, slowestUnplug, slowestPlug);
}

} // namespace
