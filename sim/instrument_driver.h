#pragma once

// Runs a simulated instrument in real time: a thread sends its measurement reports when they fall due, and
// output reports from the host are answered at once. Every input report goes to the sink, report id first.

#include "torvex_instrument.h"

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

namespace torvex::sim {

// What became of one report handed to the sink.
enum class Delivery {
    Queued,    // in the device's input queue
    QueueFull, // not sent: the device's input queue was full
    Lost,      // not sent: the device is unplugged, or the driver was told to stop while waiting for room
};

// The measurement reports of a driver. Exact once the driver has stopped: produced = queued + dropped + lost.
struct MeasurementReportCounts {
    std::uint64_t produced = 0;
    std::uint64_t queued = 0;
    std::uint64_t dropped = 0; // the device's queue was full
    std::uint64_t lost = 0;
    std::uint64_t skipped = 0; // send times that passed without a report (Instrument::skippedReports)
};

// Who hands a report to the sink. A reply comes on the host's writer thread, which must never wait for room: the
// host may read its reports on a thread that is itself waiting for that writer (a read thread handing a report
// over to the UI thread that is writing), so waiting there would block both for good.
enum class Origin {
    Scheduled, // a measurement report, on the driver's own thread
    Reply,     // the answer to an output report, on the thread that wrote it
};

class InstrumentDriver {
public:
    using Sink = std::function<Delivery(std::span<const std::uint8_t>, Origin)>;
    using Clock = std::function<Instant()>;

    // The default clock counts from construction and shows the host's local time.
    explicit InstrumentDriver(Sink sink, Clock clock = {});
    ~InstrumentDriver();
    InstrumentDriver(const InstrumentDriver &) = delete;
    InstrumentDriver &operator=(const InstrumentDriver &) = delete;

    void start();
    void stop();
    bool running() const { return thread_.joinable(); }
    // True from stop() until the next start(); a sink that waits for room must give up then.
    bool stopRequested() const { return stopRequested_.load(); }
    bool flooding() const { return flood_.load(); }

    // Thread-safe; the replies reach the sink (as Origin::Reply) before this returns.
    void handleOutputReport(std::span<const std::uint8_t> report);

    // Send measurement reports back to back, ignoring the transmission settings (for load tests).
    void setFlood(bool on);

    // Locked access to the model, e.g. to change parameters while running.
    template <typename F>
    auto withInstrument(F &&f)
    {
        struct Wake {
            InstrumentDriver *d;
            ~Wake() { d->wake_.notify_all(); }
        } wake{this};
        std::lock_guard lock(mutex_);
        ++changes_;
        return f(instrument_);
    }

    std::uint64_t sentMeasurementReports() const { return sent_.load(); }
    MeasurementReportCounts measurementCounts() const;

private:
    void run();

    Sink sink_;
    Clock clock_;
    mutable std::mutex mutex_;
    std::condition_variable wake_;
    Instrument instrument_;
    std::thread thread_;
    bool stopping_ = false;
    std::uint64_t changes_ = 0; // bumped on every change that may move the next due time
    std::atomic<bool> flood_{false};
    std::atomic<bool> stopRequested_{false};
    std::atomic<std::uint64_t> sent_{0};
    std::atomic<std::uint64_t> queued_{0};
    std::atomic<std::uint64_t> dropped_{0};
    std::atomic<std::uint64_t> lost_{0};
};

} // namespace torvex::sim
