// The configuration pages against the simulated instrument: the exact reports a click sends, and a full
// write-then-read round trip through the real window.
#include "window_fixture.h"

#include "config_bindings.h"

#include "sim_hid_platform.h"
#include "sim_instrument_device.h"

#include <QComboBox>
#include <QElapsedTimer>
#include <QImage>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTest>

#include <gmock/gmock.h>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

const torvex::NumberFormat kComma{",", "\u00a0"};

class ConfigWindowWithInstrument : public WindowFixture {
protected:
    void SetUp() override
    {
        WindowFixture::SetUp();
        platform = std::make_shared<torvex::sim::SimHidPlatform>();
        instrument = std::make_unique<torvex::sim::SimInstrumentDevice>(*platform);
        options().hidPlatform = platform;
    }

    void TearDown() override
    {
        WindowFixture::TearDown();
        instrument.reset();
    }

    // The window, connected to the instrument.
    TFMain &connected()
    {
        TFMain &w = window();
        waitFor([&] { return w.Connected(); });
        w.configNumberFormat = kComma;
        return w;
    }

    bool waitFor(const std::function<bool()> &done)
    {
        QElapsedTimer timer;
        timer.start();
        while (!done()) {
            if (timer.elapsed() > 5000)
                return false;
            QApplication::processEvents(QEventLoop::AllEvents, 10);
        }
        return true;
    }

    size_t writeCount() const { return instrument->device()->writtenReports().size(); }

    // Output reports written to the instrument since `from`, report id first.
    std::vector<Bytes> writtenSince(size_t from) const
    {
        const auto all = instrument->device()->writtenReports();
        return {all.begin() + static_cast<std::ptrdiff_t>(from), all.end()};
    }

    // Lets the instrument's replies reach the window.
    void settle()
    {
        waitFor([&] { return instrument->device()->pendingInputReports() == 0; });
        QApplication::processEvents();
    }

public:
    void setText(const char *field, const QString &text) { control<QLineEdit>(field)->setText(text); }
    void select(const char *list, int index) { control<QComboBox>(list)->setCurrentIndex(index); }

protected:
    std::shared_ptr<torvex::sim::SimHidPlatform> platform;
    std::unique_ptr<torvex::sim::SimInstrumentDevice> instrument;
};

Bytes framed(uint8_t command, const Bytes &payload)
{
    // Built in place: GCC 12 for Windows at -O3 takes an insert into a two-byte vector for a write out of bounds.
    Bytes report(65, 0);
    report[0] = 1;
    report[1] = command;
    std::copy_n(payload.begin(), std::min<size_t>(payload.size(), report.size() - 2), report.begin() + 2);
    return report;
}

Bytes rulesExample()
{
    Bytes p{8, 0, 2, 0, 1, 102, 230, 246, 66, 0, 0, 0, 0, 0, 0, 0, 1, 0, 1, 0, 0, 0, 0};
    p.resize(44, 0);
    return p;
}

enum class Colour { Normal, Error, Corrected };

struct WriteCase {
    const char *name;
    std::function<void(ConfigWindowWithInstrument &)> prepare;
    const char *button;
    Bytes payload; // empty: nothing written
    // The field whose text and colour the click decides, if any.
    const char *field = nullptr;
    const char *shown = nullptr;
    Colour colour = Colour::Normal;
    // What the field then tells a screen reader (its description and tooltip), where the case checks it.
    const char *said = nullptr;
};

class WriteButtons : public ConfigWindowWithInstrument, public testing::WithParamInterface<WriteCase> {};

TEST_P(WriteButtons, SendExactlyThisReport)
{
    connected();
    GetParam().prepare(*this);
    const size_t before = writeCount();
    click(GetParam().button);
    const auto sent = writtenSince(before);
    if (GetParam().payload.empty()) {
        EXPECT_THAT(sent, testing::IsEmpty());
    } else {
        EXPECT_THAT(sent, testing::ElementsAre(framed(2, GetParam().payload)));
    }
    if (!GetParam().field)
        return;
    auto *field = control<QLineEdit>(GetParam().field);
    EXPECT_EQ(field->text(), QString::fromUtf8(GetParam().shown));
    const QColor expected = GetParam().colour == Colour::Error ? TFMain::errorColour()
        : GetParam().colour == Colour::Corrected               ? TFMain::correctedColour()
                                                               : TFMain::normalFieldColour(field);
    EXPECT_EQ(field->palette().color(QPalette::Active, QPalette::Base), expected);
    if (GetParam().said) {
        EXPECT_EQ(field->accessibleDescription(), QString::fromUtf8(GetParam().said));
        EXPECT_EQ(field->toolTip(), QString::fromUtf8(GetParam().said));
    }
}

