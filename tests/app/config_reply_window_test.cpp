// Configuration replies put into the real window's controls, and the field colours and output enabling the
// user sees on the configuration pages.
#include "window_fixture.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPalette>
#include <QPlainTextEdit>
#include <QTest>

#include <gmock/gmock.h>

#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

const torvex::NumberFormat kComma{",", "\u00a0"};
const torvex::NumberFormat kDot{".", ","};

Bytes padded(Bytes data)
{
    data.resize(64, 0);
    return data;
}

class ConfigReplyWindow : public WindowFixture {
protected:
    void reply(const Bytes &data) { window().DecodeConfigReply(padded(data)); }

    QString item(const char *list) { return control<QComboBox>(list)->currentText(); }
    int index(const char *list) { return control<QComboBox>(list)->currentIndex(); }
    bool enabled(const char *name) { return control<QWidget>(name)->isEnabled(); }
    QColor colour(const char *field)
    {
        return control<QLineEdit>(field)->palette().color(QPalette::Active, QPalette::Base);
    }
    QColor normal(const char *field) { return TFMain::normalFieldColour(control<QLineEdit>(field)); }
};

struct ReplyExample {
    const torvex::NumberFormat *format;
    Bytes data;
    std::vector<std::pair<const char *, QString>> expected; // control -> text shown
};

class ReplyExamples : public ConfigReplyWindow, public testing::WithParamInterface<ReplyExample> {};

TEST_P(ReplyExamples, ShowTheValuesInTheControls)
{
    window().configNumberFormat = *GetParam().format;
    reply(GetParam().data);
    for (const auto &[name, shown] : GetParam().expected) {
        QWidget *w = control<QWidget>(name);
        if (auto *list = qobject_cast<QComboBox *>(w)) {
            EXPECT_EQ(list->currentText(), shown) << name;
        } else if (auto *field = qobject_cast<QLineEdit *>(w)) {
            EXPECT_EQ(field->text(), shown) << name;
        }
    }
}

const Bytes kEncoder2{1, 9, 1, 1, 0, 232, 3, 0, 0, 0, 4, 0, 0, 0, 0, 22, 67, 0, 0, 128, 191};

INSTANTIATE_TEST_SUITE_P(
    Table, ReplyExamples,
    testing::Values(
        ReplyExample{&kComma,
                     kEncoder2,
                     {{"enc_mode_2", "na minutę"},
                      {"enc_clear_2", "Nie"},
                      {"enc_time_2", "1000"},
                      {"enc_resolution_2", "1024"},
                      {"enc_coeff_2", "150,000"},
                      {"enc_offset_2", "-1,000"},
                      {"enc_time_1", ""},
                      {"enc_mode_1", "na sekundę"}}},
        ReplyExample{&kComma, {1, 11, 0, 5}, {{"mod_adr", "5"}}},
        ReplyExample{&kComma, {1, 11, 0, 247}, {{"mod_adr", "247"}}},
        ReplyExample{&kComma, {1, 12, 0, 4}, {{"mod_br", "115200"}}},
        ReplyExample{
            &kComma,
            {1, 14, 2, 3},
            {{"trig_master_type_3", "ENKODER [1] (prędkość) "}, {"trig_master_type_1", "ENKODER [1] (pozycja) "}}},
        ReplyExample{&kComma, {1, 5, 0, 2}, {{"trigger_mode", "Transmisja pojedyńcza na zbocze narastające"}}},
        ReplyExample{&kComma, {1, 6, 0, 232, 3, 0, 0}, {{"trigger_time", "1000"}}},
        ReplyExample{&kComma, {1, 7, 0, 255, 255, 255, 255}, {{"trigger_filter", "-1"}}},
        ReplyExample{&kComma, {1, 13, 0, 1}, {{"trig_master_mode", "Cykliczny zapis do rejestrów MODBUS"}}},
        ReplyExample{&kComma, {1, 17, 0, 3}, {{"Dot", "3"}}},
        ReplyExample{&kComma, {1, 18, 0, 1}, {{"Led", "Prędkość"}}},
        ReplyExample{&kComma, {1, 19, 0, 10}, {{"Led4", "Enkoder 2 (pozycja) + Enkoder 3 (pozycja)"}}},
        ReplyExample{&kComma, {1, 20, 0, 1}, {{"Beep", "Tak"}}},
        // Beyond the list, and address 0: no selection, empty text.
        ReplyExample{&kComma, {1, 19, 0, 11}, {{"Led4", ""}}}, ReplyExample{&kComma, {1, 11, 0, 0}, {{"mod_adr", ""}}}),
    // Named by what the reply addresses: "Id11Ch0Value5", and "Dot_" first for the English separator.
    [](const testing::TestParamInfo<ReplyExample> &row) {
        const Bytes &d = row.param.data;
        std::string name = row.param.format == &kDot ? "Dot_" : "";
        name += "Id" + std::to_string(d[1]) + "Ch" + std::to_string(d[2]);
        if (d.size() == 4)
            name += "Value" + std::to_string(d[3]);
        return name;
    });

