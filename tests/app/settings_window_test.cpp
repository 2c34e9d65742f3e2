// The window's use of the settings file: first start, start-up reading, apply actions, close.
#include "window_fixture.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>

#include "up_down_control.h"

namespace {

const QByteArray kDefaultFile =
    "[Options]\r\nEncName1=\r\nEncName2=\r\nEncName3=\r\nEncUnit1=\r\nEncUnit2=\r\nEncUnit3=\r\n"
    "ScreenTop=0\r\nScreenLeft=0\r\nFileName=pomiary.csv\r\nMod=1\r\nSaveAuto=0\r\nSaveDate=1\r\n"
    "SaveTime=1\r\nSaveCnt=1\r\nSaveCntMod=1\r\nSaveEnc1p=1\r\nSaveEnc2p=1\r\nSaveEnc3p=1\r\n"
    "SaveEnc1v=1\r\nSaveEnc2v=1\r\nSaveEnc3v=1\r\nSaveOutput=1\r\nChart1=1\r\nChart2=1\r\nChart3=1\r\n"
    "Chart4=1\r\nChart5=1\r\nChart6=1\r\nChartTime=1\r\nLanguage=0\r\n";

class SettingsWindowTest : public WindowFixture {
protected:
    QString label(const char *name) { return control<QLabel>(name)->text(); }
    bool checked(const char *name) { return control<QCheckBox>(name)->isChecked(); }

