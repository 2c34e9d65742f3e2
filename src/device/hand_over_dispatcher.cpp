#include "device/hand_over_dispatcher.h"

#include <utility>

namespace torvex {

std::unique_ptr<UiWatch> UiDispatcher::watchReadable(int, std::function<void()>)
{
    return nullptr;
}

std::unique_ptr<UiWatch> UiDispatcher::repeatEvery(std::chrono::milliseconds, std::function<void()>)
{
    return nullptr;
}

void HandOverDispatcher::enqueue(const std::shared_ptr<Item> &item)
{
    bool schedule = false;
    {
        std::lock_guard lock(mutex_);
        queue_.push_back(item);
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
    enqueue(item);
    std::unique_lock lock(mutex_);
    doneCv_.wait(lock, [&] { return item->done; });
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
                item->done = true;
            }
            self->doneCv_.notify_all();
        }
    } release{this, item};
    item->fn();
}

size_t HandOverDispatcher::drain()
{
    size_t budget;
    {
        std::lock_guard lock(mutex_);
        drainScheduled_ = false;
        budget = queue_.size();
    }
    size_t ran = 0;
    // Only what was queued when the drain began: items queued meanwhile get a drain of their own, so a busy
    // producer cannot starve the rest of the UI loop.
    while (ran < budget) {
        std::shared_ptr<Item> item;
        {
            std::lock_guard lock(mutex_);
            if (queue_.empty())
                break;
            item = std::move(queue_.front());
            queue_.pop_front();
        }
        ++ran;
        try {
            runItem(item);
        } catch (...) {
            bool schedule = false;
            {
                std::lock_guard lock(mutex_);
                if (!queue_.empty() && !drainScheduled_) {
                    drainScheduled_ = true;
                    schedule = true;
                }
            }
            if (schedule)
                scheduleDrain();
            throw;
        }
    }
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