TEST_F(ConfigReplyWindow, RulesReplyFillsOutputsAndAppliesTheEnableRule)
{
    for (const auto *format : {&kComma, &kDot}) {
        window().configNumberFormat = *format;
        reply({1,        8, 0, 2, 1, 1,    102, 230, 246, 66, /*T2*/ 0, 0, 0, 0, 0, 0, 0, /*T3*/ 1, 0, 1, 0, 0, 0, 0,
               /*T4*/ 7, 0, 0, 0, 0, 0x80, 0xbf});
        EXPECT_EQ(item("out1_W"), "ENKODER [1] (pozycja) ");
        EXPECT_EQ(item("out1_B"), "większa");
        EXPECT_EQ(item("out1_S"), "Aktywne");
        EXPECT_EQ(text("out1_N"), format == &kComma ? "123,450" : "123.450");
        EXPECT_EQ(text("out4_N"), format == &kComma ? "-1,000" : "-1.000");
        for (const char *c : {"out1_B", "out1_N", "out1_S", "out4_B", "out4_N", "out4_S"})
            EXPECT_TRUE(enabled(c)) << c;
        for (const char *c : {"out2_B", "out2_N", "out2_S", "out3_B", "out3_N", "out3_S"})
            EXPECT_FALSE(enabled(c)) << c;
    }
    reply({1, 8, 0, 0, 0, 0, 0, 0, 0, 0});
    EXPECT_FALSE(enabled("out1_N"));
}

TEST_F(ConfigReplyWindow, StatisticsReplyRewritesTheMemo)
{
    Bytes stats{1, 15, 0, 0, 0, 0, 1};
    for (int i = 1; i < 8; ++i)
        stats.insert(stats.end(), {0, 0, 1, static_cast<uint8_t>(i)});
    stats.insert(stats.end(), {255, 255, 255, 255});
    auto *memo = control<QPlainTextEdit>("DebugMemo");
    ASSERT_EQ(memo->toPlainText(), "DebugMemo");

    reply({1, 15, 1, 0, 0, 0, 9}); // another channel: ignored
    EXPECT_EQ(memo->toPlainText(), "DebugMemo");

    reply(stats);
    EXPECT_EQ(memo->toPlainText().split('\n'),
              QStringList({"=====MODBUS STAT=====", "BC:  1", "FRA: 257", "FRC: 258", "TC:  259", "FE:  260",
                           "ORE: 261", "NE:  262", "PE:  263", "ID:  -1"}));
    EXPECT_EQ(window().modbusStats[0], 1);
    EXPECT_EQ(window().modbusStats[8], -1);
}

