#include "lamp_widget.h"
#include "language.h"
#include "window_fixture.h"

#include <QAccessible>
#include <QGuiApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QLineEdit>
#include <QTabWidget>
#include <QTest>
#include <QTimer>

#include <QtGui/private/qguiapplication_p.h>
#include <qpa/qplatformaccessibility.h>
#include <qpa/qplatformintegration.h>

#include <gmock/gmock.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <string>
#include <tuple>
#include <vector>

namespace {

class IndicatorsTest : public WindowFixture {
protected:
    // A measurement report's data part as the instrument sends it.
    struct Report {
        std::array<uint8_t, 63> bytes{};
        Report &io(uint8_t states)
        {
            bytes[1] = states;
            return *this;
        }
        Report &decimals(uint8_t places)
        {
            bytes[2] = places;
            return *this;
        }
        Report &clock(uint16_t year, uint8_t month, uint8_t day, uint8_t hour, uint8_t minute, uint8_t second)
        {
            bytes[5] = uint8_t(year >> 8);
            bytes[6] = uint8_t(year);
            bytes[7] = month;
            bytes[8] = day;
            bytes[9] = hour;
            bytes[10] = minute;
            bytes[11] = second;
            return *this;
        }
        Report &encoder(int n, uint8_t perMinute, float position, float velocity)
        {
            uint8_t *record = bytes.data() + 12 + 9 * (n - 1);
            record[0] = perMinute;
            putSingle(record + 1, position);
            putSingle(record + 5, velocity);
            return *this;
        }
        static void putSingle(uint8_t *p, float value)
        {
            const uint32_t bits = std::bit_cast<uint32_t>(value);
            for (int i = 0; i < 4; ++i)
                p[i] = uint8_t(bits >> (8 * i));
        }
    };

    // Through the report handler, as the read thread hands a report over.
    void receive(const Report &report, uint16_t size = 63)
    {
        window().DeviceDataReceived(nullptr, 0, report.bytes.data(), size);
    }

