#include "qt_ui_dispatcher.h"

#include <QDebug>
#include <QMetaObject>
#include <QSocketNotifier>
#include <QTimer>

#include <exception>
#include <utility>

namespace torvex {
namespace {

class QtWatch : public UiWatch {
public:
    explicit QtWatch(std::unique_ptr<QObject> object) : object_(std::move(object)) {}

private:
    std::unique_ptr<QObject> object_;
};

void logCurrentException()
{
    try {
        throw;
    } catch (const std::exception &e) {
        qWarning("Unhandled error in a HID hand-over: %s", e.what());
    } catch (...) {
        qWarning("Unhandled error in a HID hand-over");
    }
}

} // namespace

// No spin by default: on a machine whose cores are busy, spinning threads lose their time slices and the
// hand-over gets slower, not faster (measured in bench/app/hid_handover_bench.cpp).
QtUiDispatcher::QtUiDispatcher() : receiver_(std::make_unique<QObject>()), errorHandler_(logCurrentException) {}

QtUiDispatcher::~QtUiDispatcher() = default;

void QtUiDispatcher::setErrorHandler(std::function<void()> handler)
{
    errorHandler_ = handler ? std::move(handler) : std::function<void()>(logCurrentException);
}

void QtUiDispatcher::scheduleDrain()
{
    // Thread-safe: queues one call on the receiver's (UI) thread.
    QMetaObject::invokeMethod(
        receiver_.get(), [this] { drainFromLoop(); }, Qt::QueuedConnection);
}

void QtUiDispatcher::drainFromLoop()
{
    // Nothing may cross the event loop: a throwing handler is reported here; drain() has already released its
    // read thread and scheduled the rest of the queue.
    try {
        drain();
    } catch (...) {
        errorHandler_();
    }
}

std::unique_ptr<UiWatch> QtUiDispatcher::watchReadable(int fd, std::function<void()> fn)
{
    auto notifier = std::make_unique<QSocketNotifier>(static_cast<qintptr>(fd), QSocketNotifier::Read);
    QObject::connect(notifier.get(), &QSocketNotifier::activated, notifier.get(), [this, fn = std::move(fn)] {
        try {
            fn();
        } catch (...) {
            errorHandler_();
        }
    });
    return std::make_unique<QtWatch>(std::move(notifier));
}

std::unique_ptr<UiWatch> QtUiDispatcher::repeatEvery(std::chrono::milliseconds interval, std::function<void()> fn)
{
    auto timer = std::make_unique<QTimer>();
    timer->setInterval(interval);
    QObject::connect(timer.get(), &QTimer::timeout, timer.get(), [this, fn = std::move(fn)] {
        try {
            fn();
        } catch (...) {
            errorHandler_();
        }
    });
    timer->start();
    return std::make_unique<QtWatch>(std::move(timer));
}

} // namespace torvex
