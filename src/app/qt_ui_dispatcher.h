#pragma once
// The UI dispatcher on the Qt event loop: hand-overs from read threads run as posted calls on the thread that
// created the dispatcher; descriptors are watched with QSocketNotifier and intervals with QTimer.

#include "device/hand_over_dispatcher.h"

#include <QObject>

#include <functional>
#include <memory>

namespace torvex {

class QtUiDispatcher : public HandOverDispatcher {
public:
    // Create on the UI thread (the thread whose event loop serves hand-overs).
    QtUiDispatcher();
    ~QtUiDispatcher() override;

    // Called inside the catch block when a hand-over or posted call throws, so an error box can show the
    // exception in flight (e.g. torvex::showCurrentException). The default logs it.
    void setErrorHandler(std::function<void()> handler);

    std::unique_ptr<UiWatch> watchReadable(int fd, std::function<void()> fn) override;
    std::unique_ptr<UiWatch> repeatEvery(std::chrono::milliseconds interval, std::function<void()> fn) override;

protected:
    void scheduleDrain() override;

private:
    void drainFromLoop();

    std::unique_ptr<QObject> receiver_;
    std::function<void()> errorHandler_;
};

} // namespace torvex
