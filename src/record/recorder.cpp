#include "record/recorder.h"

#include "record/record_queue.h"

#include <map>
#include <stdexcept>
#include <thread>
#include <vector>

namespace torvex {

namespace {
// Records handed to an output at a time: enough to make a hand-over cheap, few enough to stay responsive.
constexpr std::size_t kBatch = 1024;
// After the deadline, how long a blocked output is interrupted again and again before it is left alone.
constexpr Recorder::Clock::duration kInterruptGrace = std::chrono::seconds(1);
constexpr Recorder::Clock::duration kInterruptEvery = std::chrono::milliseconds(50);
} // namespace

// One output's thread and what the front end asked of it; the fields below are guarded by the queue's mutex.
struct Recorder::Runner {
    std::shared_ptr<RecordQueue> queue;
    std::shared_ptr<RecordOutput> output;
    int reader = 0;
    std::uint64_t tickRequested = 0;
    std::uint64_t tickDone = 0;
    std::uint64_t syncRequested = 0;
    std::uint64_t syncDone = 0;
    bool stopRequested = false;
    Clock::time_point deadline;
    bool finished = false;
    std::thread thread;

    void run();
};

void Recorder::Runner::run()
{
    RecordOutput &out = *output;
    out.start();
    std::vector<MeasurementRecord> batch;
    batch.reserve(kBatch);
    for (;;) {
        const bool ready = out.ready();
        std::uint64_t tick = 0, sync = 0;
        bool stop = false, timedOut = false;
        {
            std::unique_lock lock(queue->mutex());
            const auto wanted = [&] {
                return stopRequested || tickRequested != tickDone || syncRequested != syncDone
                    || (ready && queue->waitingLocked(reader) >= RecordQueue::kWakeBatch);
            };
            timedOut = !queue->wake().wait_for(lock, out.idleWait(), wanted);
            stop = stopRequested;
            tick = tickRequested;
            sync = syncRequested;
        }
        // At the end everything is handed over, ready or not: the output puts what it cannot send somewhere safe.
        while (stop || out.ready()) {
            batch.clear();
            if (queue->take(reader, batch, kBatch) == 0)
                break;
            out.take(batch);
        }
        if (stop) {
            queue->removeReader(reader);
            out.finish(deadline);
        } else if (timedOut || tick != tickDone) {
            out.tick();
        }
        {
            std::lock_guard lock(queue->mutex());
            tickDone = tick;
            syncDone = sync;
            finished = stop;
        }
        queue->wake().notify_all();
        if (stop)
            return;
    }
}

Recorder::Recorder(std::size_t queueRecords) : queue_(std::make_shared<RecordQueue>(queueRecords)) {}

Recorder::~Recorder()
{
    while (!runners_.empty())
        stopOutput(runners_.begin()->first, Clock::now() + kStopDeadline);
}

void Recorder::setLineSettings(const LogColumns &columns, std::int32_t modulo, char separator)
{
    settings_.columns = columns;
    settings_.moduloValue = modulo;
    settings_.decimalSeparator = separator;
}

int Recorder::addOutput(std::shared_ptr<RecordOutput> output)
{
    auto runner = std::make_shared<Runner>();
    runner->queue = queue_;
    runner->output = std::move(output);
    runner->reader = queue_->addReader();
    const int id = nextId_++;
    runners_[id] = runner;
    runner->thread = std::thread([runner] { runner->run(); });
    return id;
}

bool Recorder::stopOutput(int id, Clock::time_point deadline)
{
    const auto found = runners_.find(id);
    if (found == runners_.end())
        return true;
    const std::shared_ptr<Runner> runner = found->second;
    runners_.erase(found);
    std::unique_lock lock(queue_->mutex());
    runner->stopRequested = true;
    runner->deadline = deadline;
    queue_->wake().notify_all();
    queue_->wake().wait_until(lock, deadline, [&] { return runner->finished; });
    // A call blocked in the system (a pipe nobody reads) is interrupted, again and again in case the first
    // interruption came just before the call.
    const Clock::time_point giveUp = std::max(deadline, Clock::now()) + kInterruptGrace;
    while (!runner->finished && Clock::now() < giveUp) {
        lock.unlock();
        runner->output->interrupt();
        lock.lock();
        queue_->wake().wait_for(lock, kInterruptEvery, [&] { return runner->finished; });
    }
    const bool finished = runner->finished;
    lock.unlock();
    if (finished)
        runner->thread.join();
    else
        runner->thread.detach(); // it holds what it uses; the program may end without it
    return finished;
}

std::uint64_t Recorder::lost(int id) const
{
    const auto found = runners_.find(id);
    return found == runners_.end() ? 0 : queue_->lost(found->second->reader);
}

std::uint64_t Recorder::waiting(int id) const
{
    const auto found = runners_.find(id);
    return found == runners_.end() ? 0 : queue_->waiting(found->second->reader);
}

void Recorder::tick()
{
    {
        std::lock_guard lock(queue_->mutex());
        for (auto &[id, runner] : runners_)
            ++runner->tickRequested;
    }
    queue_->wake().notify_all();
}

bool Recorder::sync(Clock::duration timeout)
{
    std::unique_lock lock(queue_->mutex());
    std::vector<std::pair<std::shared_ptr<Runner>, std::uint64_t>> asked;
    for (auto &[id, runner] : runners_)
        asked.emplace_back(runner, ++runner->syncRequested);
    queue_->wake().notify_all();
    const Clock::time_point until = Clock::now() + timeout;
    for (auto &[runner, request] : asked) {
        Runner &r = *runner;
        const std::uint64_t wanted = request;
        if (!queue_->wake().wait_until(lock, until, [&] { return r.syncDone >= wanted || r.finished; }))
            return false;
    }
    return true;
}

void Recorder::handOverMeasurement(const MeasurementState &state)
{
    if (runners_.empty())
        return;
    record(state, std::chrono::system_clock::now());
}

void Recorder::record(const MeasurementState &state, std::chrono::system_clock::time_point at)
{
    MeasurementRecord record;
    record.line = settings_;
    record.line.takeMeasurement(state);
    record.deviceClock = state.DeviceClock;
    for (std::size_t k = 0; k < kEncoderCount; ++k)
        record.perMinute[k] = state.Encoders[k].PerMinute;
    record.local = clock_.at(at);
    record.utcMs = std::chrono::duration_cast<std::chrono::milliseconds>(at.time_since_epoch()).count();
    queue_->push(record);
    ++records_;
}

} // namespace torvex
