#include "stop_signals.h"

#include <csignal>

#ifdef _WIN32
#include <QCoreApplication>
#else
#include <QSocketNotifier>

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>
#endif

namespace {

StopSignals *current = nullptr;

#ifndef _WIN32
int signalPipe[2] = {-1, -1};

extern "C" void onSignal(int signal)
{
    const int saved = errno;
    const auto byte = static_cast<unsigned char>(signal);
    (void)!::write(signalPipe[1], &byte, 1);
    errno = saved;
}

bool installHandlers()
{
    if (signalPipe[0] >= 0)
        return true;
    if (::pipe(signalPipe) != 0)
        return false;
    for (int fd : signalPipe) {
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
        ::fcntl(fd, F_SETFD, FD_CLOEXEC);
    }
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int signal : {SIGTERM, SIGINT, SIGHUP})
        ::sigaction(signal, &action, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
    std::signal(SIGXFSZ, SIG_IGN);
    return true;
}
#endif

} // namespace

StopSignals::StopSignals(std::function<void(int)> onStop, QObject *parent)
    : QObject(parent), m_onStop(std::move(onStop)), m_previous(current)
{
#ifndef _WIN32
    if (!installHandlers())
        return;
    if (m_previous && m_previous->m_notifier)
        m_previous->m_notifier->setEnabled(false);
    m_notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, [this] { readSignals(); });
#else
    // Directly, not queued: after the end-session answer returns there is no event loop left to run it.
    connect(
        QCoreApplication::instance(), &QCoreApplication::aboutToQuit, this,
        [this] {
            if (current == this && m_onStop)
                m_onStop(SIGTERM);
        },
        Qt::DirectConnection);
#endif
    current = this;
}

StopSignals::~StopSignals()
{
    if (current == this)
        current = m_previous;
#ifndef _WIN32
    if (current == m_previous && m_previous && m_previous->m_notifier)
        m_previous->m_notifier->setEnabled(true);
#endif
}

void StopSignals::readSignals()
{
#ifndef _WIN32
    unsigned char received[16];
    const ssize_t n = ::read(signalPipe[0], received, sizeof received);
    if (n > 0 && m_onStop)
        m_onStop(received[n - 1]);
#endif
}
