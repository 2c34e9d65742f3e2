#include "lamp_widget.h"
#include "string_table.h"
#include "up_down_control.h"
#include "window_fixture.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <QTimer>

#include <gmock/gmock.h>

#include <string>
#include <vector>

using testing::ElementsAreArray;

namespace {

class WindowLayout : public WindowFixture {};

QStringList comboItems(const QComboBox *combo)
{
    QStringList items;
    for (int i = 0; i < combo->count(); ++i)
        items.append(combo->itemText(i));
    return items;
}

// Expands "enc_mode_#" over 1..count.
std::vector<std::string> numbered(const std::string &pattern, int count)
{
    std::vector<std::string> names;
    for (int n = 1; n <= count; ++n) {
        std::string name = pattern;
        name.replace(name.find('#'), 1, std::to_string(n));
        names.push_back(name);
    }
    return names;
}

} // namespace

TEST_F(WindowLayout, TabRowShowsFiveTabsInOrderWithTheIndicatorsActive)
{
    auto *pages = control<QTabWidget>("PageControl1");
    ASSERT_NE(pages, nullptr);
    QStringList visibleTitles;
    for (int i = 0; i < pages->count(); ++i) {
        if (pages->isTabVisible(i))
            visibleTitles.append(pages->tabText(i));
    }
    EXPECT_EQ(visibleTitles,
              QStringList({QStringLiteral("Wskażniki"), QStringLiteral("Konfiguracja - enkodery"),
                           QStringLiteral("Konfiguracja - wyjścia tranzystorowe"),
                           QStringLiteral("Konfiguracja - wyzwalania + LED"), QStringLiteral("Ustawienia")}));
    EXPECT_EQ(pages->currentWidget()->objectName(), QStringLiteral("TabSheet1"));

    // The chart page still exists, second in order, only its tab is hidden.
    QStringList pageNames;
    for (int i = 0; i < pages->count(); ++i)
        pageNames.append(pages->widget(i)->objectName());
    EXPECT_EQ(pageNames, QStringList({"TabSheet1", "TabSheet2", "TabSheet4", "TabSheet5", "TabSheet6", "TabSheet3"}));
    EXPECT_EQ(pages->tabText(1), QStringLiteral("Wykresy"));
}