using W = ConfigWindowWithInstrument;
auto text(const char *field, const char *value)
{
    return [=](W &t) { t.setText(field, QString::fromUtf8(value)); };
}
auto pick(const char *list, int index)
{
    return [=](W &t) { t.select(list, index); };
}
auto both(std::function<void(W &)> a, std::function<void(W &)> b)
{
    return [=](W &t) { a(t), b(t); };
}
void exampleRules(W &t)
{
    t.select("out1_W", 2), t.select("out1_B", 0), t.select("out1_S", 1), t.setText("out1_N", "123,45");
    t.select("out2_W", 0);
    t.select("out3_W", 1), t.select("out3_S", 1);
    t.select("out4_W", 0);
}

INSTANTIATE_TEST_SUITE_P(
    Table, WriteButtons,
    testing::Values(
        WriteCase{"GateTime0",
                  text("enc_time_1", "0"),
                  "button_time1",
                  {1, 0, 1, 0, 0, 0},
                  "enc_time_1",
                  "1",
                  Colour::Corrected,
                  "Ograniczono do 1. Wysłano"},
        WriteCase{"GateTime70000Enc3",
                  text("enc_time_3", "70000"),
                  "button_time3",
                  {1, 2, 255, 255, 0, 0},
                  "enc_time_3",
                  "65535",
                  Colour::Corrected},
        WriteCase{"GateTimeEmpty",
                  text("enc_time_2", ""),
                  "button_time2",
                  {},
                  "enc_time_2",
                  "",
                  Colour::Error,
                  "To nie jest liczba. Nie wysłano"},
        WriteCase{"Resolution20000",
                  text("enc_resolution_2", "20000"),
                  "button_resolution2",
                  {2, 1, 255, 63, 0, 0},
                  "enc_resolution_2",
                  "16383",
                  Colour::Corrected},
        WriteCase{"Coeff150",
                  text("enc_coeff_1", "150"),
                  "button_enccoeff1",
                  {3, 0, 0, 0, 22, 67},
                  "enc_coeff_1",
                  "150",
                  Colour::Normal,
                  "Wysłano"},
        WriteCase{"Coeff12345",
                  text("enc_coeff_1", "12345"),
                  "button_enccoeff1",
                  {3, 0, 255, 63, 28, 70},
                  "enc_coeff_1",
                  "9999,999",
                  Colour::Corrected},
        WriteCase{"CoeffMinus10000",
                  text("enc_coeff_2", "-10000"),
                  "button_enccoeff2",
                  {3, 1, 0, 64, 28, 198},
                  "enc_coeff_2",
                  "-10000"},
        WriteCase{"Coeff10000comma5",
                  text("enc_coeff_3", "10000,5"),
                  "button_enccoeff3",
                  {3, 2, 255, 63, 28, 70},
                  "enc_coeff_3",
                  "9999,999",
                  Colour::Corrected},
        WriteCase{"Coeff1comma5",
                  text("enc_coeff_1", "1,5"),
                  "button_enccoeff1",
                  {3, 0, 0, 0, 192, 63},
                  "enc_coeff_1",
                  "1,5"},
        WriteCase{"OffsetMinus1",
                  text("enc_offset_3", "-1"),
                  "button_encoffset3",
                  {4, 2, 0, 0, 128, 191},
                  "enc_offset_3",
                  "-1"},
        WriteCase{
            "OffsetLetters", text("enc_offset_1", "x"), "button_encoffset1", {}, "enc_offset_1", "x", Colour::Error},
        WriteCase{"ModeEnc3PerMinute", pick("enc_mode_3", 1), "button_encmode3", {0, 2, 1}},
        WriteCase{"ClearByIndexEnc2", pick("enc_clear_2", 1), "button_encclearC2", {16, 1, 1}},
        WriteCase{"ClearPositionEnc2", [](W &) {}, "button_encclear2", {10, 1}},
        WriteCase{"Rules", exampleRules, "BitBtn43", rulesExample()},
        WriteCase{"RulesLettersFixedSource", both(exampleRules, both(pick("out2_W", 1), text("out2_N", "abc"))),
                  "BitBtn43",
                  [] {
                      Bytes p = rulesExample();
                      p[9] = 1;
                      return p;
                  }(),
                  "out2_N", "abc", Colour::Normal, ""},
        WriteCase{"RulesLettersEncoderSource",
                  both(exampleRules, both(pick("out3_W", 3), text("out3_N", "abc"))),
                  "BitBtn43",
                  {},
                  "out3_N",
                  "abc",
                  Colour::Error,
                  "To nie jest liczba. Nie wysłano"},
        WriteCase{"RulesThresholdCapped", both(exampleRules, text("out1_N", "20000")), "BitBtn43",
                  [] {
                      Bytes p = rulesExample();
                      p[5] = 255, p[6] = 63, p[7] = 28, p[8] = 70;
                      return p;
                  }(),
                  "out1_N", "9999,999", Colour::Corrected, "Ograniczono do 9999,999. Wysłano"},
        WriteCase{"TriggerFilterMinus5",
                  text("trigger_filter", "-5"),
                  "BitBtn55",
                  {7, 0, 0, 0, 0, 0},
                  "trigger_filter",
                  "0",
                  Colour::Corrected},
        WriteCase{"TriggerFilterCap",
                  text("trigger_filter", "99999"),
                  "BitBtn55",
                  {7, 0, 15, 39, 0, 0},
                  "trigger_filter",
                  "9999",
                  Colour::Corrected},
        WriteCase{"SendTime0",
                  text("trigger_time", "0"),
                  "BitBtn45",
                  {6, 0, 1, 0, 0, 0},
                  "trigger_time",
                  "1",
                  Colour::Corrected},
        WriteCase{"SendTimeCap",
                  text("trigger_time", "10000"),
                  "BitBtn45",
                  {6, 0, 15, 39, 0, 0},
                  "trigger_time",
                  "9999",
                  Colour::Corrected},
        WriteCase{"SendTime1000", text("trigger_time", "1000"), "BitBtn45", {6, 0, 232, 3, 0, 0}},
        WriteCase{"TransmissionMode", pick("trigger_mode", 2), "BitBtn53", {5, 0, 2}},
        WriteCase{"TriggerMasterMode", pick("trig_master_mode", 1), "BitBtn9", {13, 0, 1}},
        WriteCase{"RegisterType3", pick("trig_master_type_3", 4), "button_trigmastetype_3", {14, 2, 4}},
        WriteCase{"GreenDisplay", pick("Led4", 9), "BitBtn20", {19, 0, 9}},
        WriteCase{"RedDisplay", pick("Led", 1), "BitBtn22", {18, 0, 1}},
        WriteCase{"Beeper", pick("Beep", 1), "BitBtn24", {20, 0, 1}},
        WriteCase{"Dot", pick("Dot", 4), "BitBtn18", {17, 0, 4}},
        WriteCase{"ModbusAddress247", pick("mod_adr", 246), "BitBtn7", {11, 0, 247}},
        WriteCase{"ModbusAddress1", pick("mod_adr", 0), "BitBtn7", {11, 0, 1}},
        WriteCase{"ModbusBaud115200", pick("mod_br", 4), "BitBtn16", {12, 0, 4}},
        // A list left without a selection by a reply sends nothing rather than 255 or the broadcast address.
        WriteCase{"AddressWithoutSelection", pick("mod_adr", -1), "BitBtn7", {}},
        WriteCase{"DisplayWithoutSelection", pick("Led4", -1), "BitBtn20", {}}),
    [](const testing::TestParamInfo<WriteCase> &p) { return std::string(p.param.name); });

