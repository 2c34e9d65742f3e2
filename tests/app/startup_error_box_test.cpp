// Start-up errors under the real modal error box. The box runs its own event loop, so queued work (device
// notices, timers, posted calls) runs while it is open; the start-up must come out the same as without a box.
#include "window_fixture.h"

#include "sim_instrument_device.h"
#include "up_down_control.h"

#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>

#include <gmock/gmock.h>

#include <csignal>
#include <memory>
#include <vector>

#ifndef _WIN32
#include <sys/resource.h>
#endif

using namespace torvex::sim;

static void PrintTo(const QString &text, std::ostream *out) { *out << '"' << text.toStdString() << '"'; }

namespace {

#ifndef _WIN32
// While it lives, every write to a regular file fails and reads still work: a config.ini the user may read but not
// write (a protected install folder, an immutable file). The tests run as root, which permission bits do not stop,
// so the file size limit is set to 0 instead; the failed write then reaches the program as a real system error.
class FileWritesFail {
public:
    FileWritesFail()
    {
        m_previousHandler = std::signal(SIGXFSZ, SIG_IGN); // else the first write ends the process
        getrlimit(RLIMIT_FSIZE, &m_previous);
        rlimit none = m_previous;
        none.rlim_cur = 0;
        m_active = setrlimit(RLIMIT_FSIZE, &none) == 0;
    }
    ~FileWritesFail()
    {
        setrlimit(RLIMIT_FSIZE, &m_previous);
        std::signal(SIGXFSZ, m_previousHandler);
    }
    FileWritesFail(const FileWritesFail &) = delete;
    FileWritesFail &operator=(const FileWritesFail &) = delete;

    bool active() const { return m_active; }

private:
    rlimit m_previous{};
    void (*m_previousHandler)(int) = nullptr;
    bool m_active = false;
};

// The window being made: inside its constructor the fixture does not hold it yet.
TFMain *windowOnTheWay()
{
    for (QWidget *widget : QApplication::topLevelWidgets())
        if (auto *w = qobject_cast<TFMain *>(widget))
            return w;
    return nullptr;
}
#endif

class StartUpUnderModalBox : public WindowFixture {
protected:
    QString label(const char *name) { return control<QLabel>(name)->text(); }

    QString unwritable() const { return QStringLiteral("Unable to write to ") + settingsPath() + u'.'; }

    void expectStartUpCompleted(TFMain &w)
    {
        auto *pages = control<QTabWidget>("PageControl1");
        EXPECT_FALSE(pages->isTabVisible(pages->indexOf(control<QWidget>("TabSheet2"))));
        EXPECT_TRUE(w.chartRunning);
        EXPECT_FALSE(w.startingUp);
    }
};

} // namespace

#ifndef _WIN32 // the file size limit stands in for a read-only file
TEST_F(StartUpUnderModalBox, ReadOnlySettingsGiveOneBoxAndTheWholeStartUp)
{
    // Windows-1250 bytes, as an earlier installation wrote them: "Wał", "Taśma", "Koło".
    writeSettingsFile("[Options]\r\nEncName1=Wa\xB3\r\nEncName2=Ta\x9Cma\r\nEncName3=Ko\xB3o\r\nLanguage=1\r\n");
    const QByteArray stored = readSettingsFile();
    useModalErrorBoxes();
    {
        FileWritesFail readOnly;
        ASSERT_TRUE(readOnly.active());
        window();
    }
    TFMain &w = window();
    EXPECT_EQ(errors(), QStringList{unwritable()});
    EXPECT_EQ(mostErrorBoxesOpen(), 1);

    // English applied, not only picked.
    EXPECT_EQ(w.activeLanguage(), 2);
    EXPECT_EQ(control<QComboBox>("LangCombo1")->currentIndex(), 1);
    auto *pages = control<QTabWidget>("PageControl1");
    EXPECT_EQ(pages->tabText(pages->indexOf(control<QWidget>("TabSheet1"))), QStringLiteral("Display"));
    EXPECT_EQ(control<QPushButton>("PlayButton")->text(), QStringLiteral("Pause chart"));
    // Every name shown beside both captions of its encoder.
    EXPECT_EQ(label("n1"), QStringLiteral("- Wał"));
    EXPECT_EQ(label("n4"), QStringLiteral("- Wał"));
    EXPECT_EQ(label("n2"), QStringLiteral("- Taśma"));
    EXPECT_EQ(label("n5"), QStringLiteral("- Taśma"));
    EXPECT_EQ(label("n3"), QStringLiteral("- Koło"));
    EXPECT_EQ(label("n6"), QStringLiteral("- Koło"));
    expectStartUpCompleted(w);
    EXPECT_EQ(readSettingsFile(), stored);
}

#endif

