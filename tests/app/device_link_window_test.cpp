// The window finding, connecting and talking to the simulated instrument, end to end through the HID layer.
#include "window_fixture.h"

#include "sim_instrument_device.h"
#include "string_table.h"

#include <QComboBox>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QLineEdit>
#include <QListWidget>
#include <QTest>
#include <QTimer>

#include <gmock/gmock.h>

#include <memory>
#include <vector>

using namespace torvex;
using namespace torvex::sim;
using Bytes = std::vector<uint8_t>;
using testing::ElementsAre;

namespace {

constexpr int kWaitMs = 5000;

class DeviceLinkWindow : public WindowFixture {
protected:
    void SetUp() override
    {
        WindowFixture::SetUp();
        options().hidPlatform = platform;
    }

    void TearDown() override
    {
        WindowFixture::TearDown(); // the window lets go of its devices first
        instruments.clear();
    }

    SimInstrumentDevice &addInstrument(SimDeviceDescription description = instrumentDeviceDescription())
    {
        instruments.push_back(std::make_unique<SimInstrumentDevice>(*platform, std::move(description)));
        return *instruments.back();
    }

    std::shared_ptr<SimHidDevice> addOther(std::u16string name, uint16_t vid = 0x0F0F, uint16_t pid = 0x0102)
    {
        SimDeviceDescription description;
        description.productName = std::move(name);
        description.vendorId = vid;
        description.productId = pid;
        description.caps = THidCaps{9, 2, 0};
        return platform->plug(description);
    }

    // The window, after its first device pass has run from the event loop.
    TFMain &connectedWindow()
    {
        TFMain &w = window();
        EXPECT_TRUE(QTest::qWaitFor([&] { return control<QListWidget>("ListBox1")->count() > 0; }, kWaitMs));
        return w;
    }

    static void push(SimInstrumentDevice &instrument, Bytes data)
    {
        data.insert(data.begin(), kReportId);
        instrument.device()->pushInputReport(data);
    }

    bool waitForReports(uint32_t count)
    {
        return QTest::qWaitFor([&] { return window().ReceivedReportCount >= count; }, kWaitMs);
    }

    std::shared_ptr<SimHidPlatform> platform = std::make_shared<SimHidPlatform>();
    std::vector<std::unique_ptr<SimInstrumentDevice>> instruments;
};

// An output report as written, or the data part of an input report: zero-padded to the instrument's length.
Bytes report(Bytes head, size_t length = kReportLength)
{
    head.resize(length, 0);
    return head;
}

Bytes data(Bytes head) { return report(std::move(head), kReportLength - 1); }

} // namespace

TEST_F(DeviceLinkWindow, ConnectsWithoutUserActionAndReportsArrive)
{
    addOther(u"USB Keyboard");
    SimInstrumentDevice &instrument = addInstrument();
    instrument.driver().withInstrument([](Instrument &i) { i.parameters().sendInterval = 5; });
    instrument.start();

    TFMain &w = connectedWindow();
    EXPECT_TRUE(w.Connected());
    EXPECT_EQ(w.statusPanelText(0), idsText(u"IDS_7"));
    EXPECT_EQ(w.statusPanelText(1), QStringLiteral("Połączony"));
    ASSERT_NE(w.CurrentDevice(), nullptr);
    EXPECT_EQ(QString::fromStdU16String(w.CurrentDevice()->ProductName()), QStringLiteral("TORVEX"));

    ASSERT_TRUE(QTest::qWaitFor([&] { return w.Measurement.MeasurementCount >= 3; }, kWaitMs));
    EXPECT_EQ(w.Measurement.NewSampleFlag, 255);
    EXPECT_GE(w.ReceivedReportCount, 3u);
    EXPECT_THAT(errors(), testing::IsEmpty());
}

TEST_F(DeviceLinkWindow, ListsEveryDeviceSortedByLabel)
{
    addOther(u"USB Keyboard");
    addOther(u"", 0x1234, 0x00AB);
    addInstrument();
    addOther(u"acme pointer");

    TFMain &w = connectedWindow();
    EXPECT_THAT(listed(), ElementsAre("acme pointer", "Device VID=1234 PID=00AB", "TORVEX", "USB Keyboard"));
    EXPECT_TRUE(w.Connected());
    // Every entry owns the device it was listed for.
    for (THidDevice *device : w.listedDevices())
        EXPECT_NE(device, nullptr);
}