TEST_F(WindowLayout, EveryControlExistsWithItsKindOnItsPage)
{
    struct Group {
        const char *kind;
        const char *page;
        std::vector<std::string> names;
    };
    auto join = [](std::initializer_list<std::vector<std::string>> parts) {
        std::vector<std::string> all;
        for (const auto &part : parts)
            all.insert(all.end(), part.begin(), part.end());
        return all;
    };
    const std::vector<Group> groups = {
        {"QGroupBox", "TabSheet1", {"GroupBox1", "GroupBox4", "GroupBox11", "GroupBox13"}},
        {"QLabel", "TabSheet1", {"Label5",  "Label7",  "Label9",  "Label10", "Label1", "Label",  "Label12",
                                 "Label2",  "n1",      "n2",      "n3",      "n4",     "n5",     "n6",
                                 "Label62", "Label63", "Label64", "Label65", "Label3", "Label4", "save_label"}},
        {"QLineEdit",
         "TabSheet1",
         {"Edit_date", "Edit_time", "Edit1_encp1", "Edit1_encp2", "Edit1_encp3", "Edit1_encv1", "Edit1_encv2",
          "Edit1_encv3"}},
        {"LampWidget", "TabSheet1", {"Shape1", "Shape2", "Shape3", "Shape4", "Shape7", "Shape8"}},
        {"QPushButton", "TabSheet1", {"save_button"}},
        {"ChartView", "TabSheet2", {"Chart"}},
        {"QPushButton", "TabSheet2", {"PlayButton", "ClearButton", "SaveChartButton"}},
        {"QGroupBox", "TabSheet4", {"GroupBox2"}},
        {"QLabel",
         "TabSheet4",
         {"Label25", "Label26", "Label8", "Label14", "Label27", "Label28", "Label29", "Label30", "Label31", "Label80",
          "Label6", "Label32", "Label82", "Label33", "Label34"}},
        {"QComboBox", "TabSheet4", join({numbered("enc_clear_#", 3), numbered("enc_mode_#", 3)})},
        {"QLineEdit", "TabSheet4",
         join({numbered("enc_time_#", 3), numbered("enc_resolution_#", 3), numbered("enc_coeff_#", 3),
               numbered("enc_offset_#", 3), numbered("enc_unit_#", 3), numbered("enc_name_#", 3)})},
        {"QPushButton", "TabSheet4",
         join({{"button_1", "button_2", "BitBtn14", "BitBtn11", "BitBtn13", "BitBtn6", "BitBtn1", "BitBtn2", "BitBtn4"},
               numbered("button_encclearC#", 3),
               numbered("button_encmode#", 3),
               numbered("button_time#", 3),
               numbered("button_resolution#", 3),
               numbered("button_enccoeff#", 3),
               numbered("button_encoffset#", 3),
               numbered("button_encclear#", 3)})},
        {"QGroupBox", "TabSheet5", {"GroupBox9"}},
        {"QLabel",
         "TabSheet5",
         {"Label58", "Label45", "Label46", "Label57", "Label68", "Label69", "Label70", "Label71", "Label22", "Label19",
          "Label21", "Label20"}},
        {"QComboBox", "TabSheet5", join({numbered("out#_W", 4), numbered("out#_B", 4), numbered("out#_S", 4)})},
        {"QLineEdit", "TabSheet5", numbered("out#_N", 4)},
        {"QPushButton", "TabSheet5", {"BitBtn43", "BitBtn44"}},
        {"QGroupBox", "TabSheet6", {"GroupBox10", "GroupBox3"}},
        {"QLabel",
         "TabSheet6",
         {"Label76", "Label61", "Label60", "Label59", "Label77", "Label78", "Label13", "Label15", "Label16", "Label17",
          "Label11"}},
        {"QComboBox", "TabSheet6",
         join({{"trig_master_mode", "trigger_mode", "Led4", "Led", "Beep", "Dot"}, numbered("trig_master_type_#", 3)})},
        {"QLineEdit", "TabSheet6", {"trigger_filter", "trigger_time"}},
        {"QPushButton", "TabSheet6",
         join({{"BitBtn9", "BitBtn10", "BitBtn55", "BitBtn56", "BitBtn53", "BitBtn54", "BitBtn45", "BitBtn46",
                "BitBtn12", "BitBtn3", "BitBtn8", "BitBtn20", "BitBtn21", "BitBtn22", "BitBtn23", "BitBtn24",
                "BitBtn25", "BitBtn18", "BitBtn19"},
               numbered("button_trigmastetype_#", 3)})},
        {"QCheckBox",
         "TabSheet3",
         {"save_auto", "save_date", "save_time", "save_cnt", "save_cntmod", "save_enc1p", "save_enc2p", "save_enc3p",
          "save_enc1v", "save_enc2v", "save_enc3v", "save_output", "CheckBox1"}},
        {"QLineEdit", "TabSheet3", {"edit_mod", "file_name_edit", "ChartTime"}},
        {"QPushButton", "TabSheet3", {"BitBtn5", "file_name_button", "BitBtn7", "BitBtn15", "BitBtn16", "BitBtn17"}},
        {"QGroupBox", "TabSheet3", {"GroupBox15", "GroupBox16", "GroupBox12"}},
        {"QLabel", "TabSheet3", {"Label18", "Label83", "Label24", "Label23"}},
        {"QListWidget", "TabSheet3", {"ListBox1"}},
        {"UpDownControl", "TabSheet3", {"UpDown"}},
        {"QComboBox", "TabSheet3", {"mod_adr", "mod_br"}},
        {"QPlainTextEdit", "TabSheet3", {"DebugMemo"}},
    };

    TFMain &w = window();
    for (const Group &group : groups) {
        auto *page = w.findChild<QWidget *>(QString::fromLatin1(group.page));
        ASSERT_NE(page, nullptr) << group.page;
        for (const std::string &name : group.names) {
            SCOPED_TRACE(name);
            QObject *object = w.findChild<QObject *>(QString::fromStdString(name));
            ASSERT_NE(object, nullptr);
            EXPECT_STREQ(object->metaObject()->className(), group.kind);
            EXPECT_TRUE(page->isAncestorOf(static_cast<QWidget *>(object))) << "not on " << group.page;
            // Names are unique: handlers find their control by name.
            EXPECT_EQ(w.findChildren<QObject *>(QString::fromStdString(name)).size(), 1);
        }
    }
    // The language picker lives in the status bar once the window has started.
    auto *picker = control<QComboBox>("LangCombo1");
    ASSERT_NE(picker, nullptr);
    EXPECT_EQ(picker->parentWidget(), w.statusBar());
}