    QColor lamp(const char *name) { return control<LampWidget>(name)->brushColor(); }
};

const QColor kBlue(0, 0, 255);
const QColor kGreen(0, 128, 0);
const QColor kSilver(192, 192, 192);

TEST_F(IndicatorsTest, ZeroStateBeforeTheFirstReport)
{
    window().UpdateDataTimerTimer();
    for (const char *name : {"Edit1_encp1", "Edit1_encp2", "Edit1_encp3"})
        EXPECT_EQ(text(name), " 0 [...]") << name;
    EXPECT_EQ(text("Edit1_encv3"), " 0 [.../sek]");
    EXPECT_EQ(text("Edit_date"), " 00-00-0000");
    EXPECT_EQ(text("Edit_time"), " 00:00:00");
    for (const char *name : {"Shape1", "Shape2", "Shape3", "Shape4", "Shape7", "Shape8"})
        EXPECT_EQ(lamp(name), kSilver) << name;
}

TEST_F(IndicatorsTest, ValuesWithUnitsDecimalsAndTimeBase)
{
    TFMain &w = window();
    w.channelUnits = {QStringLiteral("mm"), QString(), QStringLiteral("m")};
    w.decimalSeparator = '.';
    receive(Report().decimals(2).encoder(1, 0, 1234.5f, 0.25f).encoder(2, 0, 0.0f, 7.0f).encoder(3, 1, 12.5f, 3.0f));
    w.UpdateDataTimerTimer();
    EXPECT_EQ(text("Edit1_encp1"), " 1234.50 [mm]");
    EXPECT_EQ(text("Edit1_encv1"), " 0.25 [mm/sek]");
    EXPECT_EQ(text("Edit1_encv2"), " 7.00 [.../sek]");
    EXPECT_EQ(text("Edit1_encv3"), " 3.00 [m/min]");

    w.decimalSeparator = ',';
    w.UpdateDataTimerTimer();
    EXPECT_EQ(text("Edit1_encp1"), " 1234,50 [mm]");
    EXPECT_EQ(text("Edit1_encp3"), " 12,50 [m]");

    receive(Report().decimals(0).encoder(1, 0, 1234.5f, 0.0f).encoder(2, 0, 0.0f, 7.0f).encoder(3, 255, -0.5f, 0.0f));
    w.UpdateDataTimerTimer();
    EXPECT_EQ(text("Edit1_encp1"), " 1235 [mm]");
    EXPECT_EQ(text("Edit1_encv2"), " 7 [.../sek]");
    EXPECT_EQ(text("Edit1_encp3"), " -1 [m]");
    EXPECT_EQ(text("Edit1_encv3"), " 0 [m/min]");
}

TEST_F(IndicatorsTest, TimeBaseWordFollowsTheLanguageAtTheNextTick)
{
    TFMain &w = window();
    receive(Report().encoder(2, 0, 0.0f, 7.0f).encoder(3, 1, 0.0f, 3.0f));
    LanguageSwitcher language;
    language.activate(kEnglish);
    w.UpdateDataTimerTimer();
    EXPECT_EQ(text("Edit1_encv2"), " 7 [.../sec]");
    EXPECT_EQ(text("Edit1_encv3"), " 3 [.../min]");
    language.activate(kPolish);
    w.UpdateDataTimerTimer();
    EXPECT_EQ(text("Edit1_encv2"), " 7 [.../sek]");
}

TEST_F(IndicatorsTest, LampsFollowOutputAndTriggerBits)
{
    TFMain &w = window();
    receive(Report().io(0xFF));
    w.UpdateDataTimerTimer();
    for (const char *name : {"Shape1", "Shape2", "Shape3", "Shape4"})
        EXPECT_EQ(lamp(name), kBlue) << name;
    EXPECT_EQ(lamp("Shape7"), kGreen);
    EXPECT_EQ(lamp("Shape8"), kGreen);

    receive(Report().io(0x30)); // bits 4 and 5 light nothing
    w.UpdateDataTimerTimer();
    for (const char *name : {"Shape1", "Shape2", "Shape3", "Shape4", "Shape7", "Shape8"})
        EXPECT_EQ(lamp(name), kSilver) << name;

    receive(Report().io(0x41));
    w.UpdateDataTimerTimer();
    EXPECT_EQ(lamp("Shape1"), kBlue);
    EXPECT_EQ(lamp("Shape2"), kSilver);
    EXPECT_EQ(lamp("Shape7"), kGreen);
    EXPECT_EQ(lamp("Shape8"), kSilver);
}

TEST_F(IndicatorsTest, InstrumentClockDayFirst)
{
    receive(Report().clock(2026, 12, 8, 9, 5, 3));
    window().UpdateDataTimerTimer();
    EXPECT_EQ(text("Edit_date"), " 08-12-2026");
    EXPECT_EQ(text("Edit_time"), " 09:05:03");
}

TEST_F(IndicatorsTest, OtherPageOnViewFreezesTheIndicators)
{
    TFMain &w = window();
    auto *pages = control<QTabWidget>("PageControl1");
    receive(Report().encoder(1, 0, 1.0f, 0.0f).io(0x01));
    w.UpdateDataTimerTimer();
    ASSERT_EQ(text("Edit1_encp1"), " 1 [...]");

    pages->setCurrentWidget(control<QWidget>("TabSheet3"));
    receive(Report().encoder(1, 0, 2.0f, 0.0f).io(0x00));
    w.UpdateDataTimerTimer();
    EXPECT_EQ(text("Edit1_encp1"), " 1 [...]");
    EXPECT_EQ(lamp("Shape1"), kBlue);

    pages->setCurrentWidget(control<QWidget>("TabSheet1"));
    w.UpdateDataTimerTimer();
    EXPECT_EQ(text("Edit1_encp1"), " 2 [...]");
    EXPECT_EQ(lamp("Shape1"), kSilver);
}

TEST_F(IndicatorsTest, ShortMeasurementReportIsOnlyCounted)
{
    TFMain &w = window();
    receive(Report().decimals(1).encoder(1, 0, 5.0f, 0.0f));
    w.Measurement.NewSampleFlag = 0;
    receive(Report().decimals(3).encoder(1, 0, 9.0f, 0.0f), 38);
    EXPECT_EQ(w.ReceivedReportCount, 2u);
    EXPECT_EQ(w.Measurement.MeasurementCount, 1u);
    EXPECT_EQ(w.Measurement.NewSampleFlag, 0);
    w.UpdateDataTimerTimer();
    EXPECT_EQ(text("Edit1_encp1"), " 5.0 [...]");
}

TEST_F(IndicatorsTest, CountsFollowMeasurementReportsOnly)
{
    TFMain &w = window();
    const uint8_t ack[] = {2, 5, 1};
    const uint8_t reply[40] = {1};
    receive(Report());
    w.DeviceDataReceived(nullptr, 0, ack, sizeof ack);
    receive(Report());
    w.DeviceDataReceived(nullptr, 0, reply, sizeof reply);
    receive(Report());
    EXPECT_EQ(w.Measurement.MeasurementCount, 3u);
    EXPECT_EQ(w.Measurement.NewSampleFlag, 255);
    EXPECT_EQ(w.ReceivedReportCount, 5u);
}

TEST_F(IndicatorsTest, RateTickShowsKilohertzAndResetsTheCount)
{
    TFMain &w = window();
    w.decimalSeparator = '.';
    w.FreqTimerTimer();
    EXPECT_EQ(w.statusPanelText(2), "0.0000 kHz");

    w.ReceivedReportCount = 333;
    w.FreqTimerTimer();
    EXPECT_EQ(w.statusPanelText(2), "1.0000 kHz");
    EXPECT_EQ(w.ReceivedReportCount, 0u);

    w.decimalSeparator = ',';
    w.ReceivedReportCount = 100;
    w.FreqTimerTimer();
    EXPECT_EQ(w.statusPanelText(2), "0,3003 kHz");
    w.FreqTimerTimer();
    EXPECT_EQ(w.statusPanelText(2), "0,0000 kHz");
}

// A field set again to the text it shows tells a screen reader that its text changed (and drops a selection the user
// made to copy the value). setText clears a field's modified flag, whether or not the text differs: the fields whose
// flag is cleared after a second are the fields that were set.
TEST_F(IndicatorsTest, AStillInstrumentChangesNothingButTheClockInASecond)
{
    TFMain &w = window();
    const auto still = [](uint8_t second) {
        return Report()
            .io(0x41)
            .decimals(2)
            .clock(2026, 12, 8, 9, 5, second)
            .encoder(1, 0, 40030.0f, 0.0f)
            .encoder(2, 1, -1024.0f, 12.5f);
    };
    receive(still(3));
    w.UpdateDataTimerTimer();
    std::vector<QLineEdit *> fields;
    for (const char *name : {"Edit_date", "Edit_time", "Edit1_encp1", "Edit1_encv1", "Edit1_encp2", "Edit1_encv2",
                             "Edit1_encp3", "Edit1_encv3"}) {
        fields.push_back(control<QLineEdit>(name));
        fields.back()->setModified(true);
    }
    for (int tick = 0; tick < 10; ++tick) {
        receive(still(tick < 5 ? 3 : 4));
        w.UpdateDataTimerTimer();
    }
    std::vector<std::string> set;
    for (QLineEdit *field : fields) {
        if (!field->isModified())
            set.push_back(field->objectName().toStdString());
    }
    EXPECT_THAT(set, testing::ElementsAre("Edit_time"));
    EXPECT_EQ(text("Edit_time"), " 09:05:04");
}

// Qt raises accessibility events only while a platform's bridge is active; offscreen, its stand-in is turned on by
// hand. A handler installed meanwhile sees what the bridge would be given.
class AccessibilityEvents {
public:
    struct Event {
        QObject *object;
        QAccessible::Event type;
        QString text; // inserted, for a text update
        qint64 ms;
    };

