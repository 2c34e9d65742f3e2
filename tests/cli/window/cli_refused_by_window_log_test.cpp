// The real torvex-cli started on the log file a window is writing: refused before it writes anything.
#include "window_fixture.h"

#include <QCoreApplication>
#include <QProcess>

#include <gmock/gmock.h>

#include <array>
#include <fstream>
#include <iterator>
#include <string>

namespace {

std::string contents(const QString &path)
{
    std::ifstream in(path.toStdString(), std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class CliAgainstWindowLog : public WindowFixture {};

TEST_F(CliAgainstWindowLog, RefusedWithExitCodeThreeAndTheFileUntouched)
{
    const QString log = tempPath(QStringLiteral("pomiary.csv"));
    writeSettingsFile("[Options]\r\nSaveAuto=1\r\nFileName=" + log.toUtf8() + "\r\n");
    TFMain &w = window();
    ASSERT_TRUE(w.loggingActive);
    std::array<uint8_t, 64> report{};
    w.DeviceDataReceived(nullptr, 1, report.data(), static_cast<uint16_t>(report.size()));
    w.SaveFileTimerTimer(); // the line reaches the file
    w.settleLog();
    w.SaveFileTimerTimer(); // and the quiet file is closed, as between two seconds of logging
    w.settleLog();
    const std::string before = contents(log);
    ASSERT_FALSE(before.empty());

    QProcess cli;
    cli.start(QStringLiteral(TORVEX_CLI_EXECUTABLE),
              {QStringLiteral("log"), log, QStringLiteral("--demo"), QStringLiteral("--seconds"), QStringLiteral("2")});
    ASSERT_TRUE(cli.waitForFinished(30000));
    EXPECT_EQ(cli.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(cli.exitCode(), 3);
    const std::string said = cli.readAllStandardError().toStdString();
    EXPECT_THAT(
        said,
        testing::HasSubstr("cannot open " + log.toStdString() + " for appending: another program is writing to it ("));
    EXPECT_THAT(said, testing::HasSubstr("PID " + std::to_string(QCoreApplication::applicationPid()) + ")"));
    EXPECT_EQ(contents(log), before);
}

} // namespace
