#include "device/hand_over_dispatcher.h"

#include <utility>

namespace torvex {

std::unique_ptr<UiWatch> UiDispatcher::watchReadable(int, std::function<void()>) { return nullptr; }

std::unique_ptr<UiWatch> UiDispatcher::repeatEvery(std::chrono::milliseconds, std::function<void()>) { return nullptr; }

void HandOverDispatcher::setSpin(std::chrono::microseconds spin, std::chrono::microseconds drainSlice)
{
    std::lock_guard lock(mutex_);
    spin_ = spin;
    drainSlice_ = drainSlice;
}

void HandOverDispatcher::enqueue(const std::shared_ptr<Item> &item)
{
    bool schedule = false;
    {
        std::lock_guard lock(mutex_);
        queue_.push_back(item);
        queued_.store(queue_.size(), std::memory_order_release);
        if (!drainScheduled_) {
            drainScheduled_ = true;
            schedule = true;
        }
    }
    serveCv_.notify_all();
    if (schedule)
        scheduleDrain();
}

void HandOverDispatcher::post(std::function<void()> fn)
{
    auto item = std::make_shared<Item>();
    item->fn = std::move(fn);
    enqueue(item);
}

void HandOverDispatcher::invoke(std::function<void()> fn)
{
    auto item = std::make_shared<Item>();
    item->fn = std::move(fn);
    item->sync = true;
    std::chrono::microseconds spin;
    {
        std::lock_guard lock(mutex_);
        spin = spin_;
    }
    enqueue(item);
    if (spin.count() > 0) {
        const auto end = std::chrono::steady_clock::now() + spin;
        while (std::chrono::steady_clock::now() < end)
            if (item->done.load(std::memory_order_acquire))
                return;
    }
    std::unique_lock lock(mutex_);
    doneCv_.wait(lock, [&] { return item->done.load(); });
}

void HandOverDispatcher::runItem(const std::shared_ptr<Item> &item)
{
    // Release the waiting caller whatever the item does, then let its exception go on.
    struct Release {
        HandOverDispatcher *self;
        const std::shared_ptr<Item> &item;
        ~Release()
        {
            if (!item->sync)
                return;
            {
                std::lock_guard lock(self->mutex_);
                item->done.store(true, std::memory_order_release);
            }
            self->doneCv_.notify_all();
        }
    } release{this, item};
    item->fn();
}

bool HandOverDispatcher::awaitItem(std::chrono::microseconds limit)
{
    const auto end = std::chrono::steady_clock::now() + limit;
    do {
        if (queued_.load(std::memory_order_acquire) > 0)
            return true;
    } while (std::chrono::steady_clock::now() < end);
    return false;
}

void HandOverDispatcher::finishDrain()
{
    bool schedule = false;
    {
        std::lock_guard lock(mutex_);
        if (queue_.empty())
            drainScheduled_ = false;
        else
            schedule = true; // the flag stays set: this post is the one the new items wait for
    }
    if (schedule)
        scheduleDrain();
}

size_t HandOverDispatcher::drain()
{
    const auto begin = std::chrono::steady_clock::now();
    std::chrono::microseconds spin;
    std::chrono::microseconds slice;
    {
        std::lock_guard lock(mutex_);
        // Items queued while this drain runs are taken by it (or by the post finishDrain() makes).
        drainScheduled_ = true;
        spin = spin_;
        slice = drainSlice_;
    }
    size_t ran = 0;
    try {
        for (;;) {
            // Only what is queued now: anything later waits for the next round, so a busy producer cannot
            // keep the UI loop from its other work beyond one slice.
            size_t budget = queued_.load(std::memory_order_acquire);
            while (budget-- > 0) {
                std::shared_ptr<Item> item;
                {
                    std::lock_guard lock(mutex_);
                    if (queue_.empty())
                        break;
                    item = std::move(queue_.front());
                    queue_.pop_front();
                    queued_.store(queue_.size(), std::memory_order_release);
                }
                ++ran;
                runItem(item);
            }
            if (spin.count() == 0 || std::chrono::steady_clock::now() - begin > slice || !awaitItem(spin))
                break;
        }
    } catch (...) {
        finishDrain();
        throw;
    }
    finishDrain();
    return ran;
}

void HandOverDispatcher::serveUntil(const std::function<bool()> &done)
{
    std::exception_ptr firstError;
    for (;;) {
        std::shared_ptr<Item> item;
        {
            std::lock_guard lock(mutex_);
            for (auto it = queue_.begin(); it != queue_.end(); ++it) {
                if ((*it)->sync) {
                    item = std::move(*it);
                    queue_.erase(it);
                    queued_.store(queue_.size(), std::memory_order_release);
                    break;
                }
            }
        }
        if (item) {
            try {
                runItem(item);
            } catch (...) {
                if (!firstError)
                    firstError = std::current_exception();
            }
            continue;
        }
        if (done())
            break;
        std::unique_lock lock(mutex_);
        // The timeout only guards against a condition that changes without a wake().
        serveCv_.wait_for(lock, std::chrono::milliseconds(20), [&] {
            if (woken_)
                return true;
            for (const auto &queued : queue_)
                if (queued->sync)
                    return true;
            return false;
        });
        woken_ = false;
    }
    if (firstError)
        std::rethrow_exception(firstError);
}

void HandOverDispatcher::wake()
{
    {
        std::lock_guard lock(mutex_);
        woken_ = true;
    }
    serveCv_.notify_all();
}

size_t HandOverDispatcher::pendingCount() const
{
    std::lock_guard lock(mutex_);
    return queue_.size();
}

void ManualUiDispatcher::scheduleDrain()
{
    std::lock_guard lock(waitMutex_);
    waitCv_.notify_all();
}

bool ManualUiDispatcher::waitForWork(std::chrono::milliseconds timeout)
{
    std::unique_lock lock(waitMutex_);
    return waitCv_.wait_for(lock, timeout, [&] { return pendingCount() > 0; });
}

} // namespace torvex