TEST_F(DeviceLinkWindow, OnlyTheExactProductNameIsTheInstrument)
{
    for (const char16_t *nearMiss : {u"torvex", u"TORVEX ", u"Torvex", u" TORVEX", u"TORVEX2"}) {
        SCOPED_TRACE(QString::fromStdU16String(nearMiss).toStdString());
        SimDeviceDescription description = instrumentDeviceDescription();
        description.productName = nearMiss;
        addInstrument(description);
        TFMain &w = connectedWindow();
        EXPECT_FALSE(w.Connected());
        EXPECT_EQ(w.CurrentDevice(), nullptr);
        EXPECT_EQ(w.statusPanelText(1), QStringLiteral("Rozłączony"));
        closeWindow();
        instruments.clear();
    }
}

TEST_F(DeviceLinkWindow, UnplugDisconnectsAndPlugBackReconnects)
{
    addOther(u"USB Keyboard");
    SimInstrumentDevice &instrument = addInstrument();
    TFMain &w = connectedWindow();
    ASSERT_TRUE(w.Connected());

    instrument.unplug();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !w.Connected(); }, kWaitMs));
    EXPECT_EQ(w.statusPanelText(1), QStringLiteral("Rozłączony"));
    EXPECT_EQ(w.CurrentDevice(), nullptr);
    EXPECT_THAT(listed(), ElementsAre("USB Keyboard"));

    instrument.plugBack();
    ASSERT_TRUE(QTest::qWaitFor([&] { return w.Connected(); }, kWaitMs));
    EXPECT_EQ(w.statusPanelText(1), QStringLiteral("Połączony"));
    push(instrument, data({2, 5, 1}));
    EXPECT_TRUE(waitForReports(1)) << "reports flow again after the re-plug";
}

TEST_F(DeviceLinkWindow, LastDeviceGoneLeavesNoConnectedText)
{
    SimInstrumentDevice &instrument = addInstrument();
    TFMain &w = connectedWindow();
    ASSERT_TRUE(w.Connected());

    instrument.unplug();
    ASSERT_TRUE(QTest::qWaitFor([&] { return listed().isEmpty(); }, kWaitMs));
    EXPECT_FALSE(w.Connected());
    EXPECT_EQ(w.statusPanelText(1), QStringLiteral("Rozłączony"));
}

TEST_F(DeviceLinkWindow, OfTwoInstrumentsOnlyTheLastListedIsRead)
{
    SimInstrumentDevice &first = addInstrument();
    SimInstrumentDevice &second = addInstrument();
    TFMain &w = connectedWindow();
    ASSERT_TRUE(w.Connected());
    const auto listed = w.listedDevices();
    ASSERT_EQ(listed.size(), 2u);
    EXPECT_EQ(w.CurrentDevice(), listed.back());

    SimInstrumentDevice &current =
        w.CurrentDevice()->PnPInfo().DevicePath == first.device()->pnpInfo().DevicePath ? first : second;
    SimInstrumentDevice &idle = &current == &first ? second : first;
    EXPECT_TRUE(QTest::qWaitFor([&] { return current.device()->openReaders() == 1; }, kWaitMs));
    EXPECT_EQ(idle.device()->openReaders(), 0u);
    EXPECT_FALSE(listed.front()->HasReadThread());

    w.SendReadRequest(5, 0);
    EXPECT_EQ(current.device()->writtenReports().size(), 1u);
    EXPECT_TRUE(idle.device()->writtenReports().empty());
}

TEST_F(DeviceLinkWindow, InstrumentWithoutReadWriteAccessIsCurrentButDisconnected)
{
    SimDeviceDescription description = instrumentDeviceDescription();
    description.readWriteAccess = false;
    SimInstrumentDevice &instrument = addInstrument(description);
    TFMain &w = connectedWindow();
    EXPECT_THAT(listed(), ElementsAre("TORVEX"));
    ASSERT_NE(w.CurrentDevice(), nullptr);
    EXPECT_FALSE(w.Connected());
    EXPECT_EQ(w.statusPanelText(1), QStringLiteral("Rozłączony"));
    EXPECT_FALSE(w.CurrentDevice()->HasReadThread());

    w.SendReadRequest(9, 2);
    const uint8_t write[] = {6, 0, 232, 3, 0, 0};
    w.SendCommand(2, write, sizeof write);
    EXPECT_TRUE(instrument.device()->writtenReports().empty());
}