// The Write buttons of the parameter table, written out with the parameter and channel each writes: the binding
// table holds each once, and no other.
TEST(ConfigBindings, EveryWriteButtonWritesItsParameterAndChannel)
{
    using torvex::ParamId;
    const std::map<std::string, std::pair<ParamId, int>> expected{
        {"button_encmode1", {ParamId::EncMode, 0}},
        {"button_encmode2", {ParamId::EncMode, 1}},
        {"button_encmode3", {ParamId::EncMode, 2}},
        {"button_time1", {ParamId::EncGateTime, 0}},
        {"button_time2", {ParamId::EncGateTime, 1}},
        {"button_time3", {ParamId::EncGateTime, 2}},
        {"button_resolution1", {ParamId::EncResolution, 0}},
        {"button_resolution2", {ParamId::EncResolution, 1}},
        {"button_resolution3", {ParamId::EncResolution, 2}},
        {"button_enccoeff1", {ParamId::EncCoeff, 0}},
        {"button_enccoeff2", {ParamId::EncCoeff, 1}},
        {"button_enccoeff3", {ParamId::EncCoeff, 2}},
        {"button_encoffset1", {ParamId::EncOffset, 0}},
        {"button_encoffset2", {ParamId::EncOffset, 1}},
        {"button_encoffset3", {ParamId::EncOffset, 2}},
        {"button_encclearC1", {ParamId::EncClearByIndex, 0}},
        {"button_encclearC2", {ParamId::EncClearByIndex, 1}},
        {"button_encclearC3", {ParamId::EncClearByIndex, 2}},
        {"button_encclear1", {ParamId::EncClearPosition, 0}},
        {"button_encclear2", {ParamId::EncClearPosition, 1}},
        {"button_encclear3", {ParamId::EncClearPosition, 2}},
        {"BitBtn43", {ParamId::OutputRules, 0}},
        {"BitBtn9", {ParamId::TriggerMasterMode, 0}},
        {"BitBtn55", {ParamId::TriggerFilter, 0}},
        {"BitBtn53", {ParamId::TransmissionMode, 0}},
        {"BitBtn45", {ParamId::SendInterval, 0}},
        {"button_trigmastetype_1", {ParamId::TriggerRegisterType, 0}},
        {"button_trigmastetype_2", {ParamId::TriggerRegisterType, 1}},
        {"button_trigmastetype_3", {ParamId::TriggerRegisterType, 2}},
        {"BitBtn20", {ParamId::GreenDisplay, 0}},
        {"BitBtn22", {ParamId::RedDisplay, 0}},
        {"BitBtn24", {ParamId::Beeper, 0}},
        {"BitBtn18", {ParamId::DotPosition, 0}},
        {"BitBtn7", {ParamId::ModbusAddress, 0}},
        {"BitBtn16", {ParamId::ModbusBaud, 0}},
    };
    std::map<std::string, std::pair<ParamId, int>> bound;
    for (const ConfigBinding &row : configBindings()) {
        if (row.writeButton) {
            EXPECT_TRUE(bound.emplace(row.writeButton, std::pair{row.id, int(row.channel)}).second) << row.writeButton;
        }
    }
    EXPECT_EQ(bound, expected);
}

