#pragma once

#include <QObject>

#include <functional>
#include <memory>

class QSocketNotifier;

// The requests to end the program that come as signals (SIGTERM when the session ends or a service manager
// stops it, SIGINT, SIGHUP) reach the window's thread as a call of `onStop`, so that the window can close as its
// close button does: settings written, the log closed, waiting lines rescued. SIGPIPE and SIGXFSZ are ignored
// from then on, so a log written into a pipe whose reader went, or past a file-size limit, fails as an error the
// window shows instead of killing it. One at a time: the newest one gets the requests. On Windows the request is
// the end of the session (sign-out, restart): Qt announces it with aboutToQuit while it handles WM_ENDSESSION,
// and the system may end the process as soon as that returns, so `onStop` runs there, before the answer. The
// same signal comes when the event loop ends normally: `onStop` must do nothing for a window already closed.
class StopSignals : public QObject {
public:
    explicit StopSignals(std::function<void(int signal)> onStop, QObject *parent = nullptr);
    ~StopSignals() override;

private:
    void readSignals();

    std::function<void(int)> m_onStop;
    QSocketNotifier *m_notifier = nullptr;
    StopSignals *m_previous = nullptr;
};
