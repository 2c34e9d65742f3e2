// Logging through the real window: reports handed to the report handler, the buttons clicked, the 1 s tick
// called by hand; the end-to-end case runs the simulated instrument in real time.
#include "window_fixture.h"

#include "language.h"
#include "measure/log_file.h"
#include "sim_instrument_device.h"
#include "test_names.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>

#include <gmock/gmock.h>

#include <array>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

std::string fileContents(const QString &path)
{
    std::ifstream in(fs::path(path.toStdU16String()), std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::vector<std::string> fileLines(const QString &path)
{
    std::vector<std::string> lines;
    const std::string all = fileContents(path);
    size_t start = 0;
    for (size_t end; (end = all.find("\r\n", start)) != std::string::npos; start = end + 2)
        lines.push_back(all.substr(start, end - start));
    EXPECT_EQ(start, all.size()) << "text after the last line end";
    return lines;
}

// Notes that the window it watches got its close event.
class CloseWatcher : public QObject {
public:
    CloseWatcher(bool *closed, QObject *parent) : QObject(parent), m_closed(closed) {}
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Close)
            *m_closed = true;
        return false;
    }

private:
    bool *m_closed;
};

class LogWindowTest : public WindowFixture {
protected:
    // Leaves only the counter column ticked, so each line is the report's number.
    void onlyCounterColumn()
    {
        for (const char *name : {"save_date", "save_time", "save_cntmod", "save_enc1p", "save_enc2p", "save_enc3p",
                                 "save_enc1v", "save_enc2v", "save_enc3v", "save_output"})
            control<QCheckBox>(name)->setChecked(false);
        control<QCheckBox>("save_cnt")->setChecked(true);
    }

    void setLogPath(const QString &path) { control<QLineEdit>("file_name_edit")->setText(path); }

    // One measurement report through the report handler, as the device's read thread delivers it.
    void measurementReport(uint8_t decimals = 0)
    {
        std::array<uint8_t, 64> data{};
        data[2] = decimals;
        window().DeviceDataReceived(nullptr, 1, data.data(), static_cast<uint16_t>(data.size()));
        window().recorder.sync(); // the log's writer has its own thread: it has handled the line
    }

    // The 1 s tick, and what the log's writer made of it shown.
    void tickLog()
    {
        window().SaveFileTimerTimer();
        window().settleLog();
    }

    QString panel3() { return window().statusPanelText(3); }
    QColor labelColour() { return control<QLabel>("save_label")->palette().color(QPalette::WindowText); }
};

TEST_F(LogWindowTest, StartWithEmptyPathChangesNothing)
{
    setLogPath(QString());
    click("save_button");
    EXPECT_FALSE(window().loggingActive);
    EXPECT_EQ(control<QLabel>("save_label")->text(), QStringLiteral("Zapis nieaktywny"));
    EXPECT_EQ(labelColour(), QColor(0, 64, 128));
    EXPECT_EQ(panel3(), QStringLiteral("Zapis: nieaktywny"));
    EXPECT_TRUE(control<QPushButton>("file_name_button")->isEnabled());
}

TEST_F(LogWindowTest, StopAndStartAgainAppendsAndTheCounterRunsOn)
{
    const QString path = tempPath(QStringLiteral("pomiary.csv"));
    {
        std::ofstream(fs::path(path.toStdU16String()), std::ios::binary) << "earlier run;\r\n";
    }
    onlyCounterColumn();
    setLogPath(path);

    click("save_button");
    ASSERT_TRUE(window().loggingActive);
    EXPECT_EQ(control<QLabel>("save_label")->text(), QStringLiteral("Zapis: aktywny"));
    EXPECT_EQ(labelColour(), QColor(168, 22, 6));
    EXPECT_EQ(panel3(), QStringLiteral("Zapis: aktywny"));
    EXPECT_FALSE(control<QPushButton>("file_name_button")->isEnabled());
    for (int i = 0; i < 3; ++i)
        measurementReport();

    click("save_button"); // stop: everything so far is in the file
    EXPECT_FALSE(window().loggingActive);
    EXPECT_THAT(fileLines(path), testing::ElementsAre("earlier run;", "0;", "1;", "2;"));
    EXPECT_EQ(panel3(), QStringLiteral("Zapis: nieaktywny"));
    EXPECT_TRUE(control<QPushButton>("file_name_button")->isEnabled());

    measurementReport(); // not logged, but counted
    measurementReport();
    click("save_button");
    measurementReport();
    closeWindow(); // closing the window closes the file
    EXPECT_THAT(fileLines(path), testing::ElementsAre("earlier run;", "0;", "1;", "2;", "5;"));
}