// Whatever Read buttons the binding table holds, each sends the report worked out by hand from the read-request
// table (report id 1, command 1, parameter id, channel, zeros up to 65 bytes), when clicked and when its own
// handler is called; and the table holds every one of them, and nothing else captioned "Odczytaj".
TEST_F(ConfigWindowWithInstrument, EveryReadButtonOfTheBindingTableSendsItsRequestByClickAndByHandler)
{
    const auto report = [](Bytes head) {
        head.resize(65, 0);
        return head;
    };
    struct Expected {
        TFMain::Handler handler;
        Bytes report;
    };
    const std::map<std::string, Expected> expected{
        {"button_1", {&TFMain::button_1Click, report({1, 1, 9, 0})}},
        {"button_2", {&TFMain::button_2Click, report({1, 1, 9, 1})}},
        {"BitBtn14", {&TFMain::BitBtn14Click, report({1, 1, 9, 2})}},
        {"BitBtn44", {&TFMain::BitBtn44Click, report({1, 1, 8, 0})}},
        {"BitBtn54", {&TFMain::BitBtn54Click, report({1, 1, 5, 0})}},
        {"BitBtn46", {&TFMain::BitBtn46Click, report({1, 1, 6, 0})}},
        {"BitBtn56", {&TFMain::BitBtn56Click, report({1, 1, 7, 0})}},
        {"BitBtn10", {&TFMain::BitBtn10Click, report({1, 1, 13, 0})}},
        {"BitBtn12", {&TFMain::BitBtn12Click, report({1, 1, 14, 0})}},
        {"BitBtn3", {&TFMain::BitBtn3Click, report({1, 1, 14, 1})}},
        {"BitBtn8", {&TFMain::BitBtn8Click, report({1, 1, 14, 2})}},
        {"BitBtn21", {&TFMain::BitBtn21Click, report({1, 1, 19, 0})}},
        {"BitBtn23", {&TFMain::BitBtn23Click, report({1, 1, 18, 0})}},
        {"BitBtn25", {&TFMain::BitBtn25Click, report({1, 1, 20, 0})}},
        {"BitBtn19", {&TFMain::BitBtn19Click, report({1, 1, 17, 0})}},
        {"BitBtn15", {&TFMain::BitBtn15Click, report({1, 1, 11, 0})}},
        {"BitBtn17", {&TFMain::BitBtn17Click, report({1, 1, 12, 0})}},
    };
    TFMain &w = connected();
    std::set<std::string> inCatalogue;
    for (const ConfigBinding &row : configBindings()) {
        if (!row.readButton)
            continue;
        const std::string name(row.readButton);
        EXPECT_TRUE(inCatalogue.insert(name).second) << name << " twice";
        SCOPED_TRACE(name);
        const auto it = expected.find(name);
        ASSERT_NE(it, expected.end()) << "not a Read button";
        size_t before = writeCount();
        click(name.c_str());
        EXPECT_THAT(writtenSince(before), testing::ElementsAre(it->second.report));
        before = writeCount();
        (w.*it->second.handler)();
        EXPECT_THAT(writtenSince(before), testing::ElementsAre(it->second.report));
    }
    for (const auto &[name, unused] : expected)
        EXPECT_TRUE(inCatalogue.count(name)) << name << " is missing from the catalogue";
    for (const QAbstractButton *button : w.findChildren<QAbstractButton *>()) {
        if (button->text() == QStringLiteral("Odczytaj")) {
            EXPECT_TRUE(inCatalogue.count(button->objectName().toStdString())) << button->objectName().toStdString();
        }
    }
}

