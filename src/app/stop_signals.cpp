#include "stop_signals.h"

#include <csignal>

#ifdef _WIN32
#include <QCoreApplication>
#else
#include "device/stop_signal_pipe.h"

#include <QSocketNotifier>
#endif

namespace {

StopSignals *current = nullptr;
#ifndef _WIN32
int signalPipe = -1;
#endif

} // namespace

StopSignals::StopSignals(std::function<void(int)> onStop, QObject *parent)
    : QObject(parent), m_onStop(std::move(onStop)), m_previous(current)
{
#ifndef _WIN32
    signalPipe = torvex::stopSignalPipe(true);
    if (signalPipe < 0)
        return;
    if (m_previous && m_previous->m_notifier)
        m_previous->m_notifier->setEnabled(false);
    m_notifier = new QSocketNotifier(signalPipe, QSocketNotifier::Read, this);
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
    if (const int signal = torvex::takeStopSignal(signalPipe); signal != 0 && m_onStop)
        m_onStop(signal);
#endif
}