    AccessibilityEvents()
    {
        s_events.clear();
        s_clock.start();
        m_previous = QAccessible::installUpdateHandler(&record);
        QGuiApplicationPrivate::platformIntegration()->accessibility()->setActive(true);
    }
    ~AccessibilityEvents()
    {
        QGuiApplicationPrivate::platformIntegration()->accessibility()->setActive(false);
        QAccessible::installUpdateHandler(m_previous);
    }
    static qint64 now() { return s_clock.elapsed(); }
    static std::vector<Event> of(const std::vector<QObject *> &objects)
    {
        std::vector<Event> found;
        std::ranges::copy_if(s_events, std::back_inserter(found),
                             [&](const Event &e) { return std::ranges::find(objects, e.object) != objects.end(); });
        return found;
    }

private:
    static void record(QAccessibleEvent *event)
    {
        QString text;
        if (event->type() == QAccessible::TextUpdated)
            text = static_cast<QAccessibleTextUpdateEvent *>(event)->textInserted();
        s_events.push_back({event->object(), event->type(), text, s_clock.elapsed()});
    }

    static inline std::vector<Event> s_events;
    static inline QElapsedTimer s_clock;
    QAccessible::UpdateHandler m_previous;
};

// Ten times a second a live value would drown a screen reader's focus moves: it is told only the focused field's
// text, at most once a second (the first a second after the focus came, when it read the field in full), the last
// change included once the wheel stands still; the other fields it reads when it asks.
TEST_F(IndicatorsTest, AScreenReaderIsToldOnlyTheFocusedValueAndAtMostOnceASecond)
{
    if (QGuiApplication::platformName() != QLatin1String("offscreen"))
        GTEST_SKIP() << "the stand-in for a platform's bridge is the offscreen platform's";
    showWindow();
    TFMain &w = window();
    auto *focused = control<QLineEdit>("Edit1_encp1");
    focused->setFocus();
    ASSERT_TRUE(focused->hasFocus());
    std::vector<QObject *> fields;
    for (const char *name : {"Edit_date", "Edit_time", "Edit1_encp1", "Edit1_encv1", "Edit1_encp2", "Edit1_encv2",
                             "Edit1_encp3", "Edit1_encv3"})
        fields.push_back(control<QLineEdit>(name));
    const AccessibilityEvents events;
    const qint64 focusTick = events.now();
    // Every field changes at each tick for 2.5 s, then all stand still for 1.5 s.
    for (int tick = 0; tick < 40; ++tick) {
        const auto moved = uint8_t(std::min(tick, 25));
        receive(Report()
                    .clock(2026, 12, moved, 9, 5, moved)
                    .encoder(1, 0, moved, -moved)
                    .encoder(2, 0, moved, moved)
                    .encoder(3, 0, -moved, moved));
        w.UpdateDataTimerTimer();
        QTest::qWait(100);
    }

    const std::vector<AccessibilityEvents::Event> told = events.of(fields);
    ASSERT_GE(told.size(), 2u);
    qint64 last = focusTick;
    for (const auto &event : told) {
        EXPECT_EQ(event.object, focused) << qPrintable(event.object->objectName()) << " event type " << event.type;
        EXPECT_EQ(event.type, QAccessible::TextUpdated);
        EXPECT_GE(event.ms - last, 990) << "told again too soon"; // the program's clock is read a little earlier
        last = event.ms;
    }
    EXPECT_EQ(told.back().text.toStdString(), focused->text().toStdString())
        << "the value it stopped at was never told";
}

struct LongTextCase {
    const char *name;
    int language;
    uint8_t perMinute;
    const char *field;
    const char *shown;
    const char *number; // what must be in view from the field's left edge
};

class LongIndicatorText : public IndicatorsTest, public testing::WithParamInterface<LongTextCase> {};

// The field shows its text from the start: with a unit wider than the field the number stays in view, pixel for
// pixel as a field holding the number alone shows it.
TEST_P(LongIndicatorText, KeepsTheNumberInView)
{
    TFMain &w = window();
    w.decimalSeparator = '.';
    w.channelUnits = {QStringLiteral("impulsy enkodera"), QString(), QString()};
    LanguageSwitcher language;
    language.activate(GetParam().language);
    receive(Report().decimals(2).encoder(1, GetParam().perMinute, 40030.0f, -1024.0f));
    w.UpdateDataTimerTimer();
    auto *field = control<QLineEdit>(GetParam().field);
    ASSERT_EQ(field->text(), QString::fromUtf8(GetParam().shown));

    QLineEdit reference;
    reference.setFont(field->font());
    reference.setPalette(field->palette());
    reference.setReadOnly(true);
    reference.resize(field->size());
    reference.setText(QString::fromLatin1(GetParam().number));
    reference.setCursorPosition(0);
    const int numberWidth = field->fontMetrics().horizontalAdvance(QString::fromLatin1(GetParam().number));
    ASSERT_LT(numberWidth, field->width());
    const QRect start(0, 0, numberWidth, field->height());
    const auto pixels = [&start](QWidget *shown) {
        return shown->grab().toImage().convertToFormat(QImage::Format_RGB32).copy(start);
    };
    EXPECT_TRUE(pixels(field) == pixels(&reference))
        << "the field does not show \"" << GetParam().number << "\" at its start";
}

INSTANTIATE_TEST_SUITE_P(
    Units, LongIndicatorText,
    testing::Values(
        LongTextCase{"Position", kPolish, 0, "Edit1_encp1", " 40030.00 [impulsy enkodera]", " 40030.00"},
        LongTextCase{"VelocityPerSecond", kPolish, 0, "Edit1_encv1", " -1024.00 [impulsy enkodera/sek]", " -1024.00"},
        LongTextCase{"VelocityPerMinute", kPolish, 1, "Edit1_encv1", " -1024.00 [impulsy enkodera/min]", " -1024.00"},
        LongTextCase{"VelocityEnglish", kEnglish, 0, "Edit1_encv1", " -1024.00 [impulsy enkodera/sec]", " -1024.00"}),
    [](const auto &row) { return std::string(row.param.name); });

// A lamp tells assistive technology its caption and whether it is lit.
TEST_F(IndicatorsTest, LampsAreNamedAndSayWhetherTheyAreLit)
{
    TFMain &w = window();
    receive(Report().io(0x81));
    w.UpdateDataTimerTimer();
    for (const auto &[name, caption, lit] : {std::tuple{"Shape1", "OUT1", true}, std::tuple{"Shape2", "OUT2", false},
                                             std::tuple{"Shape8", "TRIG2", true}}) {
        QAccessibleInterface *lamp = QAccessible::queryAccessibleInterface(control<QWidget>(name));
        EXPECT_EQ(lamp->text(QAccessible::Name), QString::fromLatin1(caption));
        EXPECT_EQ(lamp->state().checked, lit) << name;
        EXPECT_EQ(lamp->text(QAccessible::Description), lit ? QStringLiteral("aktywne") : QStringLiteral("nieaktywne"));
    }
}

} // namespace