TEST_F(ConfigWindowWithInstrument, ClickOnTheMemoAsksForStatisticsAndShowsThem)
{
    instrument->driver().withInstrument(
        [](auto &i) { i.parameters().modbusStats = {1, 2, 3, 4, 5, 6, 7, 8, 0xffffffffu}; });
    connected();
    auto *memo = control<QPlainTextEdit>("DebugMemo");
    memo->show(); // hidden at start-up; the user never reaches it
    const size_t before = writeCount();
    QTest::mouseClick(memo->viewport(), Qt::LeftButton);
    EXPECT_THAT(writtenSince(before), testing::ElementsAre(framed(1, {15, 0})));
    ASSERT_TRUE(waitFor([&] { return memo->toPlainText().startsWith("====="); }));
    EXPECT_EQ(memo->toPlainText().split('\n').last(), "ID:  -1");
    EXPECT_EQ(window().modbusStats[3], 4);
}

TEST_F(ConfigWindowWithInstrument, WithoutAccessNothingIsSentButColoursStillChange)
{
    instrument.reset();
    torvex::sim::SimDeviceDescription description = torvex::sim::instrumentDeviceDescription();
    description.readWriteAccess = false;
    instrument = std::make_unique<torvex::sim::SimInstrumentDevice>(*platform, description);
    TFMain &w = window();
    QApplication::processEvents();
    ASSERT_FALSE(w.Connected());
    w.configNumberFormat = kComma;
    setText("enc_time_1", "0");
    setText("enc_coeff_2", "abc");
    click("button_time1");
    click("button_enccoeff2");
    click("button_1");
    click("BitBtn7");
    EXPECT_EQ(writeCount(), 0u);
    EXPECT_EQ(control<QLineEdit>("enc_time_1")->text(), "1");
    EXPECT_EQ(control<QLineEdit>("enc_time_1")->palette().color(QPalette::Active, QPalette::Base),
              TFMain::correctedColour());
    EXPECT_EQ(control<QLineEdit>("enc_coeff_2")->palette().color(QPalette::Active, QPalette::Base),
              TFMain::errorColour());
    EXPECT_EQ(control<QLineEdit>("enc_time_1")->accessibleDescription(),
              QStringLiteral("Ograniczono do 1. Nie wysłano: brak połączenia z urządzeniem"));
    // The words go with the colour when the user clicks into the field.
    QTest::mouseClick(control<QLineEdit>("enc_coeff_2"), Qt::LeftButton);
    EXPECT_EQ(control<QLineEdit>("enc_coeff_2")->accessibleDescription(), QString());
    EXPECT_EQ(control<QLineEdit>("enc_coeff_2")->toolTip(), QString());
}