TEST_F(WindowLayout, DropDownItemsAreExactAndStartOnTheFirst)
{
    const QStringList yesNo{"Nie", "Tak"};
    const QStringList sources{"Wyjście nieaktywne",      "Wyjście zawsze aktywne", "ENKODER [1] (pozycja) ",
                              "ENKODER [2] (pozycja) ",  "ENKODER [3] (pozycja) ", "ENKODER [1] (prędkość) ",
                              "ENKODER [2] (prędkość) ", "ENKODER [3] (prędkość) "};
    const QStringList registerTypes = sources.mid(2);
    QStringList addresses;
    for (int a = 1; a <= 247; ++a)
        addresses.append(QString::number(a));

    struct Row {
        std::vector<std::string> lists;
        QStringList items;
    };
    const std::vector<Row> rows = {
        {numbered("enc_mode_#", 3), {"na sekundę", "na minutę"}},
        {{"enc_clear_1", "enc_clear_2", "enc_clear_3", "Beep"}, yesNo},
        {numbered("out#_B", 4), {"mniejsza", "większa"}},
        {numbered("out#_S", 4), {"Niekatywne", "Aktywne"}},
        {{"trig_master_mode"}, {"Wyzwalanie + zapis do rejestrów MODBUS", "Cykliczny zapis do rejestrów MODBUS"}},
        {{"trigger_mode"},
         {"Transmisja ciągła", "Transmisja, gdy wejście 1 jest aktywne",
          "Transmisja pojedyńcza na zbocze narastające"}},
        {{"Led"}, {"Pozycja", "Prędkość"}},
        {{"Dot"}, {"0", "1", "2", "3", "4", "5"}},
        {{"mod_adr"}, addresses},
        {{"mod_br"}, {"19200", "38400", "56000", "57600", "115200"}},
        {numbered("out#_W", 4), sources},
        {numbered("trig_master_type_#", 3), registerTypes},
        {{"Led4"},
         {"Godzina", "Data", "Enkoder 1 (pozycja) - Enkoder 2 (pozycja)", "Enkoder 1 (pozycja) - Enkoder 3 (pozycja)",
          "Enkoder 2 (pozycja) - Enkoder 1 (pozycja)", "Enkoder 2 (pozycja) - Enkoder 3 (pozycja)",
          "Enkoder 3 (pozycja) - Enkoder 1 (pozycja)", "Enkoder 3 (pozycja) - Enkoder 2 (pozycja)",
          "Enkoder 1 (pozycja) + Enkoder 2 (pozycja)", "Enkoder 1 (pozycja) + Enkoder 3 (pozycja)",
          "Enkoder 2 (pozycja) + Enkoder 3 (pozycja)"}},
        {{"LangCombo1"}, {"Polski", "English"}},
    };
    int lists = 0;
    for (const Row &row : rows) {
        for (const std::string &name : row.lists) {
            SCOPED_TRACE(name);
            auto *combo = control<QComboBox>(name.c_str());
            ASSERT_NE(combo, nullptr);
            EXPECT_EQ(comboItems(combo), row.items);
            EXPECT_EQ(combo->currentIndex(), 0);
            EXPECT_FALSE(combo->isEditable());
            ++lists;
        }
    }
    // Every drop-down of the window is covered by the table.
    EXPECT_EQ(lists, window().findChildren<QComboBox *>().size());
}