TEST_F(StartUpUnderModalBox, SettingsFileThatIsAFolderGivesOneBoxAndTheWholeStartUp)
{
    ASSERT_TRUE(QDir().mkpath(settingsPath()));
    useModalErrorBoxes();
    TFMain &w = window();
    EXPECT_EQ(errors(), QStringList{unwritable()});
    EXPECT_EQ(mostErrorBoxesOpen(), 1);
    EXPECT_EQ(control<QLineEdit>("file_name_edit")->text(), QStringLiteral("pomiary.csv"));
    expectStartUpCompleted(w);

    // Once started, the same failure from a button is the button's own error again.
    clearErrors();
    click("BitBtn1");
    EXPECT_EQ(errors(), QStringList{unwritable()});
}

#ifndef _WIN32
TEST_F(StartUpUnderModalBox, ErrorsAreShownAfterTheStartUpInTheOrderRaisedEachOnce)
{
    writeSettingsFile("[Options]\r\nEncName2=Ta\x9Cma\r\nChartTime=abc\r\nLanguage=7\r\n");
    useModalErrorBoxes(50);
    std::vector<int> stepsRun;
    options().beforeStartupStep = [&](int step) { stepsRun.push_back(step); };
    // What the start-up had done when each box was open.
    std::vector<bool> overAtBox;
    whileErrorBoxOpen = [&] {
        TFMain *w = windowOnTheWay();
        overAtBox.push_back(w && !w->startingUp && stepsRun.size() == 16 && w->chartRunning);
    };
    {
        FileWritesFail readOnly;
        ASSERT_TRUE(readOnly.active());
        window();
    }
    EXPECT_EQ(errors(),
              QStringList({QStringLiteral("'abc' is not a valid integer value."), unwritable(),
                           QStringLiteral("TFMain: 0 - is not a valid property value!\n"
                                          "Value must be within [1..2]!")}));
    EXPECT_EQ(overAtBox, (std::vector<bool>{true, true, true}));
    EXPECT_EQ(mostErrorBoxesOpen(), 1);
    EXPECT_EQ(label("n2"), QStringLiteral("- Taśma"));
    EXPECT_EQ(label("n5"), QStringLiteral("- Taśma"));
}

#endif

TEST_F(StartUpUnderModalBox, FailingStepStillEndsTheStartUpThere)
{
    useModalErrorBoxes(50);
    std::vector<int> stepsRun;
    options().beforeStartupStep = [&](int step) {
        stepsRun.push_back(step);
        if (step == 13)
            throw std::runtime_error("step failed");
    };
    TFMain &w = window();
    EXPECT_EQ(errors(), QStringList{QStringLiteral("step failed.")});
    EXPECT_EQ(stepsRun.back(), 13);
    EXPECT_FALSE(w.chartRunning);
    EXPECT_FALSE(w.startingUp);
    // Settings writes after the start-up are errors of their own again.
    ASSERT_TRUE(QFile::remove(settingsPath()));
    ASSERT_TRUE(QDir().mkpath(settingsPath()));
    clearErrors();
    click("BitBtn2");
    EXPECT_EQ(errors(), QStringList{unwritable()});
}

namespace {

class StartUpWithInstrument : public StartUpUnderModalBox {
protected:
    void SetUp() override
    {
        StartUpUnderModalBox::SetUp();
        options().hidPlatform = platform;
        instrument = std::make_unique<SimInstrumentDevice>(*platform);
        instrument->driver().withInstrument([](torvex::sim::Instrument &i) { i.parameters().sendInterval = 5; });
        instrument->start();
    }

    void TearDown() override
    {
        StartUpUnderModalBox::TearDown(); // the window lets go of its devices first
        instrument.reset();
    }

    std::shared_ptr<SimHidPlatform> platform = std::make_shared<SimHidPlatform>();
    std::unique_ptr<SimInstrumentDevice> instrument;
};

} // namespace

TEST_F(StartUpWithInstrument, ConnectionStaysShownAfterTheBoxWhileReportsFlow)
{
    writeSettingsFile("[Options]\r\nChartTime=abc\r\n");
    useModalErrorBoxes(); // the device pass and the first reports come while the box is open
    TFMain &w = window();
    EXPECT_EQ(errors(), QStringList{QStringLiteral("'abc' is not a valid integer value.")});

    const uint32_t seen = w.Measurement.MeasurementCount;
    ASSERT_TRUE(QTest::qWaitFor([&] { return w.Measurement.MeasurementCount >= seen + 5; }, 5000));
    EXPECT_TRUE(w.Connected());
    EXPECT_EQ(w.statusPanelText(1), QStringLiteral("Połączony"));
    EXPECT_EQ(w.statusPanelText(0), QStringLiteral("Odświeżam listę urządzeń"));
    EXPECT_EQ(control<UpDownControl>("UpDown")->value(), 1);
}