TEST_F(LogWindowTest, AutoStartFromTheSettingsFile)
{
    const QString path = tempPath(QStringLiteral("auto.csv"));
    writeSettingsFile("[Options]\r\nSaveAuto=1\r\nSaveDate=0\r\nSaveTime=0\r\nSaveCntMod=0\r\nSaveEnc1p=0\r\n"
                      "SaveEnc2p=0\r\nSaveEnc3p=0\r\nSaveEnc1v=0\r\nSaveEnc2v=0\r\nSaveEnc3v=0\r\nSaveOutput=0\r\n"
                      "FileName="
                      + path.toUtf8() + "\r\n");
    EXPECT_TRUE(window().loggingActive);
    EXPECT_EQ(panel3(), QStringLiteral("Zapis: aktywny"));
    measurementReport();
    closeWindow();
    EXPECT_THAT(fileLines(path), testing::ElementsAre("0;"));
}

TEST_F(LogWindowTest, TickAloneBringsTheLinesToDisk)
{
    const QString path = tempPath(QStringLiteral("tick.csv"));
    onlyCounterColumn();
    setLogPath(path);
    click("save_button");
    tickLog();
    measurementReport(); // first line after the tick: written and closed
    measurementReport();
    measurementReport();
    // The instrument falls silent; only the timer runs.
    tickLog();
    EXPECT_THAT(fileLines(path), testing::ElementsAre("0;", "1;", "2;"));
    EXPECT_TRUE(window().loggingActive);
}

// The user deletes the log file while lines are being added: the next tick finds it gone and writes the lines
// not yet known to be safe into a new file at the same path. On Linux only: Wine reports neither a pending delete
// nor a link count of 0 for an open file.
#ifndef _WIN32
TEST_F(LogWindowTest, DeletedLogFileIsWrittenAgainAtItsPath)
{
    const QString path = tempPath(QStringLiteral("deleted.csv"));
    onlyCounterColumn();
    setLogPath(path);
    click("save_button");
    measurementReport(); // opens the file
    measurementReport();
    ASSERT_TRUE(QFile::remove(path));
    measurementReport();
    tickLog();
    EXPECT_EQ(panel3(), QStringLiteral("Zapis: aktywny"));
    measurementReport();
    closeWindow();
    EXPECT_THAT(fileLines(path), testing::ElementsAre("0;", "1;", "2;", "3;"));
}
#endif

struct ModuloCase {
    const char *typed;
    const char *shown;
    int32_t modulo;     // modulo value afterwards (7 = the one stored before)
    const char *colour; // "red", "green" or "unchanged"
};

class ModuloTest : public LogWindowTest, public testing::WithParamInterface<ModuloCase> {};

TEST_P(ModuloTest, ApplyValidatesLimitsAndStores)
{
    const ModuloCase &c = GetParam();
    writeSettingsFile("[Options]\r\nMod=7\r\n");
    QLineEdit *field = control<QLineEdit>("edit_mod");
    ASSERT_EQ(window().moduloValue, 7);
    const QColor before = field->palette().color(QPalette::Base);

    field->setText(QString::fromUtf8(c.typed));
    click("BitBtn5");

    EXPECT_EQ(field->text(), QString::fromUtf8(c.shown));
    EXPECT_EQ(window().moduloValue, c.modulo);
    const QColor after = field->palette().color(QPalette::Base);
    if (std::string(c.colour) == "red")
        EXPECT_EQ(after, QColor(253, 124, 102));
    else if (std::string(c.colour) == "green")
        EXPECT_EQ(after, QColor(192, 220, 192));
    else
        EXPECT_EQ(after, before);
    EXPECT_TRUE(readSettingsFile().contains("Mod=" + QByteArray::number(c.modulo) + "\r\n"));
    EXPECT_THAT(errors(), testing::IsEmpty());
}

