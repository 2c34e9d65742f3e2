// The installed program itself, from the outside: torvex-pc (native HID backend) runs against the emulated
// kernel with logging switched on in its settings file, its window is closed the way a window manager closes
// it, and what it leaves on disk is checked. Runs under Xvfb and umockdev-wrapper (see CMakeLists.txt).
#include "emulated_hid.h"

#include "x11_close.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <thread>

#include <sys/wait.h>

using namespace std::chrono_literals;
using namespace torvex::emulated;
namespace fs = std::filesystem;

namespace {

std::string readFile(const fs::path &path)
{
    std::ifstream file(path, std::ios::binary);
    std::stringstream content;
    content << file.rdbuf();
    return content.str();
}

std::vector<std::string> crlfLines(const std::string &text)
{
    std::vector<std::string> lines;
    for (size_t at = 0; at < text.size();) {
        const size_t end = text.find("\r\n", at);
        if (end == std::string::npos) {
            lines.push_back(text.substr(at) + "<no CR LF>");
            break;
        }
        lines.push_back(text.substr(at, end - at));
        at = end + 2;
    }
    return lines;
}

// Exit status, or -1 when it did not end in time (then it is killed).
int waitForExit(pid_t pid, std::chrono::seconds timeout)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    int status = 0;
    while (waitpid(pid, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            return -1;
        }
        std::this_thread::sleep_for(50ms);
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

TEST(TorvexPcBlackBox, RunsOnTheEmulatedInstrumentLogsEveryReportAndClosesCleanly)
{
    ASSERT_NE(std::getenv("DISPLAY"), nullptr) << "run under Xvfb (xvfb-run)";
    char pattern[] = "/tmp/torvex-black-box-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    const fs::path dir = pattern;
    // config.ini lives beside the executable, so the program runs from a copy in its own folder.
    const fs::path program = dir / "torvex-pc";
    fs::copy_file(TORVEX_PC_PATH, program);
    const fs::path log = dir / "pomiary.csv";
    std::ofstream(dir / "config.ini", std::ios::binary)
        << "[Options]\r\nSaveAuto=1\r\nMod=4\r\nFileName=" << log.string() << "\r\n";

    Testbed testbed;
    EmulatedInstrument instrument(testbed);
    EmulatedHidDevice keyboard(testbed, keyboardDescription());
    keyboard.plug();
    instrument.start();

    const pid_t pid = startProgram({program.string()},
                                   {"QT_QPA_PLATFORM=xcb", "LSAN_OPTIONS=suppressions=" TORVEX_LSAN_SUPPRESSIONS});
    ASSERT_GT(pid, 0);
    // Runs a few seconds with reports flowing (the instrument sends ten a second).
    const auto started = std::chrono::steady_clock::now();
    while (crlfLines(readFile(log)).size() < 30 && std::chrono::steady_clock::now() - started < 60s
           && waitpid(pid, nullptr, WNOHANG) == 0)
        std::this_thread::sleep_for(100ms);
    bool closed = false;
    for (int attempt = 0; attempt < 50 && !closed; ++attempt) {
        closed = closeWindowOf(pid);
        if (!closed)
            std::this_thread::sleep_for(100ms);
    }
    EXPECT_TRUE(closed) << "no window of the program found";
    const int exitStatus = waitForExit(pid, 30s);
    instrument.stop();
    EXPECT_EQ(exitStatus, 0) << "the program crashed, hung or a sanitizer found a fault";

    // Every measurement report it read became one line with all sixteen columns (all ticked by default).
    const std::vector<std::string> lines = crlfLines(readFile(log));
    ASSERT_GE(lines.size(), 30u);
    const uint64_t delivered = instrument.device().deliveredInputReports();
    EXPECT_TRUE(lines.size() == delivered || lines.size() + 1 == delivered)
        << lines.size() << " lines for " << delivered << " reports read (one may be read but not handled)";
    const std::regex format(R"(\d{1,2}-\d{1,2}-\d{4};\d{1,2}:\d{1,2}:\d{1,2}:\d{1,3};(\d+);(\d+);)"
                            R"((-?\d+[.,]\d\d;){6}((HI|LO);){6})");
    long previous = -1;
    for (const std::string &line : lines) {
        std::smatch match;
        ASSERT_TRUE(std::regex_match(line, match, format)) << line;
        const long counter = std::stol(match[1]);
        if (previous >= 0) {
            EXPECT_EQ(counter, previous + 1) << line;
        }
        EXPECT_EQ(std::stol(match[2]), counter % 4) << line;
        previous = counter;
    }
    EXPECT_NE(readFile(dir / "config.ini").find("Language="), std::string::npos)
        << "the settings written on closing the window are missing";
    fs::remove_all(dir);
}

} // namespace
