#pragma once
// How read threads reach the UI thread. A read thread hands a report over with invoke() and blocks until the
// handler has returned, so reports are handled one at a time, in order, between other UI work. While the UI
// thread waits for a read thread to stop it calls serveUntil(), which keeps running hand-overs, so a stop never
// deadlocks against a read thread blocked in invoke().
// Not named ui_*.h: Qt's automatic uic would take such an include for a generated form header.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>

namespace torvex {

// A watch started by the dispatcher; destroying it stops the watch.
class UiWatch {
public:
    virtual ~UiWatch() = default;
};

class UiDispatcher {
public:
    virtual ~UiDispatcher() = default;

    // Any thread: runs `fn` later on the UI thread and returns at once.
    virtual void post(std::function<void()> fn) = 0;

    // Any thread but the UI thread: runs `fn` on the UI thread and returns when it has returned. An exception
    // thrown by `fn` stays on the UI thread (it goes on to the error box); the caller is released either way.
    virtual void invoke(std::function<void()> fn) = 0;

    // UI thread: runs pending invoke() calls (never posted ones, so no unrelated work re-enters) until `done`
    // returns true. `done` is checked after each hand-over and whenever wake() is called. The first exception
    // thrown by a hand-over is rethrown once `done` holds.
    virtual void serveUntil(const std::function<bool()> &done) = 0;

    // Any thread: makes a running serveUntil() check its condition again.
    virtual void wake() = 0;

    // Calls `fn` on the UI thread whenever `fd` is readable, until the returned watch is destroyed.
    // nullptr when the dispatcher cannot watch descriptors.
    virtual std::unique_ptr<UiWatch> watchReadable(int fd, std::function<void()> fn);

    // Calls `fn` on the UI thread every `interval`, until the returned watch is destroyed. nullptr when the
    // dispatcher has no timers.
    virtual std::unique_ptr<UiWatch> repeatEvery(std::chrono::milliseconds interval, std::function<void()> fn);
};

// The queue behind every dispatcher. A subclass only says how to get drain() called on the UI thread soon.
class HandOverDispatcher : public UiDispatcher {
public:
    void post(std::function<void()> fn) override;
    void invoke(std::function<void()> fn) override;
    void serveUntil(const std::function<bool()> &done) override;
    void wake() override;

    // UI thread: runs the items queued so far (hand-overs and posts, in order). Returns the number run. An
    // exception from an item is rethrown after that item's caller has been released; the rest stay queued and
    // another drain is scheduled.
    size_t drain();

    size_t pendingCount() const;

    // Reports tend to come back to back. With a spin set, a drain waits up to that long for the next item
    // before it returns to the event loop (at most `drainSlice` in all), and a read thread checks for the
    // end of its hand-over for up to that long before it sleeps. Both save a thread wake-up per report.
    void setSpin(std::chrono::microseconds spin, std::chrono::microseconds drainSlice = std::chrono::milliseconds(2));

protected:
    // Any thread: ask the UI loop to call drain() soon. Called once per batch, not per item.
    virtual void scheduleDrain() = 0;

private:
    struct Item {
        std::function<void()> fn;
        bool sync = false;
        std::atomic<bool> done{false};
    };

    void enqueue(const std::shared_ptr<Item> &item);
    void runItem(const std::shared_ptr<Item> &item);
    bool awaitItem(std::chrono::microseconds limit);
    void finishDrain();

    mutable std::mutex mutex_;
    std::condition_variable doneCv_;  // callers of invoke() wait here
    std::condition_variable serveCv_; // serveUntil() waits here
    std::deque<std::shared_ptr<Item>> queue_;
    bool drainScheduled_ = false; // a drain is queued or running: new items need no post of their own
    bool woken_ = false;
    std::atomic<size_t> queued_{0};
    std::chrono::microseconds spin_{0};
    std::chrono::microseconds drainSlice_{0};
};

// A dispatcher whose UI thread is whoever calls drain() or serveUntil(): tests run the queue by hand.
class ManualUiDispatcher : public HandOverDispatcher {
public:
    // Test thread: waits until at least one item is queued or `timeout` passed; returns whether one is.
    bool waitForWork(std::chrono::milliseconds timeout);

protected:
    void scheduleDrain() override;

private:
    std::mutex waitMutex_;
    std::condition_variable waitCv_;
};

} // namespace torvex