INSTANTIATE_TEST_SUITE_P(EditMod, ModuloTest,
                         testing::Values(ModuloCase{"0", "1", 1, "green"}, ModuloCase{"-5", "1", 1, "green"},
                                         ModuloCase{"abc", "abc", 7, "red"}, ModuloCase{"", "", 7, "red"},
                                         ModuloCase{"250", "250", 250, "unchanged"},
                                         ModuloCase{"99999999", "99999999", 99999999, "unchanged"}),
                         [](const auto &row) { return testName(row.param.typed); });

TEST_F(LogWindowTest, ModuloZeroFromTheSettingsFileWritesThePlaceholder)
{
    const QString path = tempPath(QStringLiteral("mod0.csv"));
    writeSettingsFile("[Options]\r\nMod=0\r\n");
    onlyCounterColumn();
    control<QCheckBox>("save_cntmod")->setChecked(true);
    control<QCheckBox>("save_enc1p")->setChecked(true);
    setLogPath(path);
    click("save_button");
    measurementReport();
    closeWindow();
    EXPECT_THAT(fileLines(path), testing::ElementsAre("0;---;0;"));
}

TEST_F(LogWindowTest, ChosenFileIsShownAndStoredAtOnce)
{
    const QString chosen = tempPath(QStringLiteral("chosen.csv"));
    window().saveDialogHook = [&] { return chosen; };
    click("file_name_button");
    EXPECT_EQ(control<QLineEdit>("file_name_edit")->text(), QDir::toNativeSeparators(chosen));
    EXPECT_TRUE(readSettingsFile().contains("FileName=" + QDir::toNativeSeparators(chosen).toUtf8() + "\r\n"));

    window().saveDialogHook = [] { return QString(); }; // cancelled
    click("file_name_button");
    EXPECT_EQ(control<QLineEdit>("file_name_edit")->text(), QDir::toNativeSeparators(chosen));
}

TEST_F(LogWindowTest, ChosenFileIsKeptWhenTheSettingsFileCannotBeWritten)
{
    window();
    // A folder where the settings file should be: every write to it fails.
    fs::remove(fs::path(settingsPath().toStdU16String()));
    fs::create_directory(fs::path(settingsPath().toStdU16String()));
    const QString chosen = tempPath(QStringLiteral("kept.csv"));
    window().saveDialogHook = [&] { return chosen; };
    click("file_name_button");
    EXPECT_EQ(control<QLineEdit>("file_name_edit")->text(), QDir::toNativeSeparators(chosen));
    EXPECT_THAT(errors(), testing::IsEmpty());
}

// A log path that fails, in both languages: the label and panel 3 say so, and how many lines wait; their tooltips
// say why, name the file and the lines waiting and lost; logging stays on, and once the path is usable again the
// waiting lines go first and the normal texts come back. Lines handed over while another program writes the
// file do not wait: they are lost, and the tooltip keeps saying so after the file is free.
enum class Cause { MissingFolder, DiskFull, OtherWriter };

struct FailureCase {
    const char *name;
    int language;
    Cause cause;
    const char *errorText;     // %1 the lines waiting (none wait for a file another program writes)
    const char *activeText[2]; // save_label, panel 3
    const char *tipCounts;     // the tooltip's counts; %1 the lines waiting, %2 the lines lost
    const char *why;           // the tooltip's first line; %1 this process's id, the writer holding the file
};

class LogFailureTest : public LogWindowTest, public testing::WithParamInterface<FailureCase> {
protected:
    QString labelTip() { return control<QLabel>("save_label")->toolTip(); }
    QString panel3Tip() { return window().statusPanel(3)->toolTip(); }
};