TEST_F(WindowLayout, DesignTextsKeepTheirExactSpacing)
{
    struct Row {
        const char *name;
        const char *text;
    };
    const Row rows[] = {
        {"save_cntmod", "Rejestru do pliku:     licznik pomiarów MOD zmienna: "},
        {"save_enc1p", "Rejestru do pliku:     pozycja ENKODER 1 "},
        {"save_enc1v", "Rejestru do pliku:     prędkość ENKODER 1 "},
        {"Label46", "Wartość do warunku "},
        {"Label23", "Prędkość "},
        {"Label19",
         "Jeżeli wartść z [Rejestr do porównania] jest [Warunek] od wartości [Wartość do warunku] to "
         "wyjście  przyjmuje stan [Stan wyjścia]"},
        {"Label", "ENKODER 1 (prędkość)"},
        {"save_label", "Zapis nieaktywny"},
        {"CheckBox1", "Połącz z urządzeniem przy starcie programu"},
    };
    TFMain &w = window();
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        QObject *object = w.findChild<QObject *>(QString::fromLatin1(row.name));
        ASSERT_NE(object, nullptr);
        EXPECT_EQ(object->property("text").toString(), QString::fromUtf8(row.text));
    }
}

TEST_F(WindowLayout, InitialStatesOfTheControls)
{
    auto *connectAtStart = control<QCheckBox>("CheckBox1");
    EXPECT_TRUE(connectAtStart->isChecked());
    EXPECT_FALSE(connectAtStart->isEnabled());

    auto *modulo = control<QLineEdit>("edit_mod");
    EXPECT_EQ(modulo->maxLength(), 8);
    modulo->setText(QStringLiteral("1234567890"));
    EXPECT_EQ(modulo->text(), QStringLiteral("12345678"));

    for (const char *name : {"file_name_edit", "ChartTime", "Edit_date", "Edit_time", "Edit1_encp1", "Edit1_encv3"})
        EXPECT_TRUE(control<QLineEdit>(name)->isReadOnly()) << name;
    for (const char *name : {"enc_time_1", "enc_name_3", "out1_N", "trigger_time", "edit_mod"})
        EXPECT_FALSE(control<QLineEdit>(name)->isReadOnly()) << name;

    // Output rows: the source lists are live, the rest waits for a source.
    for (int output = 1; output <= 4; ++output) {
        EXPECT_TRUE(control<QComboBox>(qPrintable(QStringLiteral("out%1_W").arg(output)))->isEnabled());
        for (const char *suffix : {"_B", "_N", "_S"}) {
            const QString name = QStringLiteral("out%1%2").arg(output).arg(QLatin1String(suffix));
            EXPECT_FALSE(control<QWidget>(qPrintable(name))->isEnabled()) << qPrintable(name);
        }
    }

    EXPECT_TRUE(control<QListWidget>("ListBox1")->isSortingEnabled());
    EXPECT_TRUE(control<QPushButton>("file_name_button")->isFlat());
    EXPECT_EQ(control<QPlainTextEdit>("DebugMemo")->toPlainText(), QStringLiteral("DebugMemo"));
    EXPECT_TRUE(control<QPlainTextEdit>("DebugMemo")->isHidden());

    auto *upDown = control<UpDownControl>("UpDown");
    EXPECT_EQ(upDown->minimum(), 1);
    EXPECT_EQ(upDown->maximum(), 600);
    EXPECT_EQ(upDown->value(), 1);
    EXPECT_EQ(control<QLineEdit>("ChartTime")->text(), QStringLiteral("1"));

    for (const char *lamp : {"Shape1", "Shape2", "Shape3", "Shape4", "Shape7", "Shape8"}) {
        EXPECT_EQ(control<LampWidget>(lamp)->brushColor(), QColor(192, 192, 192)) << lamp;
        EXPECT_EQ(control<LampWidget>(lamp)->size(), QSize(30, 30)) << lamp;
    }
    for (const char *name : {"n1", "n2", "n3", "n4", "n5", "n6"})
        EXPECT_TRUE(control<QLabel>(name)->text().isEmpty()) << name;
}

