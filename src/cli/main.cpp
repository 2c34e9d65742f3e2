// torvex-cli: the system's side of the program (terminal, signals, locale); everything else is in the library.

#include "cli/cli.h"
#include "measure/value_text.h"

#include <clocale>
#include <csignal>
#include <cstdlib>
#include <iostream>
#include <string>

#ifdef _WIN32
#include <io.h>
#else
#include <fcntl.h>
#include <langinfo.h>
#include <locale.h>
#include <unistd.h>
#endif

namespace {

#ifndef _WIN32
int stopPipe[2] = {-1, -1};

extern "C" void onStopSignal(int)
{
    const int saved = errno;
    const char byte = 1;
    (void)!::write(stopPipe[1], &byte, 1);
    errno = saved;
}

// Ctrl+C, SIGTERM and a closed terminal end a command the same way: the loop sees the pipe become readable.
void installStopSignals()
{
    if (::pipe(stopPipe) != 0)
        return;
    for (int fd : stopPipe) {
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
        ::fcntl(fd, F_SETFD, FD_CLOEXEC);
    }
    struct sigaction action {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    for (int signal : {SIGINT, SIGTERM, SIGHUP})
        ::sigaction(signal, &action, nullptr);
    // A reader that goes away (watch | head) shows as a failed write, not as a killed process.
    std::signal(SIGPIPE, SIG_IGN);
}
#endif

// The user's regional decimal separator, as the window takes it.
char regionalDecimalSeparator()
{
    std::string radix = ".";
#ifndef _WIN32
    if (locale_t locale = ::newlocale(LC_NUMERIC_MASK, "", static_cast<locale_t>(nullptr))) {
        if (const char *text = ::nl_langinfo_l(RADIXCHAR, locale))
            radix = text;
        ::freelocale(locale);
    }
#endif
    return torvex::valueTextSeparator(radix);
}

bool isTerminal(int fd)
{
#ifdef _WIN32
    return _isatty(fd) != 0;
#else
    return ::isatty(fd) != 0;
#endif
}

} // namespace

int main(int argc, char *argv[])
{
    std::vector<std::string_view> args(argv + 1, argv + argc);
    torvex::cli::CliEnv env;
    env.out = &std::cout;
    env.err = &std::cerr;
    env.outIsTerminal = isTerminal(1);
    env.errIsTerminal = isTerminal(2);
    env.decimalSeparator = regionalDecimalSeparator();
    if (const char *home = std::getenv("HOME"); home != nullptr && home[0] != '\0')
        env.rescueFolders.emplace_back(home);
#ifndef _WIN32
    installStopSignals();
    if (stopPipe[0] >= 0)
        env.watchStopRequest = [](torvex::LoopDispatcher &loop, std::function<void()> stop) {
            return loop.watchReadable(stopPipe[0], [stop = std::move(stop)] {
                char bytes[16];
                while (::read(stopPipe[0], bytes, sizeof bytes) > 0) {}
                stop();
            });
        };
#endif
    return torvex::cli::runCli(args, env);
}