TEST_P(LogFailureTest, ErrorSaysHowManyLinesWaitUntilTheyAreWritten)
{
    const FailureCase &c = GetParam();
    auto *picker = control<QComboBox>("LangCombo1");
    picker->setCurrentIndex(c.language - 1);
    Q_EMIT picker->activated(c.language - 1);
    const fs::path folder = fs::path(tempPath(QStringLiteral("logs")).toStdU16String());
    const fs::path file = folder / "pomiary.csv";
    const QString shownPath = QString::fromStdU16String(fs::path(file).make_preferred().u16string());
    torvex::LogFile otherWriter;
    if (c.cause == Cause::DiskFull) {
        fs::create_directory(folder);
        fs::create_symlink("/dev/full", file);
    } else if (c.cause == Cause::OtherWriter) {
        fs::create_directory(folder);
        ASSERT_TRUE(otherWriter.open(file.string()));
        otherWriter.close(); // closed, as a logging program is between its seconds, yet holding the file
    }
    onlyCounterColumn();
    setLogPath(QString::fromStdU16String(file.u16string()));
    click("save_button");
    QLabel *label = control<QLabel>("save_label");
    const bool refused = c.cause == Cause::OtherWriter;
    // `handed` lines handed over during the fault: waiting, or lost to a file another program writes.
    auto expectShown = [&](int handed) {
        const int waiting = refused ? 0 : handed;
        const int lost = refused ? handed : 0;
        const QString error = refused ? QString::fromUtf8(c.errorText) : QString::fromUtf8(c.errorText).arg(waiting);
        EXPECT_EQ(panel3(), error);
        EXPECT_EQ(label->text(), error);
        EXPECT_EQ(labelColour(), QColor(168, 22, 6));
        for (const QString &tip : {labelTip(), panel3Tip()}) {
            EXPECT_TRUE(tip.contains(shownPath)) << tip.toStdString();
            EXPECT_TRUE(tip.endsWith(QString::fromUtf8(c.tipCounts).arg(waiting).arg(lost))) << tip.toStdString();
            const QString why = QString::fromUtf8(c.why).arg(QCoreApplication::applicationPid());
            EXPECT_TRUE(QRegularExpression(QStringLiteral("^") + why + u'\n').match(tip).hasMatch())
                << tip.toStdString();
        }
    };
    measurementReport();
    measurementReport();
    tickLog();
    measurementReport();
    tickLog();
    expectShown(3);
    EXPECT_TRUE(window().loggingActive);
    measurementReport();
    tickLog();
    expectShown(4); // the count stays current while the error lasts

    if (c.cause == Cause::DiskFull)
        fs::remove(file);
    else if (c.cause == Cause::OtherWriter)
        otherWriter.unlock();
    else
        fs::create_directory(folder);
    // Usable now; a waiting backlog has it tried again at the next tick, a refused file with the next line.
    measurementReport();
    expectShown(4);
    tickLog();
    EXPECT_EQ(label->text(), QString::fromUtf8(c.activeText[0]));
    EXPECT_EQ(panel3(), QString::fromUtf8(c.activeText[1]));
    // Lines lost stay in the tooltip (its last line) until logging stops.
    const QString lostLine = QString::fromUtf8(c.tipCounts).section(u'\n', 2).arg(4);
    EXPECT_EQ(labelTip(), refused ? shownPath + u'\n' + lostLine : shownPath);
    EXPECT_EQ(panel3Tip(), labelTip());
    measurementReport();
    closeWindow();
    const std::vector<std::string> expected =
        refused ? std::vector<std::string>{"4;", "5;"} : std::vector<std::string>{"0;", "1;", "2;", "3;", "4;", "5;"};
    EXPECT_EQ(fileLines(QString::fromStdU16String(file.u16string())), expected);
    EXPECT_THAT(errors(), testing::IsEmpty());
}