// Every parameter written with a value the instrument does not start with, then read back into a fresh window.
TEST_F(ConfigWindowWithInstrument, RoundTripThroughTheInstrument)
{
    struct Field {
        const char *name;
        const char *written;
        const char *readBack;
    };
    const std::vector<std::pair<const char *, Field>> fields{
        {"button_time1", {"enc_time_1", "250", "250"}},
        {"button_time2", {"enc_time_2", "2500", "2500"}},
        {"button_time3", {"enc_time_3", "65535", "65535"}},
        {"button_resolution1", {"enc_resolution_1", "360", "360"}},
        {"button_resolution2", {"enc_resolution_2", "500", "500"}},
        {"button_resolution3", {"enc_resolution_3", "16383", "16383"}},
        {"button_enccoeff1", {"enc_coeff_1", "150,0", "150,000"}},
        {"button_enccoeff2", {"enc_coeff_2", "-2,5", "-2,500"}},
        {"button_enccoeff3", {"enc_coeff_3", "0,125", "0,125"}},
        {"button_encoffset1", {"enc_offset_1", "10", "10,000"}},
        {"button_encoffset2", {"enc_offset_2", "-9999,999", "-9999,999"}},
        {"button_encoffset3", {"enc_offset_3", "0,5", "0,500"}},
        {"BitBtn45", {"trigger_time", "250", "250"}},
        {"BitBtn55", {"trigger_filter", "0", "0"}},
    };
    const std::vector<std::pair<const char *, std::pair<const char *, int>>> lists{
        {"button_encmode1", {"enc_mode_1", 1}},
        {"button_encmode2", {"enc_mode_2", 1}},
        {"button_encmode3", {"enc_mode_3", 1}},
        {"button_encclearC1", {"enc_clear_1", 1}},
        {"button_encclearC2", {"enc_clear_2", 1}},
        {"button_encclearC3", {"enc_clear_3", 1}},
        {"BitBtn53", {"trigger_mode", 1}},
        {"BitBtn9", {"trig_master_mode", 1}},
        {"button_trigmastetype_1", {"trig_master_type_1", 5}},
        {"button_trigmastetype_2", {"trig_master_type_2", 4}},
        {"button_trigmastetype_3", {"trig_master_type_3", 3}},
        {"BitBtn20", {"Led4", 7}},
        {"BitBtn22", {"Led", 1}},
        {"BitBtn24", {"Beep", 1}},
        {"BitBtn18", {"Dot", 5}},
        {"BitBtn7", {"mod_adr", 246}},
        {"BitBtn16", {"mod_br", 3}},
    };

    connected();
    for (const auto &[button, f] : fields) {
        setText(f.name, f.written);
        click(button);
    }
    for (const auto &[button, l] : lists) {
        select(l.first, l.second);
        click(button);
    }
    select("out1_W", 7), select("out1_B", 1), select("out1_S", 1), setText("out1_N", "-12,5");
    select("out2_W", 1), select("out2_S", 1);
    select("out3_W", 2), setText("out3_N", "9999,999");
    select("out4_W", 5), select("out4_B", 1), setText("out4_N", "0,001");
    click("BitBtn43");
    settle();
    EXPECT_THAT(errors(), testing::IsEmpty());

    closeWindow();
    connected();
    for (const char *read :
         {"button_1", "button_2", "BitBtn14", "BitBtn44", "BitBtn54", "BitBtn46", "BitBtn56", "BitBtn10", "BitBtn12",
          "BitBtn3", "BitBtn8", "BitBtn21", "BitBtn23", "BitBtn25", "BitBtn19", "BitBtn15", "BitBtn17"})
        click(read);
    ASSERT_TRUE(waitFor([&] { return control<QComboBox>("mod_br")->currentIndex() == 3; }));
    settle();

    for (const auto &[button, f] : fields)
        EXPECT_EQ(control<QLineEdit>(f.name)->text(), f.readBack) << f.name;
    for (const auto &[button, l] : lists)
        EXPECT_EQ(control<QComboBox>(l.first)->currentIndex(), l.second) << l.first;
    const std::vector<std::pair<const char *, int>> outputs{{"out1_W", 7}, {"out1_B", 1}, {"out1_S", 1}, {"out2_W", 1},
                                                            {"out2_S", 1}, {"out3_W", 2}, {"out4_W", 5}, {"out4_B", 1}};
    for (const auto &[name, index] : outputs)
        EXPECT_EQ(control<QComboBox>(name)->currentIndex(), index) << name;
    EXPECT_EQ(control<QLineEdit>("out1_N")->text(), "-12,500");
    EXPECT_EQ(control<QLineEdit>("out2_N")->text(), "0,000");
    EXPECT_EQ(control<QLineEdit>("out3_N")->text(), "9999,999");
    EXPECT_EQ(control<QLineEdit>("out4_N")->text(), "0,001");
    EXPECT_TRUE(control<QWidget>("out1_N")->isEnabled());
    EXPECT_FALSE(control<QWidget>("out2_N")->isEnabled());
}

// ------------------------------------------------------------------ lists without a selection

const QString kNotSentPolish = QStringLiteral("Nie wysłano: lista bez wyboru");

class ListsWithoutSelection : public ConfigWindowWithInstrument {
protected:
    QComboBox *list(const char *name) { return control<QComboBox>(name); }
    bool marked(const char *name)
    {
        const bool flagged = TFMain::isListMarked(list(name));
        // The flag and what the list is painted with never disagree.
        EXPECT_EQ(flagged, list(name)->palette().color(QPalette::Active, QPalette::Button) == TFMain::correctedColour())
            << name;
        return flagged;
    }

    // An instrument whose rule memory is erased: source 0, condition and state 0xFF on all four outputs;
    // the user reads the rules into the window.
    void readErasedRules()
    {
        instrument->driver().withInstrument([](torvex::sim::Instrument &i) {
            for (auto &rule : i.parameters().outputs)
                rule = {0, 0xFF, 0xFF, 0.0f};
        });
        connected();
        click("BitBtn44");
        ASSERT_TRUE(waitFor([&] { return list("out4_S")->currentIndex() == -1; }));
        settle();
    }

    // The user picks an item with the keyboard, so the list's change handler runs as for a real pick.
    void pickDown(const char *name, int steps)
    {
        for (int i = 0; i < steps; ++i)
            QTest::keyClick(list(name), Qt::Key_Down);
    }
};

