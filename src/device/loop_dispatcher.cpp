#include "device/loop_dispatcher.h"

#include <algorithm>
#include <cerrno>
#include <system_error>
#include <utility>

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>
#endif

namespace torvex {

class LoopDispatcher::EntryWatch : public UiWatch {
public:
    explicit EntryWatch(std::shared_ptr<Entry> entry) : entry_(std::move(entry)) {}
    // The loop drops dead entries itself; a watch destroyed inside its own callback is safe this way.
    ~EntryWatch() override { entry_->alive = false; }

private:
    std::shared_ptr<Entry> entry_;
};

LoopDispatcher::LoopDispatcher()
{
#ifndef _WIN32
    int fds[2];
    if (::pipe(fds) != 0)
        throw std::system_error(errno, std::generic_category(), "cannot create the loop's wake-up pipe");
    for (int fd : fds) {
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
        ::fcntl(fd, F_SETFD, FD_CLOEXEC);
    }
    wakeRead_ = fds[0];
    wakeWrite_ = fds[1];
#endif
}

LoopDispatcher::~LoopDispatcher()
{
#ifndef _WIN32
    ::close(wakeRead_);
    ::close(wakeWrite_);
#endif
}

void LoopDispatcher::scheduleDrain()
{
    drainPending_.store(true, std::memory_order_release);
    wakeLoop();
}

void LoopDispatcher::quit()
{
    quit_.store(true, std::memory_order_release);
    wakeLoop();
}

void LoopDispatcher::wake()
{
    HandOverDispatcher::wake();
    wakeLoop();
}

void LoopDispatcher::wakeLoop()
{
    // One wake-up byte at a time is enough: the loop looks at every flag after it wakes.
    if (wakePending_.exchange(true, std::memory_order_acq_rel))
        return;
#ifdef _WIN32
    {
        std::lock_guard lock(wakeMutex_);
    }
    wakeCv_.notify_all();
#else
    const char byte = 1;
    while (::write(wakeWrite_, &byte, 1) < 0 && errno == EINTR) {}
#endif
}

std::unique_ptr<UiWatch> LoopDispatcher::watchReadable(int fd, std::function<void()> fn)
{
#ifdef _WIN32
    (void)fd;
    (void)fn;
    return nullptr;
#else
    if (fd < 0 || !fn)
        return nullptr;
    auto entry = std::make_shared<Entry>();
    entry->fn = std::move(fn);
    entry->fd = fd;
    entries_.push_back(entry);
    return std::make_unique<EntryWatch>(entry);
#endif
}

std::unique_ptr<UiWatch> LoopDispatcher::repeatEvery(std::chrono::milliseconds interval, std::function<void()> fn)
{
    if (interval.count() <= 0 || !fn)
        return nullptr;
    auto entry = std::make_shared<Entry>();
    entry->fn = std::move(fn);
    entry->interval = interval;
    entry->due = Clock::now() + interval;
    entries_.push_back(entry);
    return std::make_unique<EntryWatch>(entry);
}

std::optional<LoopDispatcher::Clock::time_point> LoopDispatcher::nextTimer() const
{
    std::optional<Clock::time_point> next;
    for (const auto &entry : entries_)
        if (entry->alive && entry->interval.count() > 0 && (!next || entry->due < *next))
            next = entry->due;
    return next;
}

void LoopDispatcher::runDueTimers()
{
    const auto now = Clock::now();
    const auto snapshot = entries_; // callbacks may add or remove entries
    for (const auto &entry : snapshot) {
        if (!entry->alive || entry->interval.count() == 0 || entry->due > now)
            continue;
        entry->due += entry->interval;
        if (entry->due <= now) // fell behind (a long handler): no burst of catch-up calls
            entry->due = now + entry->interval;
        entry->fn();
    }
}

std::vector<std::shared_ptr<LoopDispatcher::Entry>>
LoopDispatcher::waitForEvents(std::optional<Clock::time_point> until)
{
    std::erase_if(entries_, [](const auto &entry) { return !entry->alive; });
    auto timeout = [&](std::chrono::milliseconds cap) {
        if (!until)
            return cap;
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(*until - Clock::now());
        return std::clamp(left, std::chrono::milliseconds(0), cap);
    };
    std::vector<std::shared_ptr<Entry>> ready;
#ifdef _WIN32
    // Window messages (the HID layer's device-change notices) need this thread to pump them: wait in short
    // slices and pump between them.
    {
        std::unique_lock lock(wakeMutex_);
        wakeCv_.wait_for(lock, timeout(std::chrono::milliseconds(10)),
                         [&] { return wakePending_.load(std::memory_order_acquire); });
    }
    wakePending_.store(false, std::memory_order_release);
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
#else
    std::vector<pollfd> fds;
    fds.push_back({wakeRead_, POLLIN, 0});
    std::vector<std::shared_ptr<Entry>> watched;
    for (const auto &entry : entries_) {
        if (entry->fd >= 0) {
            fds.push_back({entry->fd, POLLIN, 0});
            watched.push_back(entry);
        }
    }
    const auto wait = until ? static_cast<int>(timeout(std::chrono::milliseconds(60'000)).count()) : -1;
    const int n = ::poll(fds.data(), fds.size(), wakePending_.load(std::memory_order_acquire) ? 0 : wait);
    if (n > 0) {
        if (fds[0].revents != 0) {
            char bytes[64];
            while (::read(wakeRead_, bytes, sizeof bytes) > 0) {}
        }
        for (size_t i = 1; i < fds.size(); ++i)
            if (fds[i].revents != 0)
                ready.push_back(watched[i - 1]);
    }
    // Cleared after the pipe was emptied: a wake-up from now on writes a new byte.
    wakePending_.store(false, std::memory_order_release);
#endif
    return ready;
}

LoopDispatcher::RunEnd LoopDispatcher::run(const std::function<bool()> &until,
                                           std::optional<Clock::time_point> deadline)
{
    for (;;) {
        if (drainPending_.exchange(false, std::memory_order_acq_rel))
            drain();
        runDueTimers();
        if (quit_.exchange(false, std::memory_order_acq_rel))
            return RunEnd::Quit;
        if (until && until())
            return RunEnd::Condition;
        if (deadline && Clock::now() >= *deadline)
            return RunEnd::Deadline;
        if (drainPending_.load(std::memory_order_acquire))
            continue;

        std::optional<Clock::time_point> wakeAt = nextTimer();
        if (deadline && (!wakeAt || *deadline < *wakeAt))
            wakeAt = deadline;
        for (const auto &entry : waitForEvents(wakeAt))
            if (entry->alive)
                entry->fn();
    }
}

} // namespace torvex