INSTANTIATE_TEST_SUITE_P(
    Paths, LogFailureTest,
    testing::Values(FailureCase{"MissingFolderPolish",
                                kPolish,
                                Cause::MissingFolder,
                                "Błąd zapisu: %1",
                                {"Zapis: aktywny", "Zapis: aktywny"},
                                "\nWiersze czekające na zapis: %1\nUtracone wiersze: %2",
                                "Nie można zapisać pliku:"},
                    FailureCase{"MissingFolderEnglish",
                                kEnglish,
                                Cause::MissingFolder,
                                "Write error: %1",
                                {"Write active", "Write: active"},
                                "\nLines waiting: %1\nLines lost: %2",
                                "Cannot write to the file:"},
                    FailureCase{"OtherWriterPolish",
                                kPolish,
                                Cause::OtherWriter,
                                "Błąd zapisu",
                                {"Zapis: aktywny", "Zapis: aktywny"},
                                "\nWiersze czekające na zapis: %1\nUtracone wiersze: %2",
                                "Do pliku zapisuje już inny program \\(torvex_gui_tes.*, PID %1\\):"},
                    FailureCase{"OtherWriterEnglish",
                                kEnglish,
                                Cause::OtherWriter,
                                "Write error",
                                {"Write active", "Write: active"},
                                "\nLines waiting: %1\nLines lost: %2",
                                "Another program is already writing to the file \\(torvex_gui_tes.*, PID %1\\):"}
#ifndef _WIN32
                    ,
                    FailureCase{"DiskFullPolish",
                                kPolish,
                                Cause::DiskFull,
                                "Błąd zapisu: %1",
                                {"Zapis: aktywny", "Zapis: aktywny"},
                                "\nWiersze czekające na zapis: %1\nUtracone wiersze: %2",
                                "Nie można zapisać pliku:"},
                    FailureCase{"DiskFullEnglish",
                                kEnglish,
                                Cause::DiskFull,
                                "Write error: %1",
                                {"Write active", "Write: active"},
                                "\nLines waiting: %1\nLines lost: %2",
                                "Cannot write to the file:"}
#endif
                    ),
    [](const auto &param) { return std::string(param.param.name); });

// A switch of language while lines wait keeps the error on the label, in the new language; stopping brings back
// the inactive texts and a tooltip with the path alone.
TEST_F(LogWindowTest, ErrorFollowsALanguageSwitchAndEndsWithAStop)
{
    // A '%' in the path must reach the tooltip as it is, not be taken for a place holder.
    const QString path = tempPath(QStringLiteral("missing %2/pomiary.csv"));
    setLogPath(path);
    click("save_button");
    measurementReport();
    tickLog();
    QLabel *label = control<QLabel>("save_label");
    ASSERT_EQ(label->text(), QStringLiteral("Błąd zapisu: 1"));

    auto *picker = control<QComboBox>("LangCombo1");
    picker->setCurrentIndex(1);
    Q_EMIT picker->activated(1);
    EXPECT_EQ(label->text(), QStringLiteral("Write error: 1"));
    EXPECT_EQ(label->toolTip(),
              QStringLiteral("Cannot write to the file:\n%1\nLines waiting: 1\nLines lost: 0")
                  .arg(QDir::toNativeSeparators(path)));
    EXPECT_EQ(panel3(), QStringLiteral("Błąd zapisu: 1")); // panel 3 waits for the next change of state

    click("save_button");
    EXPECT_EQ(label->text(), QStringLiteral("Write: inactive"));
    EXPECT_EQ(labelColour(), QColor(0, 64, 128));
    EXPECT_EQ(panel3(), QStringLiteral("Write: inactive"));
    EXPECT_EQ(label->toolTip(), QDir::toNativeSeparators(path));
    tickLog();
    EXPECT_EQ(label->text(), QStringLiteral("Write: inactive"));
}

