#include "device/stop_signal_pipe.h"

#ifndef _WIN32

#include <cerrno>
#include <csignal>
#include <initializer_list>
#include <fcntl.h>
#include <unistd.h>

namespace torvex {
namespace {

int signalPipe[2] = {-1, -1};

extern "C" void onStopSignal(int signal)
{
    const int saved = errno;
    const auto byte = static_cast<unsigned char>(signal);
    (void)!::write(signalPipe[1], &byte, 1);
    errno = saved;
}

} // namespace

int stopSignalPipe(bool restartCalls)
{
    if (signalPipe[0] >= 0)
        return signalPipe[0];
    if (::pipe(signalPipe) != 0)
        return -1;
    for (int fd : signalPipe) {
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
        ::fcntl(fd, F_SETFD, FD_CLOEXEC);
    }
    struct sigaction action {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = restartCalls ? SA_RESTART : 0;
    for (int signal : {SIGTERM, SIGINT, SIGHUP})
        ::sigaction(signal, &action, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
    std::signal(SIGXFSZ, SIG_IGN);
    return signalPipe[0];
}

int takeStopSignal(int pipe)
{
    unsigned char received[16];
    const ssize_t n = ::read(pipe, received, sizeof received);
    return n > 0 ? received[n - 1] : 0;
}

} // namespace torvex

#endif