TEST_F(WindowLayout, DesignGeometryOfKeyControls)
{
    struct Row {
        const char *name;
        QRect geometry;
    };
    const Row rows[] = {
        {"PageControl1", {2, 0, 697, 507}},
        {"GroupBox1", {3, 15, 678, 94}},
        {"Edit_date", {12, 42, 321, 41}},
        {"Edit1_encv3", {339, 213, 321, 41}},
        {"Shape8", {485, 27, 30, 30}},
        {"save_button", {88, 21, 28, 28}},
        {"Chart", {-4, -4, 697, 438}},
        {"SaveChartButton", {544, 440, 129, 25}},
        {"enc_time_1", {133, 128, 84, 21}},
        {"enc_time_2", {325, 125, 84, 21}},
        {"button_encclear3", {501, 328, 155, 25}},
        {"Label34", {14, 435, 606, 26}},
        {"out3_W", {58, 151, 150, 21}},
        {"BitBtn44", {470, 242, 100, 25}},
        {"trig_master_type_3", {226, 252, 253, 21}},
        {"GroupBox3", {3, 298, 673, 178}},
        // edit_mod makes room for its caption where the face needs it: CaptionsFit checks it.
        {"file_name_button", {359, 435, 23, 22}},
        {"ListBox1", {16, 54, 225, 69}},
        {"ChartTime", {153, 28, 64, 21}},
        {"UpDown", {217, 28, 16, 21}},
        {"BitBtn17", {199, 52, 42, 25}},
        {"DebugMemo", {415, 325, 256, 140}},
    };
    TFMain &w = window();
    for (const Row &row : rows) {
        auto *widget = w.findChild<QWidget *>(QString::fromLatin1(row.name));
        ASSERT_NE(widget, nullptr) << row.name;
        EXPECT_EQ(widget->geometry(), row.geometry) << row.name;
    }
}

TEST_F(WindowLayout, ValueFieldsUseTheirColoursAndBigBoldFont)
{
    struct Row {
        const char *name;
        QColor text;
    };
    const Row rows[] = {
        {"Edit_date", QColor(0, 128, 192)},   {"Edit_time", QColor(0, 128, 192)}, {"Edit1_encp1", QColor(128, 0, 128)},
        {"Edit1_encp3", QColor(128, 0, 128)}, {"Edit1_encv1", QColor(128, 0, 0)}, {"Edit1_encv2", QColor(128, 0, 0)},
    };
    for (const Row &row : rows) {
        auto *field = control<QLineEdit>(row.name);
        ASSERT_NE(field, nullptr);
        EXPECT_EQ(field->palette().color(QPalette::Active, QPalette::Text), row.text) << row.name;
        EXPECT_TRUE(field->font().bold()) << row.name;
        EXPECT_EQ(field->font().pointSize(), 20) << row.name;
    }
    auto *saveLabel = control<QLabel>("save_label");
    EXPECT_EQ(saveLabel->palette().color(QPalette::Active, QPalette::WindowText), QColor(0, 64, 128));
    EXPECT_TRUE(saveLabel->wordWrap());
    EXPECT_EQ(window().font().family(), QStringLiteral("Tahoma"));
    EXPECT_EQ(window().font().pointSize(), 8);
}