// Lines beyond the backlog are lost; once the rest has been written the tooltips keep the count of lines lost
// until logging stops.
TEST_F(LogWindowTest, LostLinesStayInTheTooltipUntilLoggingStops)
{
    options().logBacklogLines = 3;
    const QString folder = tempPath(QStringLiteral("logs"));
    const QString path = folder + QStringLiteral("/pomiary.csv");
    const QString shownPath = QDir::toNativeSeparators(path);
    onlyCounterColumn();
    setLogPath(path);
    click("save_button");
    for (int i = 0; i < 5; ++i)
        measurementReport();
    tickLog();
    QLabel *label = control<QLabel>("save_label");
    EXPECT_EQ(label->text(), QStringLiteral("Błąd zapisu: 3"));
    EXPECT_EQ(label->toolTip(),
              QStringLiteral("Nie można zapisać pliku:\n%1\nWiersze czekające na zapis: 3\n"
                             "Utracone wiersze: 2")
                  .arg(shownPath));

    ASSERT_TRUE(QDir().mkpath(folder));
    tickLog();
    EXPECT_EQ(label->text(), QStringLiteral("Zapis: aktywny"));
    for (QWidget *shown : {static_cast<QWidget *>(label), static_cast<QWidget *>(window().statusPanel(3))})
        EXPECT_EQ(shown->toolTip(), shownPath + QStringLiteral("\nUtracone wiersze: 2"));
    measurementReport();
    tickLog();
    EXPECT_EQ(label->toolTip(), shownPath + QStringLiteral("\nUtracone wiersze: 2"));

    click("save_button");
    EXPECT_EQ(label->toolTip(), shownPath);
    EXPECT_THAT(fileLines(path), testing::ElementsAre("0;", "1;", "2;", "5;"));
}

// Stop or close while the file still cannot be written: the waiting lines go to a recovery file (here in the
// documents folder, the log's own folder being gone), and an error box in the window's language says where.
struct RescueCase {
    const char *name;
    int language;
    bool byClose;        // closing the window instead of the stop button
    const char *message; // %1 the log file, %2 the recovery file
};

class LogRescueWindowTest : public LogWindowTest, public testing::WithParamInterface<RescueCase> {};

TEST_P(LogRescueWindowTest, WaitingLinesGoToARecoveryFileAndTheUserIsTold)
{
    const RescueCase &c = GetParam();
    const QString documents = tempPath(QStringLiteral("documents"));
    ASSERT_TRUE(QDir().mkpath(documents));
    options().logRescueFolders = {tempPath(QStringLiteral("gone")), documents};
    const QString path = tempPath(QStringLiteral("logs/pomiary.csv"));
    auto *picker = control<QComboBox>("LangCombo1");
    picker->setCurrentIndex(c.language - 1);
    Q_EMIT picker->activated(c.language - 1);
    onlyCounterColumn();
    setLogPath(path);
    click("save_button");
    for (int i = 0; i < 3; ++i)
        measurementReport();
    tickLog();
    ASSERT_THAT(errors(), testing::IsEmpty());
    if (c.byClose)
        closeWindow();
    else
        click("save_button");

    const QString rescued = documents + QStringLiteral("/pomiary.recovered.csv");
    EXPECT_THAT(errors(),
                testing::ElementsAre(QString::fromUtf8(c.message).arg(QDir::toNativeSeparators(path),
                                                                      QDir::toNativeSeparators(rescued))));
    EXPECT_THAT(fileLines(rescued), testing::ElementsAre("0;", "1;", "2;"));
}

INSTANTIATE_TEST_SUITE_P(
    Ends, LogRescueWindowTest,
    testing::Values(RescueCase{"StopPolish", kPolish, false,
                               "Nie można zapisać pliku:\n%1\n\nCzekające wiersze (3) zapisano w pliku:\n%2\n\n"
                               "Dołącz je do pliku pomiarowego, gdy będzie dostępny."},
                    RescueCase{"CloseEnglish", kEnglish, true,
                               "Cannot write to the file:\n%1\n\nThe lines waiting for it (3) were saved to:\n%2\n\n"
                               "Append them to the log file once it can be written."}),
    [](const auto &param) { return std::string(param.param.name); });

