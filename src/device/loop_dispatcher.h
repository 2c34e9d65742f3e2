#pragma once
// A dispatcher for programs without a widget toolkit: whichever thread calls run() is the UI thread. It serves
// hand-overs from read threads, posted work, repeating timers and (where the system has them) descriptor watches,
// and sleeps in between, so a command-line program drives the HID controller exactly as the window does.

#include "device/hand_over_dispatcher.h"

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

namespace torvex {

class LoopDispatcher : public HandOverDispatcher {
public:
    using Clock = std::chrono::steady_clock;

    LoopDispatcher();
    ~LoopDispatcher() override;
    LoopDispatcher(const LoopDispatcher &) = delete;
    LoopDispatcher &operator=(const LoopDispatcher &) = delete;

    enum class RunEnd { Quit, Condition, Deadline };

    // Runs the loop until quit() is called, `until` returns true (checked after every round of work) or the
    // deadline passes. An exception from a handler leaves the loop and goes on to the caller.
    RunEnd run(const std::function<bool()> &until = {}, std::optional<Clock::time_point> deadline = {});
    RunEnd runFor(std::chrono::milliseconds duration, const std::function<bool()> &until = {})
    {
        return run(until, Clock::now() + duration);
    }

    // Any thread: ends the current run(), or the next one at once.
    void quit();
    // Any thread: also makes a running run() check its condition again.
    void wake() override;

    // Descriptor watches exist only where the system can poll descriptors (not on Windows: nullptr there).
    std::unique_ptr<UiWatch> watchReadable(int fd, std::function<void()> fn) override;
    std::unique_ptr<UiWatch> repeatEvery(std::chrono::milliseconds interval, std::function<void()> fn) override;

protected:
    void scheduleDrain() override;

private:
    struct Entry {
        std::function<void()> fn;
        int fd = -1;                           // watch
        std::chrono::milliseconds interval{0}; // timer
        Clock::time_point due{};
        bool alive = true;
    };
    class EntryWatch;

    void wakeLoop();
    // Sleeps until woken, a watched descriptor is readable or `until`; returns the entries to call.
    std::vector<std::shared_ptr<Entry>> waitForEvents(std::optional<Clock::time_point> until);
    void runDueTimers();
    std::optional<Clock::time_point> nextTimer() const;

    std::atomic<bool> drainPending_{false};
    std::atomic<bool> wakePending_{false};
    std::atomic<bool> quit_{false};
    std::vector<std::shared_ptr<Entry>> entries_; // UI thread only
#ifdef _WIN32
    std::mutex wakeMutex_;
    std::condition_variable wakeCv_;
#else
    int wakeRead_ = -1;
    int wakeWrite_ = -1;
#endif
};

} // namespace torvex