// Payload bytes of the rules with every output at source 0 and both of its lists without a selection.
Bytes erasedRulesPayload()
{
    Bytes p(44, 0);
    p[0] = 8;
    for (size_t k = 0; k < 4; ++k) // each output's seven bytes: source 0, the two lists 255, threshold 0
        p[2 + 7 * k + 1] = p[2 + 7 * k + 2] = 255;
    return p;
}

TEST_F(ListsWithoutSelection, ErasedRulesReadBackAreSavedWith255ForTheDisabledLists)
{
    readErasedRules();
    for (const char *name : {"out1_B", "out1_S", "out2_B", "out2_S", "out3_B", "out3_S", "out4_B", "out4_S"}) {
        EXPECT_EQ(list(name)->currentIndex(), -1) << name;
        EXPECT_FALSE(list(name)->isEnabled()) << name;
    }
    EXPECT_EQ(list("out1_W")->currentText(), QStringLiteral("Wyjście nieaktywne"));

    const size_t before = writeCount();
    click("BitBtn43");
    EXPECT_THAT(writtenSince(before), testing::ElementsAre(framed(2, erasedRulesPayload())));
    for (const char *name : {"out1_W", "out1_B", "out1_S", "out4_S"})
        EXPECT_FALSE(marked(name)) << name;
    // The instrument takes it: its acknowledgement reaches the status bar.
    ASSERT_TRUE(
        waitFor([&] { return window().statusPanelText(0) == QStringLiteral("Zaktualizowane parametr: [8][0]"); }));
}

TEST_F(ListsWithoutSelection, RulesWriteRefusedForAnEnabledListMarksItAndSaysWhy)
{
    readErasedRules();
    pickDown("out2_W", 2); // "ENKODER [1] (pozycja) ": condition and state become enabled, still without selection
    ASSERT_EQ(list("out2_W")->currentIndex(), 2);
    ASSERT_TRUE(list("out2_B")->isEnabled());
    setText("out2_N", "5");

    size_t before = writeCount();
    click("BitBtn43");
    EXPECT_THAT(writtenSince(before), testing::IsEmpty());
    EXPECT_TRUE(marked("out2_B"));
    EXPECT_TRUE(marked("out2_S"));
    EXPECT_FALSE(marked("out2_W"));
    EXPECT_FALSE(marked("out1_B")); // disabled: never in the way
    EXPECT_EQ(window().statusPanelText(0), kNotSentPolish);

    pickDown("out2_B", 1);
    EXPECT_FALSE(marked("out2_B"));
    EXPECT_TRUE(marked("out2_S"));

    control<QComboBox>("LangCombo1")->setCurrentIndex(1); // the user picks English
    Q_EMIT control<QComboBox>("LangCombo1")->activated(1);
    click("BitBtn43");
    EXPECT_EQ(window().statusPanelText(0), QStringLiteral("Not sent: a list has no selection"));
    EXPECT_THAT(writtenSince(before), testing::IsEmpty());

    pickDown("out2_S", 2); // from no selection: first item, then "Active"
    ASSERT_EQ(list("out2_S")->currentIndex(), 1);
    before = writeCount();
    click("BitBtn43");
    Bytes expected = erasedRulesPayload();
    const Bytes record2{2, 0, 1, 0, 0, 160, 64}; // 5.0f is 0x40A00000
    std::copy(record2.begin(), record2.end(), expected.begin() + 9);
    EXPECT_THAT(writtenSince(before), testing::ElementsAre(framed(2, expected)));
    EXPECT_FALSE(marked("out2_S"));
}

TEST_F(ListsWithoutSelection, ListsDisabledByAFixedSourceLoseTheirMark)
{
    readErasedRules();
    pickDown("out3_W", 3);
    click("BitBtn43");
    ASSERT_TRUE(marked("out3_B"));
    QTest::keyClick(list("out3_W"), Qt::Key_Home); // back to "Wyjście nieaktywne"
    EXPECT_FALSE(list("out3_B")->isEnabled());
    EXPECT_FALSE(marked("out3_B"));
    EXPECT_FALSE(marked("out3_S"));
}

struct SingleListCase {
    const char *list;
    const char *button;
    Bytes payloadAtFirstItem;
};

class SingleListWithoutSelection : public ListsWithoutSelection, public testing::WithParamInterface<SingleListCase> {};

TEST_P(SingleListWithoutSelection, IsMarkedAndExplainedUntilItHasOne)
{
    connected();
    select(GetParam().list, -1);
    size_t before = writeCount();
    click(GetParam().button);
    EXPECT_THAT(writtenSince(before), testing::IsEmpty());
    EXPECT_TRUE(marked(GetParam().list));
    EXPECT_EQ(window().statusPanelText(0), kNotSentPolish);
    EXPECT_EQ(list(GetParam().list)->accessibleDescription(), kNotSentPolish);

    select(GetParam().list, 0);
    EXPECT_FALSE(marked(GetParam().list));
    EXPECT_EQ(list(GetParam().list)->accessibleDescription(), QString());
    before = writeCount();
    click(GetParam().button);
    EXPECT_THAT(writtenSince(before), testing::ElementsAre(framed(2, GetParam().payloadAtFirstItem)));
    EXPECT_EQ(list(GetParam().list)->accessibleDescription(), QStringLiteral("Wysłano"));
}

