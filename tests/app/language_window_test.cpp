#include "window_fixture.h"

#include "config_bindings.h"

#include "language.h"
#include "string_table.h"

#include <QApplication>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QGuiApplication>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include "up_down_control.h"
#include <QTabWidget>
#include <QTimer>
#include <QTranslator>

#include <gmock/gmock.h>

#include <map>
#include <set>
#include <ostream>

static void PrintTo(const QString &text, std::ostream *out) { *out << '"' << text.toStdString() << '"'; }

namespace {

// One text the user can see, addressed by control and property, e.g. "out1_W.item3" or "PageControl1.tab2".
using Texts = std::map<std::string, QString>;

// Every caption, tab title and list item of the form: what the caption and item-list tables translate.
Texts formTexts(const TFMain &w)
{
    Texts texts;
    auto key = [](const QObject *o, const QString &what) { return (o->objectName() + u'.' + what).toStdString(); };
    // Status panels are run-time texts, not form captions; userState() covers them.
    for (const QLabel *label : w.findChildren<QLabel *>())
        if (!label->objectName().isEmpty() && !label->parentWidget()->inherits("QStatusBar"))
            texts[key(label, QStringLiteral("text"))] = label->text();
    for (const QAbstractButton *button : w.findChildren<QAbstractButton *>())
        if (!button->objectName().isEmpty())
            texts[key(button, QStringLiteral("text"))] = button->text();
    for (const QGroupBox *group : w.findChildren<QGroupBox *>())
        texts[key(group, QStringLiteral("title"))] = group->title();
    for (const QTabWidget *tabs : w.findChildren<QTabWidget *>())
        for (int i = 0; i < tabs->count(); ++i)
            texts[key(tabs, QStringLiteral("tab%1").arg(i))] = tabs->tabText(i);
    for (const QComboBox *combo : w.findChildren<QComboBox *>())
        for (int i = 0; i < combo->count(); ++i)
            texts[key(combo, QStringLiteral("item%1").arg(i))] = combo->itemText(i);
    return texts;
}

// What a switch must leave alone: selections, edit texts, the memo, the window title and the status panels.
Texts userState(const TFMain &w)
{
    Texts state;
    state["title"] = w.windowTitle();
    for (const QComboBox *combo : w.findChildren<QComboBox *>())
        state[combo->objectName().toStdString() + ".index"] = QString::number(combo->currentIndex());
    for (const QLineEdit *edit : w.findChildren<QLineEdit *>())
        state[(edit->objectName().isEmpty() ? edit->parent()->objectName() + u'>' : edit->objectName()).toStdString()
              + ".text"] = edit->text();
    for (const QPlainTextEdit *memo : w.findChildren<QPlainTextEdit *>())
        state[memo->objectName().toStdString() + ".text"] = memo->toPlainText();
    for (int panel = 0; panel < TFMain::kStatusPanelCount; ++panel)
        state["panel" + std::to_string(panel)] = w.statusPanelText(panel);
    return state;
}

// The entries in which two snapshots differ, readable in a failure message; empty when they are equal.
std::string differences(const Texts &actual, const Texts &expected)
{
    std::string out;
    auto show = [](const Texts &texts, const std::string &key) {
        const auto it = texts.find(key);
        return it == texts.end() ? std::string("(none)") : '"' + it->second.toStdString() + '"';
    };
    std::set<std::string> keys;
    for (const auto &entry : actual)
        keys.insert(entry.first);
    for (const auto &entry : expected)
        keys.insert(entry.first);
    for (const std::string &key : keys)
        if (show(actual, key) != show(expected, key))
            out += key + ": " + show(actual, key) + " instead of " + show(expected, key) + "\n";
    return out;
}

class LanguageWindowTest : public WindowFixture {
protected:
    QComboBox *picker() { return control<QComboBox>("LangCombo1"); }

    // The user picks an item of the picker.
    void pick(int index)
    {
        picker()->setCurrentIndex(index);
        Q_EMIT picker()->activated(index);
    }