TEST_F(DeviceLinkWindow, RequestsAreFramedToTheDeviceOutputLength)
{
    SimInstrumentDevice &instrument = addInstrument();
    TFMain &w = connectedWindow();
    ASSERT_TRUE(w.Connected());

    w.SendReadRequest(9, 2);
    const uint8_t clear[] = {10, 0};
    w.SendCommand(2, clear, sizeof clear);
    const uint8_t interval[] = {6, 0, 232, 3, 0, 0};
    w.SendCommand(2, interval, sizeof interval);

    const auto written = instrument.device()->writtenReports();
    ASSERT_EQ(written.size(), 3u);
    EXPECT_EQ(written[0], report({1, 1, 9, 2}));
    EXPECT_EQ(written[1], report({1, 2, 10, 0}));
    EXPECT_EQ(written[2], report({1, 2, 6, 0, 232, 3, 0, 0}));
}

TEST_F(DeviceLinkWindow, NothingIsWrittenWhileDisconnected)
{
    addOther(u"USB Keyboard");
    SimInstrumentDevice &instrument = addInstrument();
    TFMain &w = connectedWindow();
    ASSERT_TRUE(w.Connected());
    instrument.unplug();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !w.Connected(); }, kWaitMs));
    instrument.plugBack(); // present again, but no pass has connected it yet
    w.SendReadRequest(9, 2);
    EXPECT_TRUE(instrument.device()->writtenReports().empty());
}

TEST_F(DeviceLinkWindow, ReadRequestIsAnsweredIntoTheControls)
{
    SimInstrumentDevice &instrument = addInstrument();
    instrument.driver().withInstrument([](Instrument &i) { i.parameters().sendInterval = 250; });
    TFMain &w = connectedWindow();
    ASSERT_TRUE(w.Connected());
    click("BitBtn46");
    EXPECT_TRUE(QTest::qWaitFor([&] { return control<QLineEdit>("trigger_time")->text() == "250"; }, kWaitMs));
    EXPECT_EQ(w.RxBuffer[0], 1);
}

TEST_F(DeviceLinkWindow, AcknowledgementShowsParameterAndChannel)
{
    SimInstrumentDevice &instrument = addInstrument();
    TFMain &w = connectedWindow();
    ASSERT_TRUE(w.Connected());
    push(instrument, data({2, 5, 1}));
    ASSERT_TRUE(waitForReports(1));
    EXPECT_EQ(w.statusPanelText(0), QStringLiteral("Zaktualizowane parametr: [5][1]"));

    // The instrument's own acknowledgement of a write from the window.
    const uint8_t beeper[] = {20, 0, 1};
    w.SendCommand(2, beeper, sizeof beeper);
    ASSERT_TRUE(waitForReports(2));
    EXPECT_EQ(w.statusPanelText(0), QStringLiteral("Zaktualizowane parametr: [20][0]"));
}

TEST_F(DeviceLinkWindow, UnknownTypesAreCountedAndCopiedOnly)
{
    SimInstrumentDevice &instrument = addInstrument();
    TFMain &w = connectedWindow();
    ASSERT_TRUE(w.Connected());
    const QString panel0 = w.statusPanelText(0);

    Bytes full(64, 0x77);
    full[0] = 3;
    push(instrument, full);
    push(instrument, {255, 1});
    ASSERT_TRUE(waitForReports(2));
    EXPECT_EQ(w.ReceivedReportCount, 2u);
    EXPECT_EQ(w.RxBuffer[0], 255);
    EXPECT_EQ(w.RxBuffer[1], 1);
    EXPECT_EQ(w.RxBuffer[2], 0x77) << "a shorter report leaves the earlier report's bytes behind";
    EXPECT_EQ(w.RxBuffer[63], 0x77);
    EXPECT_EQ(w.RxBuffer[64], 0);
    EXPECT_EQ(w.RxReportSize, 2);
    EXPECT_EQ(w.Measurement.MeasurementCount, 0u);
    EXPECT_EQ(w.statusPanelText(0), panel0);
    EXPECT_THAT(errors(), testing::IsEmpty());
}

