#include "device/scan_worker.h"

#include <algorithm>
#include <utility>

namespace torvex {

ScanWorker::ScanWorker(std::chrono::milliseconds mergeDelay, std::function<void(bool startup)> job)
    : mergeDelay_(mergeDelay), job_(std::move(job))
{
    thread_ = std::thread([this] { run(); });
}

ScanWorker::~ScanWorker()
{
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
    }
    cv_.notify_all();
    thread_.join();
}

void ScanWorker::request(bool startup)
{
    const auto now = std::chrono::steady_clock::now();
    const auto due = startup ? now : now + mergeDelay_;
    {
        std::lock_guard lock(mutex_);
        // Not pushed back by later requests: a steady stream of notices must not put the scan off for ever.
        due_ = pending_ ? std::min(due_, due) : due;
        pending_ = true;
        startup_ = startup_ || startup;
    }
    cv_.notify_all();
}

void ScanWorker::run()
{
    std::unique_lock lock(mutex_);
    for (;;) {
        cv_.wait(lock, [this] { return stop_ || pending_; });
        while (!stop_ && std::chrono::steady_clock::now() < due_)
            cv_.wait_until(lock, due_);
        if (stop_)
            return;
        pending_ = false;
        const bool startup = std::exchange(startup_, false);
        lock.unlock();
        job_(startup);
        lock.lock();
    }
}

} // namespace torvex