    // Gives every user-owned thing a value that differs from its design value.
    void fillUserState()
    {
        TFMain &w = window();
        for (QComboBox *combo : w.findChildren<QComboBox *>())
            if (combo != picker())
                combo->setCurrentIndex(combo->count() - 1);
        control<QComboBox>("enc_mode_2")->setCurrentIndex(-1);
        for (QLineEdit *edit : w.findChildren<QLineEdit *>())
            if (!edit->objectName().isEmpty() && edit->objectName() != u"ChartTime")
                edit->setText(QStringLiteral("wpis ") + edit->objectName());
        control<UpDownControl>("UpDown")->setValue(42);
        for (const char *name : {"n1", "n2", "n3", "n4", "n5", "n6"})
            control<QLabel>(name)->setText(QStringLiteral("- Oś %1").arg(QLatin1String(name)));
        control<QPlainTextEdit>("DebugMemo")->setPlainText(QStringLiteral("DebugMemo\nodpowiedź 9"));
        for (int panel = 0; panel < TFMain::kStatusPanelCount; ++panel)
            w.setStatusPanelText(panel, QStringLiteral("panel %1").arg(panel));
    }
};

TEST_F(LanguageWindowTest, PolishEnglishPolishRestoresEveryTextAndKeepsTheUsersState)
{
    TFMain &w = window();
    fillUserState();
    const Texts polish = formTexts(w);
    Texts state = userState(w);
    QSignalSpy otherStrings(&w, &TFMain::otherStringsChanged);

    pick(1);
    ASSERT_EQ(w.activeLanguage(), kEnglish);
    Texts expected = state;
    expected["LangCombo1.index"] = QStringLiteral("1");
    expected["panel0"] = expected["panel1"] = QString();
    EXPECT_EQ(differences(userState(w), expected), "");
    EXPECT_NE(differences(formTexts(w), polish), "");
    for (const char *name : {"n1", "n2", "n3", "n4", "n5", "n6"})
        EXPECT_EQ(control<QLabel>(name)->text(), QStringLiteral("- Oś %1").arg(QLatin1String(name)));
    EXPECT_EQ(control<QLineEdit>("ChartTime")->text(), QStringLiteral("42"));

    // Panels 0 and 1 get new texts from the link in the meantime; a switch clears them again.
    w.setStatusPanelText(0, QStringLiteral("Parameter update: [1][1]"));
    w.setStatusPanelText(1, QStringLiteral("Connected"));
    pick(0);
    processEvents(); // a translator change also posts LanguageChange events; they must not undo anything
    expected["LangCombo1.index"] = QStringLiteral("0");
    EXPECT_EQ(w.activeLanguage(), kPolish);
    EXPECT_EQ(differences(formTexts(w), polish), "");
    EXPECT_EQ(differences(userState(w), expected), "");
    EXPECT_EQ(otherStrings.count(), 2);
    EXPECT_THAT(errors(), testing::IsEmpty());
}

// torvex-cli names list items in English by the catalogue's words; they are the window's English items (less
// their trailing blanks), word for word.
TEST_F(LanguageWindowTest, TheCataloguesEnglishItemsAreTheWindowsWordForWord)
{
    pick(1);
    ASSERT_EQ(window().activeLanguage(), kEnglish);
    int lists = 0;
    for (const ConfigBinding &row : configBindings()) {
        using torvex::ConfigField;
        const std::span<const std::string_view> items = row.field == ConfigField::Source ? torvex::outputSourceItems()
            : row.field == ConfigField::Condition ? torvex::outputConditionItems()
            : row.field == ConfigField::State     ? torvex::outputStateItems()
                                                  : torvex::param(row.id).items;
        if (items.empty())
            continue;
        ++lists;
        const auto *list = control<QComboBox>(row.control);
        ASSERT_EQ(list->count(), qsizetype(items.size())) << row.control;
        for (int i = 0; i < list->count(); ++i) {
            QString shown = list->itemText(i);
            while (shown.endsWith(QLatin1Char(' ')))
                shown.chop(1);
            EXPECT_EQ(shown.toStdString(), items[size_t(i)]) << row.control << " item " << i;
        }
    }
    EXPECT_EQ(lists, 27) << "every list whose items are words: 15 of single parameters, 12 of the outputs";
}

TEST_F(LanguageWindowTest, InEnglishNoTextThatHasAnEnglishRowStillShowsPolish)
{
    TFMain &w = window();
    QTranslator english;
    ASSERT_TRUE(english.load(QStringLiteral(":/i18n/torvex_en.qm")));
    const Texts polish = formTexts(w);
    // Texts that follow run-time state come from the string table, not from the form's rows.
    const std::set<std::string> stateDependent = {"save_label.text", "PlayButton.text"};
    static const QRegularExpression numberOnly(QStringLiteral("^\\d+$"));

    for (const auto &[where, text] : polish) {
        if (text.isEmpty() || numberOnly.match(text).hasMatch() || where.rfind("LangCombo1.", 0) == 0
            || stateDependent.count(where))
            continue;
        EXPECT_FALSE(english.translate("TFMain", text.toUtf8().constData()).isNull())
            << where << " shows \"" << text.toStdString() << "\" without an English row";
    }

    pick(1);
    for (const auto &[where, text] : formTexts(w)) {
        // Buttons and tabs take a single '&' as a shortcut marker and hide it ("LED & Trigger").
        const bool shortcutCaption = where.find(".tab") != std::string::npos
            || w.findChild<QAbstractButton *>(QString::fromStdString(where.substr(0, where.find('.'))));
        if (shortcutCaption) {
            EXPECT_FALSE(QString(text).remove(QStringLiteral("&&")).contains(u'&')) << where;
        }
        if (stateDependent.count(where))
            continue;
        const QString translation = english.translate("TFMain", text.toUtf8().constData());
        EXPECT_TRUE(translation.isNull() || translation == text)
            << where << " still shows the Polish \"" << text.toStdString() << "\"";
        const QString before = polish.at(where);
        const QString expected = english.translate("TFMain", before.toUtf8().constData());
        if (!expected.isNull()) {
            EXPECT_EQ(text, expected) << where;
        }
    }
}

struct StateCase {
    bool logging;
    bool chartRunning;
    const char *saveLabel[2]; // Polish, English
    const char *playButton[2];
};

class StateCaptionTest : public LanguageWindowTest, public testing::WithParamInterface<StateCase> {};

TEST_P(StateCaptionTest, FollowTheFlagsInTheNewLanguageWhilePanel3KeepsItsText)
{
    const StateCase &c = GetParam();
    TFMain &w = window();
    w.loggingActive = c.logging;
    w.chartRunning = c.chartRunning;
    // The logging display as it was written in Polish.
    w.setStatusPanelText(3, idsText(c.logging ? u"IDS_161" : u"IDS_164"));
    const QString panel3 = w.statusPanelText(3);

    for (int language : {kEnglish, kPolish}) {
        pick(language - 1);
        EXPECT_EQ(control<QLabel>("save_label")->text(), QString::fromUtf8(c.saveLabel[language - 1]));
        EXPECT_EQ(control<QPushButton>("PlayButton")->text(), QString::fromUtf8(c.playButton[language - 1]));
        EXPECT_EQ(w.statusPanelText(3), panel3);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Flags, StateCaptionTest,
    testing::Values(StateCase{true, true, {"Zapis: aktywny", "Write active"}, {"Zatrzymaj wykres", "Pause chart"}},
                    StateCase{false, false, {"Zapis nieaktywny", "Write: inactive"}, {"Uruchom wykres", "Start chart"}},
                    StateCase{true, false, {"Zapis: aktywny", "Write active"}, {"Uruchom wykres", "Start chart"}}),
    [](const testing::TestParamInfo<StateCase> &row) {
        return std::string(row.param.logging ? "Logging" : "NotLogging")
            + (row.param.chartRunning ? "ChartRunning" : "ChartStopped");
    });

TEST_F(LanguageWindowTest, PickingTheActiveLanguageOnlyClearsPanels1And0)
{
    for (int language : {kPolish, kEnglish}) {
        TFMain &w = window();
        pick(language - 1);
        fillUserState();
        control<QLabel>("save_label")->setText(QStringLiteral("left alone"));
        const Texts texts = formTexts(w);
        Texts expected = userState(w);
        expected["panel0"] = expected["panel1"] = QString();
        QSignalSpy otherStrings(&w, &TFMain::otherStringsChanged);

        pick(language - 1);
        EXPECT_EQ(w.activeLanguage(), language);
        EXPECT_EQ(differences(formTexts(w), texts), "");
        EXPECT_EQ(differences(userState(w), expected), "");
        EXPECT_EQ(otherStrings.count(), 0);
        closeWindow();
    }
    EXPECT_THAT(errors(), testing::IsEmpty());
}

TEST_F(LanguageWindowTest, PickerWithoutSelectionIsRefusedUntilALanguageIsPicked)
{
    TFMain &w = window();
    pick(1);
    w.setStatusPanelText(0, QStringLiteral("keep 0"));
    w.setStatusPanelText(1, QStringLiteral("keep 1"));
    const Texts english = formTexts(w);

    picker()->setCurrentIndex(-1);
    EXPECT_FALSE(torvex::runHandler([&] { w.LangCombo1Change(); }));
    EXPECT_THAT(errors(),
                testing::ElementsAre(
                    QStringLiteral("TFMain: 0 - is not a valid property value!\nValue must be within [1..2]!")));
    EXPECT_EQ(w.activeLanguage(), kEnglish);
    EXPECT_EQ(differences(formTexts(w), english), "");
    EXPECT_EQ(w.statusPanelText(0), QStringLiteral("keep 0"));
    EXPECT_EQ(w.statusPanelText(1), QStringLiteral("keep 1"));

    pick(0);
    EXPECT_EQ(w.activeLanguage(), kPolish);
    EXPECT_EQ(errors().size(), 1);
}

// Qt's own parts speak the window's language: a standard button made before a switch follows it, as does
// every one made after it.
TEST_F(LanguageWindowTest, QtStandardButtonsFollowTheLanguage)
{
    window();
    QDialogButtonBox before(QDialogButtonBox::Save | QDialogButtonBox::Cancel);
    auto cancel = [](const QDialogButtonBox &box) { return box.button(QDialogButtonBox::Cancel)->text(); };
    EXPECT_EQ(cancel(before), QStringLiteral("Anuluj"));
    EXPECT_EQ(before.button(QDialogButtonBox::Save)->text(), QStringLiteral("Zachowaj"));

    pick(1);
    processEvents(); // the change of language reaches existing widgets as a posted event
    EXPECT_EQ(cancel(before), QStringLiteral("Cancel"));
    EXPECT_EQ(cancel(QDialogButtonBox(QDialogButtonBox::Cancel)), QStringLiteral("Cancel"));

    pick(0);
    processEvents();
    EXPECT_EQ(cancel(before), QStringLiteral("Anuluj"));
    EXPECT_EQ(cancel(QDialogButtonBox(QDialogButtonBox::Cancel)), QStringLiteral("Anuluj"));
}

struct DialogCase {
    const char *name;
    int pickerIndex;
    const char *accept; // the dialog's save button, shortcut marker removed
    const char *cancel;
    const char *lookIn;
};

class QtDialogLanguageTest : public LanguageWindowTest, public testing::WithParamInterface<DialogCase> {};

// The real log-file and bitmap dialogs, opened by their buttons and closed by the user (a timer here).
TEST_P(QtDialogLanguageTest, SaveDialogsSpeakTheWindowsLanguage)
{
#ifdef _WIN32
    if (QGuiApplication::platformName() == QStringLiteral("windows"))
        GTEST_SKIP() << "Windows shows its own file dialog, in the system's language";
#endif
    const DialogCase &c = GetParam();
    TFMain &w = window();
    pick(c.pickerIndex);
    for (const char *opener : {"file_name_button", "SaveChartButton"}) {
        SCOPED_TRACE(opener);
        QStringList buttons;
        QString lookIn;
        QTimer closer;
        closer.setInterval(10);
        QObject::connect(&closer, &QTimer::timeout, [&] {
            auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
            if (!dialog)
                return;
            for (const QPushButton *button : dialog->findChildren<QPushButton *>())
                buttons << button->text().remove(u'&');
            if (const auto *label = dialog->findChild<QLabel *>(QStringLiteral("lookInLabel")))
                lookIn = label->text();
            dialog->reject();
        });
        closer.start();
        if (std::string(opener) == "file_name_button")
            w.file_name_buttonClick();
        else
            w.SaveChartButtonClick();
        closer.stop();
        EXPECT_THAT(buttons, testing::IsSupersetOf({QString::fromUtf8(c.accept), QString::fromUtf8(c.cancel)}));
        EXPECT_EQ(lookIn, QString::fromUtf8(c.lookIn));
    }
    EXPECT_THAT(errors(), testing::IsEmpty());
}

INSTANTIATE_TEST_SUITE_P(Languages, QtDialogLanguageTest,
                         testing::Values(DialogCase{"Polish", 0, "Zachowaj", "Anuluj", "Szukaj w:"},
                                         DialogCase{"English", 1, "Save", "Cancel", "Look in:"}),
                         [](const auto &row) { return std::string(row.param.name); });

struct StoredLanguageCase {
    const char *stored;
    int pickerIndex;
    int language;
    bool refused;
};

class StoredLanguageTest : public LanguageWindowTest, public testing::WithParamInterface<StoredLanguageCase> {};

// Start-up takes the picker index from `Language` and applies it as its last step.
TEST_P(StoredLanguageTest, StartUpAppliesTheStoredLanguage)
{
    const StoredLanguageCase &c = GetParam();
    writeSettingsFile(QByteArray("[Options]\r\nLanguage=") + c.stored + "\r\n");
    TFMain &w = window();
    EXPECT_EQ(picker()->currentIndex(), c.pickerIndex);
    EXPECT_FALSE(picker()->itemIcon(1).isNull()); // the flags are drawn from construction on
    EXPECT_EQ(w.activeLanguage(), c.language);
    EXPECT_EQ(control<QGroupBox>("GroupBox1")->title(),
              c.language == kEnglish ? QStringLiteral("Time") : QStringLiteral("Czas"));
    EXPECT_EQ(control<QPushButton>("PlayButton")->text(),
              c.language == kEnglish ? QStringLiteral("Pause chart") : QStringLiteral("Zatrzymaj wykres"));
    if (c.refused) {
        EXPECT_THAT(errors(),
                    testing::ElementsAre(
                        QStringLiteral("TFMain: 0 - is not a valid property value!\nValue must be within [1..2]!")));
        // Picking a language repairs it, and the next close stores the picked index.
        pick(1);
        EXPECT_EQ(w.activeLanguage(), kEnglish);
        closeWindow();
        EXPECT_TRUE(readSettingsFile().contains("Language=1")) << readSettingsFile().toStdString();
    } else {
        EXPECT_THAT(errors(), testing::IsEmpty());
    }
}

INSTANTIATE_TEST_SUITE_P(Values, StoredLanguageTest,
                         testing::Values(StoredLanguageCase{"0", 0, kPolish, false},
                                         StoredLanguageCase{"1", 1, kEnglish, false},
                                         StoredLanguageCase{"5", -1, kPolish, true},
                                         StoredLanguageCase{"-1", -1, kPolish, true}),
                         [](const auto &row) {
                             return std::string(row.param.refused ? "Refused" : "Language") + std::to_string(row.index);
                         });

} // namespace
