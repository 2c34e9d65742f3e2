#pragma once
// A thread that runs one job on request, off the UI thread. Requests that come while one is waiting are merged
// into it; a request that comes while the job runs gives one more run afterwards, so the last change is always
// seen.

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

namespace torvex {

class ScanWorker {
public:
    // `job` runs on the worker's thread, with `startup` true when one of the requests it serves was a startup one.
    ScanWorker(std::chrono::milliseconds mergeDelay, std::function<void(bool startup)> job);
    // Waits for a running job to return.
    ~ScanWorker();
    ScanWorker(const ScanWorker &) = delete;
    ScanWorker &operator=(const ScanWorker &) = delete;

    // Any thread. The job runs once `mergeDelay` after the first of the requests it serves, or at once for a
    // startup request (nothing else to wait for).
    void request(bool startup);

private:
    void run();

    const std::chrono::milliseconds mergeDelay_;
    const std::function<void(bool)> job_;
    std::mutex mutex_;
    std::condition_variable cv_;
    bool pending_ = false;
    bool startup_ = false;
    bool stop_ = false;
    std::chrono::steady_clock::time_point due_;
    std::thread thread_;
};

} // namespace torvex