#ifndef _WIN32
// SIGTERM (the session ends, a service manager stops the program) closes the window as its close button does,
// but no box may wait for a click then: the rescue is told on standard error, and in a box at the next start.
TEST_F(LogWindowTest, SigtermClosesWithoutABoxAndTheNextStartTellsOfTheRescue)
{
    const QString documents = tempPath(QStringLiteral("documents"));
    ASSERT_TRUE(QDir().mkpath(documents));
    options().logRescueFolders = {documents};
    const QString path = tempPath(QStringLiteral("logs/pomiary.csv"));
    onlyCounterColumn();
    setLogPath(path);
    click("save_button");
    for (int i = 0; i < 3; ++i)
        measurementReport();
    bool closed = false;
    window().installEventFilter(new CloseWatcher(&closed, &window()));
    std::raise(SIGTERM);
    QElapsedTimer clock;
    clock.start();
    while (!closed && clock.elapsed() < 5000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    ASSERT_TRUE(closed) << "SIGTERM did not close the window";
    EXPECT_THAT(errors(), testing::IsEmpty()) << "no box on the way out";
    const QString rescued = documents + QStringLiteral("/pomiary.recovered.csv");
    EXPECT_THAT(fileLines(rescued), testing::ElementsAre("0;", "1;", "2;"));

    closeWindow();
    window(); // the next start
    EXPECT_THAT(errors(),
                testing::ElementsAre(QStringLiteral("Nie można zapisać pliku:\n%1\n\nCzekające wiersze (3) "
                                                    "zapisano w pliku:\n%2\n\nDołącz je do pliku "
                                                    "pomiarowego, gdy będzie dostępny.")
                                         .arg(QDir::toNativeSeparators(path), QDir::toNativeSeparators(rescued))));
    closeWindow();
    window(); // told once
    EXPECT_EQ(errors().size(), 1);
}
#endif

// The default log name is relative to the working directory; the tooltips show where the file really is, and
// follow the name as it changes.
TEST_F(LogWindowTest, TooltipsShowTheLogFilesFullPath)
{
    const QString expected =
        QString::fromStdU16String((fs::current_path() / "pomiary.csv").make_preferred().u16string());
    EXPECT_EQ(control<QLineEdit>("file_name_edit")->text(), QStringLiteral("pomiary.csv"));
    for (QWidget *shown :
         {static_cast<QWidget *>(control<QLineEdit>("file_name_edit")),
          static_cast<QWidget *>(control<QLabel>("save_label")), static_cast<QWidget *>(window().statusPanel(3))})
        EXPECT_EQ(shown->toolTip(), expected) << shown->objectName().toStdString();

    const QString chosen = tempPath(QStringLiteral("chosen.csv"));
    window().saveDialogHook = [&] { return chosen; };
    click("file_name_button");
    EXPECT_EQ(control<QLineEdit>("file_name_edit")->toolTip(), QDir::toNativeSeparators(chosen));
    EXPECT_EQ(control<QLabel>("save_label")->toolTip(), QDir::toNativeSeparators(chosen));
}

// The simulated instrument sends every millisecond for a few seconds; logging is switched on and off while
// it runs. Every report handled while logging was on must be in the file exactly once, in order.
TEST_F(LogWindowTest, EndToEndAtOneMillisecondNothingLostNothingDoubled)
{
    auto platform = std::make_shared<torvex::sim::SimHidPlatform>();
    torvex::sim::SimInstrumentDevice instrument(*platform);
    instrument.driver().withInstrument([](torvex::sim::Instrument &i) { i.parameters().sendInterval = 1; });
    options().hidPlatform = platform;
    const QString path = tempPath(QStringLiteral("e2e.csv"));
    onlyCounterColumn();
    setLogPath(path);

    QElapsedTimer clock;
    clock.start();
    auto runFor = [&](qint64 ms) {
        const qint64 end = clock.elapsed() + ms;
        qint64 nextTick = clock.elapsed() + 1000;
        while (clock.elapsed() < end) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
            if (clock.elapsed() >= nextTick) {
                tickLog();
                nextTick += 1000;
            }
        }
    };
    runFor(300);
    ASSERT_TRUE(window().Connected());
    instrument.start();
    runFor(300);

    click("save_button");
    const uint32_t first = window().Measurement.MeasurementCount;
    runFor(2500);
    click("save_button");
    const uint32_t end = window().Measurement.MeasurementCount;
    runFor(300);
    instrument.stop();
    closeWindow();

    const std::vector<std::string> lines = fileLines(path);
    ASSERT_EQ(lines.size(), size_t(end - first));
    EXPECT_GT(lines.size(), 200u) << "the instrument hardly sent anything";
    for (size_t i = 0; i < lines.size(); ++i)
        ASSERT_EQ(lines[i], std::to_string(first + i) + ";") << "line " << i;
}

} // namespace
