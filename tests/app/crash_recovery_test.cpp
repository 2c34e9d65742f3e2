// The program killed while it logs at 1 kHz: what is on disk is whole lines with consecutive counters, and the
// newest of them is about a second old at most. The child is this test program in its logging mode (see
// gui_test_main.cpp): the demo window, the instrument sending every millisecond, logging on.
#include "soak_rig.h"

#include <QCoreApplication>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <csignal>
#include <string>
#include <thread>

namespace {

struct KillCase {
    const char *name;
    int afterMs; // from the child's first handled report to the kill
};

void PrintTo(const KillCase &c, std::ostream *os) { *os << c.name; }

class CrashRecovery : public testing::TestWithParam<KillCase> {};

TEST_P(CrashRecovery, KilledWhileLoggingLeavesWholeRecentLines)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    QProcess child;
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--log-until-killed=") + dir.path()});
    ASSERT_TRUE(child.waitForStarted(10000));
    std::string said;
    while (said.find("logging\n") == std::string::npos && child.waitForReadyRead(60000))
        said += child.readAllStandardOutput().toStdString();
    ASSERT_NE(said.find("logging\n"), std::string::npos) << "the child never started logging: " << said;

    std::this_thread::sleep_for(std::chrono::milliseconds(GetParam().afterMs));
    const std::int64_t killedAt = torvex::soak::localTimeMs();
    ASSERT_EQ(::kill(static_cast<pid_t>(child.processId()), SIGKILL), 0);
    ASSERT_TRUE(child.waitForFinished(10000));
    EXPECT_EQ(child.exitStatus(), QProcess::CrashExit);

    const torvex::soak::LogFileCheck file = torvex::soak::checkLogFile(dir.filePath(QStringLiteral("pomiary.csv")));
    ASSERT_GT(file.lines, 0u);
    EXPECT_EQ(file.tornLines, 0u);
    EXPECT_EQ(file.counterBreaks, 0u);
    EXPECT_EQ(file.firstCounter, 0);
    const std::int64_t age = killedAt - file.lastLineTime;
    std::printf("%llu lines on disk, the newest %lld ms older than the kill\n",
                static_cast<unsigned long long>(file.lines), static_cast<long long>(age));
    // The writer pushes its buffer to the file on every 1 s tick; the rest is the timer's lateness on a
    // machine shared with other work.
    EXPECT_GE(age, 0);
    EXPECT_LE(age, 1500);
}

INSTANTIATE_TEST_SUITE_P(Kill, CrashRecovery,
                         testing::Values(KillCase{"EarlyInTheSecond", 1300}, KillCase{"LateInTheSecond", 2900}),
                         [](const auto &param) { return std::string(param.param.name); });

} // namespace
