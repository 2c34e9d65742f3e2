#include "cli/console.h"

#include "device/stop_signal_pipe.h"
#include "measure/locale_mark.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <unistd.h>

namespace torvex::cli::console {
namespace {

int stopPipe = -1;
bool outputClosed = false;

// The value of `key` in a file of KEY=VALUE lines (quotes allowed), as the locale files are written.
std::optional<std::string> valueIn(const std::string &text, std::string_view key)
{
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind(std::string(key) + "=", 0) != 0)
            continue;
        std::string value = line.substr(key.size() + 1);
        while (!value.empty() && (value.back() == '\r' || value.back() == ' '))
            value.pop_back();
        if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
            value = value.substr(1, value.size() - 2);
        if (!value.empty())
            return value;
    }
    return std::nullopt;
}

} // namespace

void setUp()
{
    // A standard stream closed by the caller would hand its number to the next descriptor opened (the stop
    // pipe, a log file), and what the program writes to standard output would land there.
    for (int stream = 0; stream < 3; ++stream) {
        if (::fcntl(stream, F_GETFD) != -1 || errno != EBADF)
            continue;
        if (stream == STDOUT_FILENO)
            outputClosed = true;
        const int null = ::open("/dev/null", stream == STDIN_FILENO ? O_RDONLY : O_WRONLY);
        if (null >= 0 && null != stream)
            ::close(null); // a lower stream was free after all: it is filled in its own round
    }
    // A blocking call that the stop interrupts fails with EINTR, so that it notices the stop. A reader that goes
    // away (watch | head) and a file at its size limit (ulimit -f) show as failed writes, which the program
    // reports, not as a process killed with a line half written.
    stopPipe = stopSignalPipe(false);
}

bool isTerminal(int stream) { return ::isatty(stream) != 0; }

std::vector<std::string> arguments(int argc, char **argv) { return {argv + std::min(argc, 1), argv + argc}; }

bool standardOutputClosed() { return outputClosed; }

std::unique_ptr<UiWatch> watchStopRequests(LoopDispatcher &loop, std::function<void(int signal)> stop)
{
    if (stopPipe < 0)
        return nullptr;
    return loop.watchReadable(stopPipe, [stop = std::move(stop)] {
        if (const int signal = takeStopSignal(stopPipe))
            stop(signal);
    });
}

std::string windowLocaleName(const std::function<std::optional<std::string>(const char *)> &environment,
                             const std::vector<std::string> &machineFiles)
{
    // The window's toolkit takes its locale from these, in this order.
    for (const char *name : {"LC_ALL", "LC_NUMERIC", "LANG"})
        if (const auto value = environment(name); value && !value->empty())
            return *value;
    for (const std::string &text : machineFiles)
        for (const char *name : {"LC_NUMERIC", "LANG"})
            if (const auto value = valueIn(text, name))
                return *value;
    return {};
}

std::vector<std::string> rescueFolders()
{
    for (const char *name : {"HOME", "USERPROFILE"})
        if (const char *home = std::getenv(name); home != nullptr && home[0] != '\0')
            return {home};
    return {};
}

char windowDecimalSeparator(std::string *unresolved)
{
    auto environment = [](const char *name) -> std::optional<std::string> {
        const char *value = std::getenv(name);
        return value != nullptr ? std::optional<std::string>(value) : std::nullopt;
    };
    std::vector<std::string> files;
    for (const char *path : {"/etc/default/locale", "/etc/locale.conf"}) {
        std::ifstream in(path);
        std::ostringstream text;
        text << in.rdbuf();
        files.push_back(text.str());
    }
    const std::string name = windowLocaleName(environment, files);
    // The window's toolkit carries its own locale data: its answer stands even where the C library has not
    // generated the locale (and where the two differ).
    if (const auto mark = localeDecimalMark(name))
        return *mark;
    if (unresolved != nullptr)
        *unresolved = "torvex-cli: the locale " + name
            + " is not one torvex-cli knows; the decimal mark is \".\", as the window's (--decimal-separator sets it)";
    return '.';
}

} // namespace torvex::cli::console