TEST_F(ConfigReplyWindow, ReplyReplacesTypedTextAndResetsOnlyTextChangeFields)
{
    auto *time1 = control<QLineEdit>("enc_time_1");
    auto *time2 = control<QLineEdit>("enc_time_2");
    time1->setText("abc");
    time2->setText("xyz");
    click("button_time1");
    click("button_time2");
    ASSERT_EQ(colour("enc_time_1"), TFMain::errorColour());
    ASSERT_EQ(colour("enc_time_2"), TFMain::errorColour());

    reply({1, 9, 0, 0, 0, 100, 0, 0, 0, 1, 0, 0, 0});
    reply({1, 9, 1, 0, 0, 200, 0, 0, 0, 1, 0, 0, 0});
    EXPECT_EQ(text("enc_time_1"), "100");
    EXPECT_EQ(text("enc_time_2"), "200");
    EXPECT_EQ(colour("enc_time_1"), normal("enc_time_1"));
    EXPECT_EQ(colour("enc_time_2"), TFMain::errorColour());
}

// ------------------------------------------------------------------------------------------ colours

TEST_F(ConfigReplyWindow, ClickResetsEveryNumericFieldTextChangeOnlyTheListedOnes)
{
    // The colour-reset table: every numeric field of the configuration pages, and whether a change of its text
    // resets the colour too.
    const std::pair<const char *, bool> fields[] = {
        {"enc_time_1", true},
        {"enc_time_2", false},
        {"enc_time_3", false},
        {"enc_resolution_1", false},
        {"enc_resolution_2", false},
        {"enc_resolution_3", false},
        {"enc_coeff_1", false},
        {"enc_coeff_2", false},
        {"enc_coeff_3", false},
        {"enc_offset_1", false},
        {"enc_offset_2", false},
        {"enc_offset_3", false},
        {"out1_N", true},
        {"out2_N", true},
        {"out3_N", true},
        {"out4_N", true},
        {"trigger_time", true},
        {"trigger_filter", true},
    };
    for (const auto &[fieldName, resetsOnTextChange] : fields) {
        const std::string name(fieldName);
        auto *field = control<QLineEdit>(name.c_str());
        field->setText("not a number");
        QPalette p = field->palette();
        p.setColor(QPalette::Base, TFMain::errorColour());
        field->setPalette(p);

        field->setText("1");
        EXPECT_EQ(colour(name.c_str()) == normal(name.c_str()), resetsOnTextChange) << name;

        field->setEnabled(true);
        QTest::mouseClick(field, Qt::LeftButton);
        EXPECT_EQ(colour(name.c_str()), normal(name.c_str())) << name;
    }
}

// ------------------------------------------------------------------------------------------ enabling

TEST_F(ConfigReplyWindow, ChoosingASourceEnablesItsOutputOnly)
{
    window().show();
    for (int k = 1; k <= 4; ++k) {
        const std::string n = std::to_string(k);
        const std::string w = "out" + n + "_W", b = "out" + n + "_B", v = "out" + n + "_N", s = "out" + n + "_S";
        EXPECT_FALSE(enabled(b.c_str())) << "starts disabled";
        auto *list = control<QComboBox>(w.c_str());
        list->setFocus();
        QTest::keyClick(list, Qt::Key_Down); // "Wyjście zawsze aktywne"
        EXPECT_EQ(list->currentIndex(), 1);
        EXPECT_FALSE(enabled(b.c_str()));
        QTest::keyClick(list, Qt::Key_Down); // "ENKODER [1] (pozycja) "
        for (const auto &c : {b, v, s})
            EXPECT_TRUE(enabled(c.c_str())) << c;
        if (k < 4) {
            EXPECT_FALSE(enabled(("out" + std::to_string(k + 1) + "_B").c_str())) << "next output untouched";
        }
        QTest::keyClick(list, Qt::Key_Up);
        for (const auto &c : {b, v, s})
            EXPECT_FALSE(enabled(c.c_str())) << c;
        QTest::keyClick(list, Qt::Key_End);
        EXPECT_TRUE(enabled(s.c_str()));
    }
}

} // namespace