TEST_F(WindowLayout, ButtonsShowThePictureOfTheirRole)
{
    struct Row {
        const char *picture;
        std::vector<std::string> buttons;
    };
    std::vector<std::string> saves = {"BitBtn43", "BitBtn9",  "BitBtn55", "BitBtn53", "BitBtn45", "BitBtn20",
                                      "BitBtn22", "BitBtn24", "BitBtn18", "BitBtn11", "BitBtn13", "BitBtn6",
                                      "BitBtn1",  "BitBtn2",  "BitBtn4",  "BitBtn5",  "BitBtn7",  "BitBtn16"};
    for (const char *pattern : {"button_encclearC#", "button_encmode#", "button_time#", "button_resolution#",
                                "button_enccoeff#", "button_encoffset#", "button_trigmastetype_#"}) {
        for (const std::string &name : numbered(pattern, 3))
            saves.push_back(name);
    }
    const std::vector<Row> rows = {
        {":/tick.xpm", saves},
        {":/read.xpm",
         {"button_1", "button_2", "BitBtn14", "BitBtn44", "BitBtn10", "BitBtn56", "BitBtn54", "BitBtn46", "BitBtn12",
          "BitBtn3", "BitBtn8", "BitBtn21", "BitBtn23", "BitBtn25", "BitBtn19", "BitBtn15", "BitBtn17"}},
        {":/clear_position.xpm", numbered("button_encclear#", 3)},
        {":/pause.xpm", {"PlayButton"}},
        {":/clear_chart.xpm", {"ClearButton"}},
        {":/pie.xpm", {"SaveChartButton"}},
        {":/floppy.xpm", {"file_name_button"}},
        {":/ID_run", {"save_button"}}, // logging is off after a start without auto-start
    };
    TFMain &w = window();
    size_t withPicture = 0;
    for (const Row &row : rows) {
        const QImage expected = QPixmap(QString::fromLatin1(row.picture)).toImage();
        ASSERT_FALSE(expected.isNull()) << row.picture;
        for (const std::string &name : row.buttons) {
            auto *button = control<QPushButton>(name.c_str());
            ASSERT_NE(button, nullptr);
            EXPECT_EQ(button->icon().pixmap(16, 16).toImage().convertToFormat(expected.format()), expected)
                << name << " should show " << row.picture;
            ++withPicture;
        }
    }
    // Every other button has no picture.
    size_t allWithIcon = 0;
    for (QPushButton *button : w.findChildren<QPushButton *>())
        allWithIcon += button->icon().isNull() ? 0 : 1;
    EXPECT_EQ(allWithIcon, withPicture);
}

TEST_F(WindowLayout, PicturesAreTransparentAroundAndOfTheirSize)
{
    struct Row {
        const char *path;
        QSize size;
    };
    const Row rows[] = {
        {":/tick.xpm", {16, 16}},    {":/read.xpm", {16, 16}},        {":/clear_position.xpm", {16, 16}},
        {":/pause.xpm", {16, 16}},   {":/clear_chart.xpm", {16, 16}}, {":/pie.xpm", {16, 16}},
        {":/floppy.xpm", {16, 16}},  {":/ID_run", {16, 15}},          {":/ID_stop", {16, 15}},
        {":/program.xpm", {32, 32}},
    };
    window();
    for (const Row &row : rows) {
        const QImage image(QString::fromLatin1(row.path));
        ASSERT_FALSE(image.isNull()) << row.path;
        EXPECT_EQ(image.size(), row.size) << row.path;
        EXPECT_TRUE(image.hasAlphaChannel()) << row.path;
        EXPECT_EQ(qAlpha(image.pixel(0, 0)), 0) << row.path << ": corner should be transparent";
    }
}

TEST_F(WindowLayout, StatusBarHasFourPanelsOfTheirWidths)
{
    TFMain &w = window();
    // The last one reaches the language picker, 115 px from the 700 px bar's right-hand end.
    const int widths[] = {200, 150, 100, 135};
    for (int panel = 0; panel < TFMain::kStatusPanelCount; ++panel) {
        ASSERT_NE(w.statusPanel(panel), nullptr);
        EXPECT_EQ(w.statusPanel(panel)->width(), widths[panel]);
        // The start-up shows the logging state in the last panel; the others start empty.
        EXPECT_EQ(w.statusPanelText(panel), panel == 3 ? idsText(u"IDS_164") : QString());
        w.setStatusPanelText(panel, QStringLiteral("panel %1").arg(panel));
    }
    for (int panel = 0; panel < TFMain::kStatusPanelCount; ++panel)
        EXPECT_EQ(w.statusPanelText(panel), QStringLiteral("panel %1").arg(panel));
    // Panels outside 0..3 are ignored instead of crashing.
    w.setStatusPanelText(4, QStringLiteral("x"));
    w.setStatusPanelText(-1, QStringLiteral("x"));
    EXPECT_TRUE(w.statusPanelText(4).isEmpty());
    EXPECT_EQ(w.statusPanel(4), nullptr);
}

