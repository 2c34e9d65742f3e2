// The whole window on the native Linux backend, against the emulated kernel and the emulated instrument:
// discovery, hot-plug through the udev monitor, reports, writes, read-back, logging and a node without rights.
#include "emulated_hid.h"
#include "log_file_lines.h"
#include "window_fixture.h"

#include "device/hid_platform_linux.h"
#include "torvex_instrument.h"

#include <QCoreApplication>
#include <QLineEdit>
#include <QListWidget>

#include <gtest/gtest.h>

#include <cstdio>

using namespace std::chrono_literals;
using namespace torvex;
using namespace torvex::emulated;

namespace {

const QString kConnected = QStringLiteral("Połączony");
const QString kDisconnected = QStringLiteral("Rozłączony");

std::vector<uint8_t> outputReport(std::vector<uint8_t> head)
{
    head.resize(65, 0);
    return head;
}

class NativeWindow : public WindowFixture {
protected:
    void TearDown() override
    {
        WindowFixture::TearDown();
        options().hidPlatform.reset(); // its monitor would not be read any more
        instrument.reset();
        keyboard.reset();
    }

    void plugDevices()
    {
        instrument = std::make_unique<EmulatedInstrument>(testbed);
        keyboard = std::make_unique<EmulatedHidDevice>(testbed, keyboardDescription());
        keyboard->plug();
    }

    // The window on the native backend. Its monitor starts listening here, after the devices were plugged:
    // the emulated uevent socket holds only a few messages until someone reads them.
    TFMain &nativeWindow()
    {
        if (!options().hidPlatform) {
            // The rescan is put out of reach, so every change the window sees came through the udev monitor.
            options().hidPlatform = createLinuxHidPlatform(24h);
        }
        return window();
    }

    TFMain &connectedWindow()
    {
        TFMain &w = nativeWindow();
        EXPECT_TRUE(waitFor([&] { return w.Connected(); })) << "never connected";
        return w;
    }

    // Waits until every report the host read from the instrument's node has been handled by the window.
    bool drained(TFMain &w)
    {
        EmulatedHidDevice &device = instrument->device();
        return waitFor([&] {
            return device.queuedInputReports() == 0 && w.ReceivedReportCount == device.deliveredInputReports();
        });
    }

