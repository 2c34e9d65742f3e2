// The real torvex-cli executable, where the process matters: signals, exit codes, several processes at once.
#include "cli_test_util.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <regex>
#include <spawn.h>
#include <sys/wait.h>

extern char **environ;

using namespace cli_test;
using namespace std::chrono_literals;
using testing::HasSubstr;

namespace {

class Process {
public:
    Process(const std::vector<std::string> &args, const TempDir &dir, const std::string &name)
        : outPath_(dir.file(name + ".out")), errPath_(dir.file(name + ".err"))
    {
        std::vector<std::string> all{TORVEX_CLI_EXECUTABLE};
        all.insert(all.end(), args.begin(), args.end());
        std::vector<char *> argv;
        for (std::string &a : all)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 1, outPath_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        posix_spawn_file_actions_addopen(&actions, 2, errPath_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ) != 0)
            pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
    }
    ~Process()
    {
        if (pid_ > 0 && !status_) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
    }

    bool started() const { return pid_ > 0; }
    void signal(int number) { ::kill(pid_, number); }

    // The exit code, or -1 when the process did not end in time (it is killed then) or ended by a signal.
    int wait(std::chrono::milliseconds timeout = 30s)
    {
        int status = 0;
        const bool ended = waitFor([&] { return ::waitpid(pid_, &status, WNOHANG) == pid_; }, timeout);
        if (!ended)
            return -1;
        status_ = status;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    std::string out() const { return readFile(outPath_); }
    std::string err() const { return readFile(errPath_); }

private:
    std::string outPath_;
    std::string errPath_;
    pid_t pid_ = -1;
    std::optional<int> status_;
};

long summaryLines(const std::string &err)
{
    std::smatch m;
    static const std::regex summary("torvex-cli: (\\d+) lines written to ");
    return std::regex_search(err, m, summary) ? std::stol(m[1]) : -1;
}

class CliSignal : public testing::TestWithParam<int> {};

TEST_P(CliSignal, InTheMiddleOfLoggingLosesNothingAndLeavesNoTornLine)
{
    TempDir dir;
    const std::string path = dir.file("signal.csv");
    Process cli({"log", path, "--demo", "--demo-interval", "1"}, dir, "cli");
    ASSERT_TRUE(cli.started());
    // The file is written at least once a second, so lines show up while the program runs.
    ASSERT_TRUE(waitFor([&] { return logLines(path).size() >= 300; })) << cli.err();
    cli.signal(GetParam());
    ASSERT_EQ(cli.wait(), 0) << cli.err();

    bool torn = true;
    const auto lines = logLines(path, &torn);
    EXPECT_FALSE(torn) << "the file ends with a whole line";
    EXPECT_EQ(static_cast<long>(lines.size()), summaryLines(cli.err())) << cli.err();
    for (size_t i = 0; i < lines.size(); ++i) {
        const auto f = fields(lines[i]);
        ASSERT_EQ(f.size(), 16u) << lines[i];
        ASSERT_EQ(f[2], std::to_string(i)) << "lines in order, none missing";
    }
}

INSTANTIATE_TEST_SUITE_P(Signals, CliSignal, testing::Values(SIGTERM, SIGINT),
                         [](const testing::TestParamInfo<int> &p) {
                             return std::string(p.param == SIGTERM ? "SIGTERM" : "SIGINT");
                         });

TEST(CliProcess, TwoProcessesRecordTwoInstrumentsChosenByPath)
{
    TempDir dir;
    Process first({"log", dir.file("1.csv"), "--demo=2", "--demo-interval", "5", "--device", "sim:demo-1", "--seconds",
                   "2", "--columns", "cnt"},
                  dir, "first");
    Process second({"log", dir.file("2.csv"), "--demo=2", "--demo-interval", "5", "--device", "sim:demo-2", "--seconds",
                    "2", "--columns", "cnt"},
                   dir, "second");
    ASSERT_EQ(first.wait(), 0) << first.err();
    ASSERT_EQ(second.wait(), 0) << second.err();
    for (const char *name : {"1.csv", "2.csv"}) {
        const auto lines = logLines(dir.file(name));
        EXPECT_GE(lines.size(), 50u) << name;
        for (size_t i = 0; i < lines.size(); ++i)
            ASSERT_EQ(lines[i], std::to_string(i) + ";") << name;
    }
}

struct ExitCase {
    const char *name;
    std::vector<std::string> args;
    int code;
    const char *stdoutPart;
    const char *stderrPart;
};

class CliExit : public testing::TestWithParam<ExitCase> {};

TEST_P(CliExit, CodeAndText)
{
    TempDir dir;
    Process cli(GetParam().args, dir, "cli");
    EXPECT_EQ(cli.wait(), GetParam().code) << cli.err();
    EXPECT_THAT(cli.out(), HasSubstr(GetParam().stdoutPart));
    EXPECT_THAT(cli.err(), HasSubstr(GetParam().stderrPart));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CliExit,
    testing::Values(
        ExitCase{"Version", {"--version"}, 0, "torvex-cli 1.", ""},
        ExitCase{"UnknownCommand", {"status"}, 1, "", "usage: torvex-cli"},
        ExitCase{"LogWithoutFile", {"log", "--demo"}, 1, "", "usage: torvex-cli log FILE"},
        ExitCase{"ConfigGetDemo", {"config", "get", "--demo", "--format", "json"}, 0, "\"SendInterval\": 100", ""},
        ExitCase{"NoSuchDevice", {"watch", "--demo", "--device", "sim:demo-9"}, 2, "", "no HID device at sim:demo-9"}),
    [](const testing::TestParamInfo<ExitCase> &p) { return std::string(p.param.name); });

} // namespace