    // Value of a key line in the stored file ("" when absent).
    QByteArray stored(const QByteArray &key)
    {
        for (const QByteArray &line : readSettingsFile().split('\n')) {
            if (line.startsWith(key + '='))
                return line.mid(key.size() + 1).chopped(line.endsWith('\r') ? 1 : 0);
        }
        return {};
    }
};

TEST_F(SettingsWindowTest, FirstStartCreatesTheDefaultFileAndUsesIt)
{
    TFMain &w = window();
    EXPECT_EQ(readSettingsFile(), kDefaultFile);
    EXPECT_EQ(w.pos(), QPoint(0, 0));
    EXPECT_EQ(text("file_name_edit"), QStringLiteral("pomiary.csv"));
    EXPECT_FALSE(checked("save_auto"));
    EXPECT_TRUE(checked("save_output"));
    EXPECT_FALSE(w.loggingActive);
    EXPECT_EQ(w.moduloValue, 1);
    EXPECT_EQ(text("edit_mod"), QStringLiteral("1"));
    EXPECT_EQ(control<UpDownControl>("UpDown")->value(), 1);
    EXPECT_EQ(control<QComboBox>("LangCombo1")->currentIndex(), 0);
    EXPECT_TRUE(errors().isEmpty()) << errors().join('|').toStdString();
}

struct StartCase {
    const char *name;
    QByteArray file;
    bool boxChecked;
    bool logging;
};

void PrintTo(const StartCase &c, std::ostream *os) { *os << c.name; }

class StartupTest : public SettingsWindowTest, public ::testing::WithParamInterface<StartCase> {};

TEST_P(StartupTest, AutoStartNeedsTheBoxSavedCheckedAndAFileName)
{
    writeSettingsFile(GetParam().file);
    EXPECT_EQ(checked("save_auto"), GetParam().boxChecked);
    EXPECT_EQ(window().loggingActive, GetParam().logging);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, StartupTest,
    ::testing::Values(StartCase{"checkedEmptyName", "[Options]\r\nSaveAuto=1\r\nFileName=\r\n", true, false},
                      StartCase{"missingKeyWithName", "[Options]\r\nFileName=log.csv\r\n", true, false},
                      StartCase{"checkedWithName", "[Options]\r\nSaveAuto=1\r\nFileName=log.csv\r\n", true, true},
                      StartCase{"missingFileName", "[Options]\r\nSaveAuto=1\r\n", true, true},
                      StartCase{"unreadableWithName", "[Options]\r\nSaveAuto=x\r\nFileName=a\r\n", true, false},
                      StartCase{"uncheckedWithName", "[Options]\r\nSaveAuto=0\r\nFileName=a\r\n", false, false}),
    [](const auto &param) { return std::string(param.param.name); });

TEST_F(SettingsWindowTest, MissingSaveAutoIsStoredCheckedAtCloseSoTheNextStartLogs)
{
    writeSettingsFile("[Options]\r\nFileName=log.csv\r\n");
    EXPECT_FALSE(window().loggingActive);
    closeWindow();
    EXPECT_EQ(stored("SaveAuto"), "1");
    EXPECT_TRUE(window().loggingActive);
}

TEST_F(SettingsWindowTest, StoredFormsOfBooleansAndIntegers)
{
    writeSettingsFile("[Options]\r\nSaveDate=abc\r\nSaveTime=2\r\nSaveCnt=0\r\nMod=0x10\r\nScreenTop=40\r\n"
                      "ScreenLeft=-30\r\nChartTime=700\r\nLanguage=1\r\n");
    TFMain &w = window();
    EXPECT_TRUE(checked("save_date"));
    EXPECT_TRUE(checked("save_time"));
    EXPECT_FALSE(checked("save_cnt"));
    EXPECT_EQ(w.moduloValue, 16);
    EXPECT_EQ(text("edit_mod"), QStringLiteral("16"));
    EXPECT_EQ(w.pos(), QPoint(-30, 40));
    EXPECT_EQ(control<UpDownControl>("UpDown")->value(), 600);
    EXPECT_EQ(control<QComboBox>("LangCombo1")->currentIndex(), 1);
}

TEST_F(SettingsWindowTest, BadChartTimeIsReportedAndTheStartUpCompletes)
{
    writeSettingsFile("[Options]\r\nEncName1=Wrzeciono\r\nChartTime=abc\r\nSaveAuto=1\r\nFileName=log.csv\r\n");
    TFMain &w = window();
    EXPECT_EQ(errors(), QStringList{QStringLiteral("'abc' is not a valid integer value.")});
    EXPECT_EQ(control<UpDownControl>("UpDown")->value(), 1);
    EXPECT_TRUE(w.loggingActive);
    EXPECT_EQ(label("n1"), QStringLiteral("- Wrzeciono"));
    EXPECT_EQ(w.channelNames[0], QStringLiteral("Wrzeciono"));
    EXPECT_TRUE(w.chartRunning);
}

TEST_F(SettingsWindowTest, ClosingNeverWritesNamesUnitsFileNameOrModulo)
{
    const QByteArray own = "EncName1=A\r\nEncName2=\r\nEncUnit1=mm\r\nFileName=x.csv\r\nMod=0x10\r\n";
    writeSettingsFile("[Options]\r\n" + own);
    window();
    control<QLineEdit>("enc_name_1")->setText(QStringLiteral("changed"));
    control<QLineEdit>("enc_unit_1")->setText(QStringLiteral("changed"));
    control<QLineEdit>("file_name_edit")->setText(QStringLiteral("changed.csv"));
    control<QLineEdit>("edit_mod")->setText(QStringLiteral("5"));
    closeWindow();
    EXPECT_TRUE(readSettingsFile().startsWith("[Options]\r\n" + own)) << readSettingsFile().toStdString();
}

TEST_F(SettingsWindowTest, ApplyActionsStoreAndShowNamesAndUnits)
{
    writeSettingsFile("[Options]\r\nEncName2=St\xF3\xB3\r\n"); // Windows-1250
    TFMain &w = window();
    EXPECT_EQ(label("n2"), QStringLiteral("- Stół"));
    EXPECT_EQ(label("n5"), QStringLiteral("- Stół"));

    control<QLineEdit>("enc_name_2")->clear();
    click("BitBtn2");
    EXPECT_EQ(label("n2"), QString());
    EXPECT_EQ(label("n5"), QString());
    EXPECT_EQ(w.channelNames[1], QString());
    EXPECT_TRUE(readSettingsFile().contains("\r\nEncName2=\r\n"));

    control<QLineEdit>("enc_unit_3")->setText(QStringLiteral("obr/min"));
    click("BitBtn6");
    EXPECT_EQ(w.channelUnits[2], QStringLiteral("obr/min"));
    EXPECT_EQ(stored("EncUnit3"), "obr/min");
    EXPECT_TRUE(errors().isEmpty());
}

TEST_F(SettingsWindowTest, LongNameIsCutAtTheNextStart)
{
    window();
    control<QLineEdit>("enc_name_1")->setMaxLength(32767);
    control<QLineEdit>("enc_name_1")->setText(QString(3000, QLatin1Char('x')));
    click("BitBtn1");
    closeWindow();
    EXPECT_EQ(text("enc_name_1"), QString(2047, QLatin1Char('x')));
}

TEST_F(SettingsWindowTest, CloseStoresPositionChecksChartAndLanguage)
{
    TFMain &w = window();
    w.move(120, 70);
    control<QCheckBox>("save_enc2v")->setChecked(false);
    w.chartSeriesVisible[3] = false;
    control<UpDownControl>("UpDown")->setValue(45);
    control<QComboBox>("LangCombo1")->setCurrentIndex(1);
    closeWindow();
    EXPECT_EQ(stored("ScreenTop"), "70");
    EXPECT_EQ(stored("ScreenLeft"), "120");
    EXPECT_EQ(stored("SaveEnc2v"), "0");
    EXPECT_EQ(stored("Chart4"), "0");
    EXPECT_EQ(stored("ChartTime"), "45");
    EXPECT_EQ(stored("Language"), "1");

    TFMain &again = window();
    EXPECT_EQ(again.pos(), QPoint(120, 70));
    EXPECT_FALSE(again.chartSeriesVisible[3]);
    EXPECT_FALSE(checked("save_enc2v"));
}

TEST_F(SettingsWindowTest, ClosingMinimisedStoresTheRestoredPosition)
{
    TFMain &w = window();
    w.show();
    w.move(200, 150);
    processEvents();
    w.showMinimized();
    processEvents();
    w.move(-32000, -32000); // where some platforms park a minimised window
    closeWindow();
    EXPECT_EQ(stored("ScreenTop"), "150");
    EXPECT_EQ(stored("ScreenLeft"), "200");
}

TEST_F(SettingsWindowTest, UnwritableSettingsFolderIsReportedOnceAndTheStartUpCompletes)
{
    writeSettingsFile("");
    const QString below = settingsPath() + QStringLiteral("/config.ini"); // a folder that is a file
    options().settingsPath = below;
    TFMain &w = window();
    EXPECT_EQ(errors(), QStringList{QStringLiteral("Unable to write to ") + below + QLatin1Char('.')});
    EXPECT_EQ(text("file_name_edit"), QStringLiteral("pomiary.csv"));
    EXPECT_TRUE(w.chartRunning);

    // After the start-up a failing apply action is reported on its own.
    clearErrors();
    click("BitBtn1");
    EXPECT_EQ(errors().size(), 1);
}

TEST_F(SettingsWindowTest, FailedWriteAtCloseIsReportedAndTheWindowStillCloses)
{
    TFMain &w = window();
    w.show();
    ASSERT_TRUE(QFile::remove(settingsPath()));
    ASSERT_TRUE(QDir().mkdir(settingsPath())); // the file became a folder: nothing can be written
    EXPECT_TRUE(w.close());
    EXPECT_EQ(errors(), QStringList{QStringLiteral("Unable to write to ") + settingsPath() + QLatin1Char('.')});
    EXPECT_FALSE(w.isVisible());
}

} // namespace