    Testbed testbed;
    std::unique_ptr<EmulatedInstrument> instrument;
    std::unique_ptr<EmulatedHidDevice> keyboard;
};

TEST_F(NativeWindow, ListsEveryDeviceConnectsToTheInstrumentAndReceives)
{
    plugDevices();
    EmulatedDeviceDescription unnamed = keyboardDescription();
    unnamed.product.reset();
    unnamed.manufacturer.clear();
    unnamed.vendorId = 0x1234;
    unnamed.productId = 0x00AB;
    EmulatedHidDevice noProductString(testbed, unnamed);
    noProductString.plug();

    TFMain &w = connectedWindow();
    EXPECT_EQ(w.statusPanelText(1), kConnected);
    EXPECT_EQ(listed(), (QStringList{"Device VID=1234 PID=00AB", "TORVEX", "USB Keyboard"}));

    instrument->start();
    EXPECT_TRUE(waitFor([&] { return w.ReceivedReportCount >= 3; }));
    noProductString.unplug();
    EXPECT_TRUE(waitFor([&] { return listed().size() == 2; }));
}

TEST_F(NativeWindow, IndicatorsShowTheReportReadFromTheNode)
{
    plugDevices();
    TFMain &w = connectedWindow();
    w.decimalSeparator = ',';
    // A report of the instrument model at a known moment; the expected texts come from the model's values.
    sim::Instrument model;
    const sim::Instant at{std::chrono::milliseconds(2750), {2026, 12, 8, 9, 5, 3}};
    ASSERT_TRUE(instrument->device().pushInputReport(model.measurementReport(at)));
    ASSERT_TRUE(waitFor([&] { return w.ReceivedReportCount == 1; }));
    w.UpdateDataTimerTimer();

    auto value = [](float v) {
        char buffer[32];
        std::snprintf(buffer, sizeof buffer, "%.2f", static_cast<double>(v));
        return QStringLiteral(" %1 [...]").arg(QString::fromLatin1(buffer).replace('.', ','));
    };
    EXPECT_EQ(text("Edit1_encp1"), value(model.position(0, at)));
    EXPECT_EQ(text("Edit1_encp3"), value(model.position(2, at)));
    EXPECT_EQ(text("Edit1_encv2"), value(model.velocity(1, at)).replace(" [...]", " [.../sek]"));
    EXPECT_EQ(text("Edit_date"), " 08-12-2026");
    EXPECT_EQ(text("Edit_time"), " 09:05:03");
}

struct WriteCase {
    const char *name;
    const char *field; // set to `value` first, when not empty
    const char *value;
    const char *button;
    std::vector<uint8_t> report; // as written to the node, before zero padding to 65 bytes
    QString acknowledgement;     // status panel 0 after the instrument's answer; empty for read requests
};

void PrintTo(const WriteCase &c, std::ostream *os) { *os << c.name; }

class NativeWindowWrites : public NativeWindow, public ::testing::WithParamInterface<WriteCase> {};

TEST_P(NativeWindowWrites, ButtonPutsTheExactReportOnTheNode)
{
    const WriteCase &c = GetParam();
    plugDevices();
    TFMain &w = connectedWindow();
    if (*c.field)
        control<QLineEdit>(c.field)->setText(QString::fromUtf8(c.value));
    click(c.button);
    ASSERT_TRUE(waitFor([&] { return !instrument->device().writtenReports().empty(); }));
    EXPECT_EQ(instrument->device().writtenReports(), std::vector<std::vector<uint8_t>>{outputReport(c.report)});
    if (!c.acknowledgement.isEmpty()) {
        EXPECT_TRUE(waitFor([&] { return w.statusPanelText(0) == c.acknowledgement; }))
            << w.statusPanelText(0).toStdString();
    }
}

INSTANTIATE_TEST_SUITE_P(Emulated, NativeWindowWrites,
                         ::testing::Values(WriteCase{"GateTimeOfEncoder3CappedAt65535",
                                                     "enc_time_3",
                                                     "70000",
                                                     "button_time3",
                                                     {1, 2, 1, 2, 255, 255, 0, 0},
                                                     QStringLiteral("Zaktualizowane parametr: [1][2]")},
                                           WriteCase{"SendInterval1000",
                                                     "trigger_time",
                                                     "1000",
                                                     "BitBtn45",
                                                     {1, 2, 6, 0, 232, 3, 0, 0},
                                                     QStringLiteral("Zaktualizowane parametr: [6][0]")},
                                           WriteCase{"CoefficientOfEncoder1",
                                                     "enc_coeff_1",
                                                     "150",
                                                     "button_enccoeff1",
                                                     {1, 2, 3, 0, 0, 0, 22, 67},
                                                     QStringLiteral("Zaktualizowane parametr: [3][0]")},
                                           WriteCase{"ClearPositionOfEncoder2",
                                                     "",
                                                     "",
                                                     "button_encclear2",
                                                     {1, 2, 10, 1},
                                                     QStringLiteral("Zaktualizowane parametr: [10][1]")},
                                           WriteCase{
                                               "ReadRequestEncoder3", "", "", "BitBtn14", {1, 1, 9, 2}, QString()}),
                         [](const auto &param) { return std::string(param.param.name); });

TEST_F(NativeWindow, ReadButtonFillsTheFieldsFromTheInstrumentsReply)
{
    plugDevices();
    instrument->driver().withInstrument([](sim::Instrument &i) {
        i.parameters().encoders[0].gateTime = 4321;
        i.parameters().encoders[0].resolution = 777;
    });
    connectedWindow();
    click("button_1");
    EXPECT_TRUE(waitFor([&] { return text("enc_time_1") == "4321"; })) << text("enc_time_1").toStdString();
    EXPECT_EQ(text("enc_resolution_1"), "777");
}

TEST_F(NativeWindow, LoggingWritesOneLinePerReportReadFromTheNode)
{
    plugDevices();
    instrument->driver().withInstrument([](sim::Instrument &i) { i.parameters().sendInterval = 10; });
    TFMain &w = connectedWindow();
    const QString path = tempPath(QStringLiteral("pomiary.csv"));
    control<QLineEdit>("file_name_edit")->setText(path);
    const uint64_t before = instrument->device().deliveredInputReports();
    click("save_button");
    ASSERT_TRUE(w.loggingActive);

    instrument->start();
    ASSERT_TRUE(waitFor([&] { return instrument->device().deliveredInputReports() >= before + 20; }));
    instrument->stop();
    ASSERT_TRUE(drained(w));
    click("save_button"); // stops logging and closes the file
    const uint64_t delivered = instrument->device().deliveredInputReports() - before;

    const std::vector<std::string> lines = logFileLines(path.toStdString());
    expectConsecutiveCounters(lines);
    EXPECT_EQ(lines.size(), delivered) << "one line per measurement report read from the node";
}

TEST_F(NativeWindow, NodeWithoutRightsIsListedButStaysDisconnectedAndGetsNothing)
{
    RootFileOverrideOff plainUser; // as a user without the udev rule, even when the tests run as root
    plugDevices();
    instrument->device().setOpenDenied(true);
    keyboard->setOpenDenied(true);
    TFMain &w = nativeWindow();
    ASSERT_TRUE(waitFor([&] { return listed().contains("TORVEX"); }));
    EXPECT_EQ(w.statusPanelText(1), kDisconnected);
    EXPECT_FALSE(w.Connected());
    ASSERT_NE(w.CurrentDevice(), nullptr);
    EXPECT_FALSE(w.CurrentDevice()->ReadWriteAccess());
    EXPECT_FALSE(w.CurrentDevice()->HasReadThread());
    control<QLineEdit>("enc_time_1")->setText("100");
    click("button_time1");
    click("button_1");
    QCoreApplication::processEvents();
    EXPECT_TRUE(instrument->device().writtenReports().empty());
}

TEST_F(NativeWindow, UnplugAndPlugBackReachTheWindowThroughTheMonitor)
{
    plugDevices();
    TFMain &w = connectedWindow();
    instrument->start();
    const std::string firstInstance = w.CurrentDevice()->PnPInfo().DeviceInstance;

    instrument->device().unplug();
    ASSERT_TRUE(waitFor([&] { return !w.Connected(); }));
    EXPECT_EQ(w.statusPanelText(1), kDisconnected);
    EXPECT_EQ(listed(), QStringList{"USB Keyboard"});

    instrument->device().plug();
    ASSERT_TRUE(waitFor([&] { return w.Connected(); }));
    EXPECT_EQ(w.statusPanelText(1), kConnected);
    EXPECT_NE(w.CurrentDevice()->PnPInfo().DeviceInstance, firstInstance) << "a re-plug is a new device";
    const uint32_t count = w.ReceivedReportCount;
    EXPECT_TRUE(waitFor([&] { return w.ReceivedReportCount > count; })) << "reports flow again";
}

TEST_F(NativeWindow, TwoHundredReplugsWithReportsFlowingLeaveNothingBehind)
{
    plugDevices();
    instrument->driver().withInstrument([](sim::Instrument &i) { i.parameters().sendInterval = 5; });
    instrument->start();
    TFMain &w = connectedWindow();
    auto cycle = [&] {
        instrument->device().unplug();
        ASSERT_TRUE(waitFor([&] { return !w.Connected(); }));
        instrument->device().plug();
        ASSERT_TRUE(waitFor([&] { return w.Connected(); }));
        const uint32_t count = w.ReceivedReportCount;
        ASSERT_TRUE(waitFor([&] { return w.ReceivedReportCount > count; }));
    };
    // One cycle first, so that every lazily made object (here and in the libraries) exists already.
    cycle();
    ASSERT_TRUE(testbed.settle(5s));
    const int fds = openFileDescriptors();
    const int threads = runningThreads();
    const size_t heap = heapInUse();

    for (int i = 0; i < 200 && !HasFatalFailure(); ++i)
        cycle();
    ASSERT_TRUE(testbed.settle(5s)) << "the window still holds an unplugged node open";
    // Closed connections reach the emulator's side a moment later.
    EXPECT_TRUE(waitFor([&] { return openFileDescriptors() == fds; }, 5s)) << openFileDescriptors() << " vs " << fds;
    EXPECT_EQ(runningThreads(), threads);
    const auto grown = static_cast<long>(heapInUse()) - static_cast<long>(heap);
    // umockdev itself keeps about 230 bytes per plug (measured with the emulator alone); one device object
    // or read thread left behind per cycle would add more than 400.
    EXPECT_LT(grown, 100 * 1024) << "heap grew by " << grown << " bytes over 200 cycles";
    RecordProperty("heap_growth_bytes", static_cast<int>(grown));
}

} // namespace
