#include "instrument_driver.h"

namespace torvex::sim {

namespace {

InstrumentDriver::Clock hostClock()
{
    const auto start = std::chrono::steady_clock::now();
    return [start] {
        const auto elapsed = std::chrono::steady_clock::now() - start;
        return Instant{std::chrono::duration_cast<std::chrono::milliseconds>(elapsed), hostLocalTime()};
    };
}

} // namespace

InstrumentDriver::InstrumentDriver(Sink sink, Clock clock)
    : sink_(std::move(sink)), clock_(clock ? std::move(clock) : hostClock())
{
}

InstrumentDriver::~InstrumentDriver() { stop(); }

void InstrumentDriver::start()
{
    if (thread_.joinable())
        return;
    {
        std::lock_guard lock(mutex_);
        stopping_ = false;
    }
    stopRequested_ = false;
    thread_ = std::thread([this] { run(); });
}

void InstrumentDriver::stop()
{
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    stopRequested_ = true;
    wake_.notify_all();
    if (thread_.joinable())
        thread_.join();
}

MeasurementReportCounts InstrumentDriver::measurementCounts() const
{
    MeasurementReportCounts counts;
    {
        std::lock_guard lock(mutex_);
        counts.skipped = instrument_.skippedReports();
    }
    counts.produced = sent_.load();
    counts.queued = queued_.load();
    counts.dropped = dropped_.load();
    counts.lost = lost_.load();
    return counts;
}

void InstrumentDriver::setFlood(bool on)
{
    flood_ = on;
    wake_.notify_all();
}

void InstrumentDriver::handleOutputReport(std::span<const std::uint8_t> report)
{
    std::vector<Report> replies;
    {
        std::lock_guard lock(mutex_);
        replies = instrument_.handleOutputReport(report, clock_());
        ++changes_;
    }
    // A changed send interval or mode takes effect now rather than after the old wait.
    wake_.notify_all();
    for (const Report &r : replies)
        sink_(r, Origin::Reply);
}

void InstrumentDriver::run()
{
    std::unique_lock lock(mutex_);
    while (!stopping_) {
        const Instant now = clock_();
        std::vector<Report> due;
        if (flood_) {
            due.push_back(instrument_.measurementReport(now));
        } else {
            due = instrument_.poll(now);
        }
        const auto next = instrument_.nextPollAt(now);
        // The sink may block (a full queue); never hold the model's lock while it does.
        lock.unlock();
        for (const Report &r : due) {
            switch (sink_(r, Origin::Scheduled)) {
            case Delivery::Queued:
                ++queued_;
                break;
            case Delivery::QueueFull:
                ++dropped_;
                break;
            case Delivery::Lost:
                ++lost_;
                break;
            }
            ++sent_;
        }
        lock.lock();
        if (flood_ || stopping_)
            continue;
        const auto wait = next - now.elapsed;
        const std::uint64_t seen = changes_;
        if (wait > std::chrono::milliseconds::zero())
            wake_.wait_for(lock, wait, [&] { return stopping_ || flood_.load() || changes_ != seen; });
    }
}

} // namespace torvex::sim
