// The program started again on the settings file of a running window: the real entry and the real modal box.
#include "app_main.h"
#include "settings/instance_lock.h"
#include "window_fixture.h"

#include <QFile>
#include <QTimer>

#include <gmock/gmock.h>

#include <algorithm>
#include <optional>
#include <string>

namespace {

using torvex::InstanceLock;

struct SecondStartCase {
    const char *name;
    const char *language; // the Language value of the settings file
    const char *message;
};

void PrintTo(const SecondStartCase &c, std::ostream *os) { *os << c.name; }

class SecondStart : public WindowFixture, public testing::WithParamInterface<SecondStartCase> {};

bool anyMainWindow()
{
    const QWidgetList windows = QApplication::topLevelWidgets();
    return std::any_of(windows.begin(), windows.end(), [](QWidget *w) { return qobject_cast<TFMain *>(w); });
}

// The message is in the language of the settings file, and neither that file nor the log it names is touched:
// the running window logs there.
TEST_P(SecondStart, SaysSoInTheLanguageOfTheSettingsFileAndWritesNothing)
{
    const QString log = tempPath(QStringLiteral("pomiary.csv"));
    const QByteArray settings = QByteArray("[Options]\r\nLanguage=") + GetParam().language
        + "\r\nSaveAuto=1\r\nFileName=" + log.toUtf8() + "\r\n";
    writeSettingsFile(settings);
    const InstanceLock running(filesystemPath(settingsPath()));
    ASSERT_EQ(running.state(), InstanceLock::State::Held);

    useModalErrorBoxes(100);
    EXPECT_EQ(runMainWindow(options()), 0);
    EXPECT_THAT(errors(), testing::ElementsAre(QString::fromUtf8(GetParam().message)));
    EXPECT_FALSE(anyMainWindow());
    EXPECT_EQ(readSettingsFile(), settings);
    EXPECT_FALSE(QFile::exists(log));
}

INSTANTIATE_TEST_SUITE_P(Languages, SecondStart,
                         testing::Values(SecondStartCase{"Polish", "0", "TORVEX PC jest już uruchomiony."},
                                         SecondStartCase{"English", "1", "TORVEX PC is already running."}),
                         [](const auto &param) { return std::string(param.param.name); });

class FirstStart : public WindowFixture {};

// The first start holds its settings file from before its window exists until the window has closed.
TEST_F(FirstStart, HoldsTheSettingsFileUntilItsWindowCloses)
{
    std::optional<InstanceLock::State> whileOpen;
    QObject context;
    QTimer::singleShot(0, &context, [&] {
        whileOpen = InstanceLock(filesystemPath(settingsPath())).state();
        for (QWidget *w : QApplication::topLevelWidgets())
            if (qobject_cast<TFMain *>(w))
                w->close();
    });
    QTimer deadline; // a failure must not hang the suite
    deadline.setSingleShot(true);
    QObject::connect(&deadline, &QTimer::timeout, qApp, &QCoreApplication::quit);
    deadline.start(20000);
    runMainWindow(options());
    EXPECT_EQ(whileOpen, InstanceLock::State::HeldElsewhere);
    EXPECT_EQ(InstanceLock(filesystemPath(settingsPath())).state(), InstanceLock::State::Held);
    EXPECT_THAT(errors(), testing::IsEmpty());
}

} // namespace