TEST_F(DeviceLinkWindow, OnlyMeasurementReportsAdvanceTheMeasurementCount)
{
    SimInstrumentDevice &instrument = addInstrument();
    TFMain &w = connectedWindow();
    ASSERT_TRUE(w.Connected());
    Instrument model;
    const Report measurement = model.measurementReport(Instant{});
    instrument.device()->pushInputReport(measurement);
    push(instrument, data({1, 5, 0, 1}));
    push(instrument, data({2, 6, 0}));
    instrument.device()->pushInputReport(measurement);
    ASSERT_TRUE(waitForReports(4));
    EXPECT_EQ(w.Measurement.MeasurementCount, 2u);
    EXPECT_EQ(w.Measurement.NewSampleFlag, 255);
}

TEST_F(DeviceLinkWindow, TextsFollowTheActiveLanguage)
{
    const auto keyboard = addOther(u"USB Keyboard");
    SimInstrumentDevice &instrument = addInstrument();
    TFMain &w = connectedWindow();
    ASSERT_TRUE(w.Connected());
    auto *picker = control<QComboBox>("LangCombo1");
    auto pick = [&](int index) {
        picker->setCurrentIndex(index);
        Q_EMIT picker->activated(index);
    };

    pick(1);
    EXPECT_EQ(w.statusPanelText(1), QString()) << "the connection text waits for the next device pass";
    push(instrument, data({2, 5, 1}));
    ASSERT_TRUE(waitForReports(1));
    EXPECT_EQ(w.statusPanelText(0), QStringLiteral("Parameter update: [5][1]"));

    platform->unplug(keyboard);
    EXPECT_TRUE(QTest::qWaitFor([&] { return w.statusPanelText(1) == QStringLiteral("Connected"); }, kWaitMs));
    EXPECT_EQ(w.statusPanelText(0), QStringLiteral("Refreh device list"));
    pick(0);
}

// The rate in kHz against what the instrument itself put on the wire over the same measured time: its count of
// reports queued, less those still waiting in the device. Averaged over several seconds, so a tick that a loaded
// machine delays (and the next one, which is early by as much) does not decide the result; a rate timer whose
// ticks come 2.4 % early shows 2.4 % too little.
TEST_F(DeviceLinkWindow, RateAgreesWithTheReportsTheInstrumentSends)
{
    SimInstrumentDevice &instrument = addInstrument();
    instrument.driver().withInstrument([](Instrument &i) { i.parameters().sendInterval = 2; });
    TFMain &w = connectedWindow();
    ASSERT_TRUE(w.Connected());
    w.decimalSeparator = '.';
    instrument.start();
    ASSERT_TRUE(waitForReports(50));

    struct Tick {
        qint64 ms;
        uint64_t delivered;
        double shownKHz;
    };
    std::vector<Tick> ticks;
    QElapsedTimer clock;
    clock.start();
    // A plain event loop, as the program runs: the test helpers' waits sleep between their passes, and the
    // instrument, finding no room for its reports meanwhile, would drop most of them.
    QEventLoop loop;
    // Connected after the window's own handler, so this runs right after the panel is written.
    QObject::connect(w.FreqTimer, &QTimer::timeout, &w, [&] {
        const uint64_t delivered =
            instrument.driver().measurementCounts().queued - instrument.device()->pendingInputReports();
        ticks.push_back({clock.elapsed(), delivered, w.statusPanelText(2).section(u' ', 0, 0).toDouble()});
        if (ticks.size() == 16)
            loop.quit();
    });
    QTimer::singleShot(30000, &loop, &QEventLoop::quit);
    w.FreqTimer->start();
    loop.exec();
    w.FreqTimer->stop();
    ASSERT_EQ(ticks.size(), 16u);

    // The first tick counted from before the timer started; the measured span runs from the second one.
    const Tick &from = ticks[1];
    const Tick &to = ticks.back();
    double shownSum = 0;
    for (size_t i = 2; i < ticks.size(); ++i)
        shownSum += ticks[i].shownKHz;
    const double shown = shownSum / double(ticks.size() - 2);
    const double sent = double(to.delivered - from.delivered) / double(to.ms - from.ms); // reports per ms
    ASSERT_GT(sent, 0.1) << "the instrument sent too little to compare";
    EXPECT_NEAR(shown / sent, 1.0, 0.012)
        << "shown " << shown << " kHz, sent " << sent << " kHz over " << to.ms - from.ms << " ms";
}