TEST_F(WindowLayout, StatusPanelsSitSideBySideFromTheLeftEdgeWithThePickerBeyondThem)
{
    TFMain &w = window();
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    auto *picker = control<QComboBox>("LangCombo1");
    // Laid out again by a language switch, and with texts longer than the panels.
    for (int language : {1, 0}) {
        picker->setCurrentIndex(language);
        w.LangCombo1Change();
        for (int panel = 0; panel < TFMain::kStatusPanelCount; ++panel)
            w.setStatusPanelText(panel, QString(60, u'W'));
        processEvents();

        const int lefts[] = {0, 200, 350, 450};
        const int widths[] = {200, 150, 100, 135};
        for (int panel = 0; panel < TFMain::kStatusPanelCount; ++panel) {
            const QRect r = w.statusPanel(panel)->geometry();
            EXPECT_EQ(r.left(), lefts[panel]) << "panel " << panel << ", language " << language;
            EXPECT_EQ(r.width(), widths[panel]) << "panel " << panel << ", language " << language;
            EXPECT_TRUE(w.statusBar()->rect().contains(r)) << "panel " << panel;
            EXPECT_TRUE(w.statusPanel(panel)->isVisible()) << "panel " << panel;
        }
        // Where start-up step 2 puts the picker: over the status bar's right-hand end, beyond the panels, on top.
        EXPECT_EQ(picker->geometry(), QRect(w.statusBar()->width() - 115, 2, 100, 22));
        EXPECT_EQ(picker->geometry().left(), w.statusPanel(3)->geometry().right() + 1);
        QWidget *atPicker = w.statusBar()->childAt(picker->geometry().center());
        EXPECT_TRUE(atPicker == picker || picker->isAncestorOf(atPicker));
        // Every logging state reads in full, a full backlog's count included.
        const QLabel *logPanel = w.statusPanel(3);
        for (const QString &text : {idsText(u"IDS_161"), idsText(u"IDS_164"), idsText(u"IDS_LOG_WRITE_ERROR"),
                                    idsText(u"IDS_LOG_WRITE_ERROR_WAITING").arg(torvex::LogWriter::kBacklogLines)})
            EXPECT_LE(logPanel->fontMetrics().horizontalAdvance(text), logPanel->contentsRect().width())
                << text.toStdString();
    }
}

TEST_F(WindowLayout, TimersHaveTheirNamesAndIntervals)
{
    TFMain &w = window();
    struct Row {
        QTimer *timer;
        const char *name;
        int interval;
    };
    const Row rows[] = {{w.FreqTimer, "FreqTimer", 333},
                        {w.UpdateDataTimer, "UpdateDataTimer", 100},
                        {w.ChartTimer, "ChartTimer", 100},
                        {w.SaveFileTimer, "SaveFileTimer", 1000}};
    for (const Row &row : rows) {
        EXPECT_EQ(row.timer->objectName(), QString::fromLatin1(row.name));
        EXPECT_EQ(row.timer->interval(), row.interval) << row.name;
        EXPECT_FALSE(row.timer->isActive()) << row.name << " must stay still in tests";
    }
}

TEST_F(WindowLayout, TimersRunFromCreationInTheProgram)
{
    options().startTimers = true;
    TFMain &w = window();
    for (QTimer *timer : {w.FreqTimer, w.UpdateDataTimer, w.ChartTimer, w.SaveFileTimer})
        EXPECT_TRUE(timer->isActive()) << qPrintable(timer->objectName());
}
