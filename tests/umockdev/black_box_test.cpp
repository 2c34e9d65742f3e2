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

#include <cerrno>
#include <fcntl.h>
#include <functional>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

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

// A folder of its own with a copy of the program in it: config.ini lives beside the executable.
fs::path programFolder()
{
    char pattern[] = "/tmp/torvex-black-box-XXXXXX";
    if (mkdtemp(pattern) == nullptr)
        return {};
    const fs::path dir = pattern;
    fs::copy_file(TORVEX_PC_PATH, dir / "torvex-pc");
    return dir;
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
    const fs::path dir = programFolder();
    const fs::path program = dir / "torvex-pc";
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
    EXPECT_EQ(lines.size(), delivered) << "every report read is logged before the log closes";
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

// Reads everything a pipe or FIFO brings until `done` says the writer has ended and nothing is left, not
// reading at all until `pauseUntil`: the reader that holds the stream open but takes nothing for seconds.
std::string readPaused(int fd, std::chrono::steady_clock::time_point pauseUntil, const std::function<bool()> &done)
{
    std::this_thread::sleep_until(pauseUntil);
    std::string text;
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n > 0) {
            text.append(buffer, static_cast<size_t>(n));
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EINTR)
            break;
        if (done() && ::read(fd, buffer, 0) <= 0) {
            // One more drain after the end: what the writer wrote last.
            ssize_t last;
            while ((last = ::read(fd, buffer, sizeof buffer)) > 0)
                text.append(buffer, static_cast<size_t>(last));
            break;
        }
        std::this_thread::sleep_for(5ms);
    }
    return text;
}

// The instrument starts sending once the program has its node open, so that no report is dropped before anyone
// reads (the program's own start-up is not what is measured).
void startOnceOpen(EmulatedInstrument &instrument)
{
    const auto until = std::chrono::steady_clock::now() + 30s;
    while (instrument.device().openDescriptors() == 0 && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(10ms);
    ASSERT_GT(instrument.device().openDescriptors(), 0) << "the program never opened the instrument";
    instrument.start();
}

void setIntervalMs(EmulatedInstrument &instrument, int ms)
{
    instrument.driver().withInstrument([&](auto &model) { model.parameters().sendInterval = ms; });
}

// Every line one report, the counters consecutive; the number of lines.
size_t checkConsecutive(const std::vector<std::string> &lines)
{
    long previous = -1;
    for (const std::string &line : lines) {
        const long counter = std::stol(line.substr(line.find(';', line.find(';') + 1) + 1));
        if (previous >= 0) {
            EXPECT_EQ(counter, previous + 1) << line;
            if (counter != previous + 1)
                break;
        }
        previous = counter;
    }
    return lines.size();
}

// What a run with a pausing reader must show, by the instrument's own counts: (next to) nothing dropped at the
// node, and every report the program read one line, in order.
void expectEveryReportOnce(EmulatedInstrument &instrument, const std::string &text)
{
    const auto counts = instrument.driver().measurementCounts();
    // None on a quiet machine; a hiccup of the machine (more than the node's 64 ms of reports) is not what this
    // counts. The programs that wrote on the reading path lost a quarter of the reports here.
    EXPECT_LE(counts.dropped, counts.produced / 100)
        << counts.dropped << " of " << counts.produced << " reports dropped at the node while the reader paused";
    const std::vector<std::string> lines = crlfLines(text);
    ASSERT_GT(lines.size(), 3000u);
    const uint64_t delivered = instrument.device().deliveredInputReports();
    EXPECT_TRUE(checkConsecutive(lines) == delivered || lines.size() + 1 == delivered)
        << lines.size() << " lines for " << delivered << " reports read";
}

// A reader of standard output that takes nothing for five seconds at 1,000 reports/s: the program keeps reading
// the instrument meanwhile, so the emulated node drops nothing, and every report it read is one line, in order.
TEST(TorvexCliBlackBox, AReaderThatPausesCostsNoReport)
{
    Testbed testbed;
    EmulatedInstrument instrument(testbed);
    setIntervalMs(instrument, 1);
    int pipe[2];
    ASSERT_EQ(::pipe(pipe), 0);
    const auto started = std::chrono::steady_clock::now();
    const pid_t pid = startProgram({TORVEX_CLI_PATH, "log", "-", "--seconds", "8", "--columns", "date,time,cnt"},
                                   {"LSAN_OPTIONS=suppressions=" TORVEX_LSAN_SUPPRESSIONS}, pipe[1]);
    ::close(pipe[1]);
    ASSERT_GT(pid, 0);
    ::fcntl(pipe[0], F_SETFL, ::fcntl(pipe[0], F_GETFL) | O_NONBLOCK);
    startOnceOpen(instrument);
    int exitStatus = -1;
    const std::string text = readPaused(pipe[0], started + 5s, [&] {
        int status = 0;
        if (exitStatus < 0 && waitpid(pid, &status, WNOHANG) == pid)
            exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        return exitStatus >= 0;
    });
    ::close(pipe[0]);
    instrument.stop();
    EXPECT_EQ(exitStatus, 0);
    expectEveryReportOnce(instrument, text);
}

// The window logging into a FIFO whose reader holds it open but reads nothing for five seconds, at 1,000
// reports/s: nothing is dropped at the node, and every report read is one line, in order.
TEST(TorvexPcBlackBox, AFifoReaderThatPausesCostsNoReport)
{
    ASSERT_NE(std::getenv("DISPLAY"), nullptr) << "run under Xvfb (xvfb-run)";
    const fs::path dir = programFolder();
    const fs::path program = dir / "torvex-pc";
    const fs::path fifo = dir / "pomiary.csv";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    std::ofstream(dir / "config.ini", std::ios::binary)
        << "[Options]\r\nSaveAuto=1\r\nSaveEnc1p=0\r\nSaveEnc2p=0\r\nSaveEnc3p=0\r\nSaveEnc1v=0\r\n"
           "SaveEnc2v=0\r\nSaveEnc3v=0\r\nSaveOutput=0\r\nSaveCntMod=0\r\nFileName="
        << fifo.string() << "\r\n";
    const int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK); // held open, not read
    ASSERT_GE(reader, 0);

    Testbed testbed;
    EmulatedInstrument instrument(testbed);
    setIntervalMs(instrument, 1);
    const pid_t pid = startProgram({program.string()},
                                   {"QT_QPA_PLATFORM=xcb", "LSAN_OPTIONS=suppressions=" TORVEX_LSAN_SUPPRESSIONS});
    ASSERT_GT(pid, 0);
    startOnceOpen(instrument);
    const auto started = std::chrono::steady_clock::now();
    int exitStatus = -1;
    bool closeAsked = false;
    const std::string text = readPaused(reader, started + 6s, [&] {
        if (!closeAsked && std::chrono::steady_clock::now() > started + 9s) {
            instrument.stop();
            closeAsked = closeWindowOf(pid);
        }
        int status = 0;
        if (exitStatus < 0 && waitpid(pid, &status, WNOHANG) == pid)
            exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        if (exitStatus < 0 && std::chrono::steady_clock::now() > started + 60s) {
            kill(pid, SIGKILL);
            exitStatus = waitForExit(pid, 5s);
        }
        return exitStatus >= 0;
    });
    ::close(reader);
    instrument.stop();
    EXPECT_TRUE(closeAsked) << "no window of the program found";
    EXPECT_EQ(exitStatus, 0);
    expectEveryReportOnce(instrument, text);
    fs::remove_all(dir);
}

} // namespace