INSTANTIATE_TEST_SUITE_P(
    EveryListWrite, SingleListWithoutSelection,
    testing::Values(SingleListCase{"enc_mode_2", "button_encmode2", {0, 1, 0}},
                    SingleListCase{"enc_clear_3", "button_encclearC3", {16, 2, 0}},
                    SingleListCase{"trig_master_type_1", "button_trigmastetype_1", {14, 0, 0}},
                    SingleListCase{"trigger_mode", "BitBtn53", {5, 0, 0}},
                    SingleListCase{"trig_master_mode", "BitBtn9", {13, 0, 0}},
                    SingleListCase{"Led4", "BitBtn20", {19, 0, 0}}, SingleListCase{"Led", "BitBtn22", {18, 0, 0}},
                    SingleListCase{"Beep", "BitBtn24", {20, 0, 0}}, SingleListCase{"Dot", "BitBtn18", {17, 0, 0}},
                    SingleListCase{"mod_adr", "BitBtn7", {11, 0, 1}}, SingleListCase{"mod_br", "BitBtn16", {12, 0, 0}}),
    [](const testing::TestParamInfo<SingleListCase> &p) { return std::string(p.param.list); });

TEST_F(ListsWithoutSelection, AReplyThatSelectsAnItemClearsTheMark)
{
    connected();
    select("mod_adr", -1);
    click("BitBtn7");
    ASSERT_TRUE(marked("mod_adr"));
    click("BitBtn15"); // the instrument answers with address 1
    ASSERT_TRUE(waitFor([&] { return list("mod_adr")->currentIndex() == 0; }));
    EXPECT_FALSE(marked("mod_adr"));
}

// Native styles may paint a field from the system theme whatever its palette says: check the pixels.
TEST_F(ConfigWindowWithInstrument, FieldColoursAreWhatTheFieldsArePaintedWith)
{
    connected();
    // A point right of the text, inside the frame.
    const auto paint = [&](const char *name) {
        const QImage image = control<QLineEdit>(name)->grab().toImage();
        return image.pixelColor(image.width() * 3 / 4, image.height() / 2);
    };
    const QColor plain = paint("enc_time_1");
    setText("enc_time_1", "");
    click("button_time1");
    const QColor error = paint("enc_time_1");
    setText("enc_time_2", "0");
    click("button_time2");
    const QColor corrected = paint("enc_time_2");

    EXPECT_LT(std::abs(plain.red() - plain.green()), 4);
    EXPECT_LT(std::abs(plain.red() - plain.blue()), 4);
    // Light red (253, 124, 102) and light green (192, 220, 192).
    EXPECT_GE(error.red() - error.green(), 60) << error.name().toStdString();
    EXPECT_GE(error.red() - error.blue(), 60) << error.name().toStdString();
    EXPECT_GE(corrected.green() - corrected.red(), 12) << corrected.name().toStdString();
    EXPECT_GE(corrected.green() - corrected.blue(), 12) << corrected.name().toStdString();
}

TEST_F(ListsWithoutSelection, TheMarkIsWhatTheListIsPaintedWith)
{
    connected();
    QComboBox *beep = list("Beep");
    const QImage before = beep->grab().toImage();
    select("Beep", -1);
    click("BitBtn24");
    const QImage after = beep->grab().toImage();
    // The style shades the button colour, so compare the tint: the light green of the corrected colour
    // against the neutral grey of a normal list.
    const auto tint = [](const QImage &image) {
        const QColor c = image.pixelColor(image.width() / 3, image.height() / 2);
        return std::pair{c.green() - c.red(), c.green() - c.blue()};
    };
    const auto [plainRed, plainBlue] = tint(before);
    const auto [markedRed, markedBlue] = tint(after);
    EXPECT_LT(std::abs(plainRed), 4);
    EXPECT_LT(std::abs(plainBlue), 4);
    EXPECT_GE(markedRed, 12);
    EXPECT_GE(markedBlue, 12);

    select("Beep", 1);
    ASSERT_FALSE(marked("Beep"));
    const auto [clearedRed, clearedBlue] = tint(beep->grab().toImage());
    EXPECT_LT(std::abs(clearedRed), 4);
    EXPECT_LT(std::abs(clearedBlue), 4);
}

} // namespace
