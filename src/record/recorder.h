#pragma once

#include "instrument/report_dispatch.h"
#include "measure/local_clock.h"
#include "measure/log_line.h"
#include "record/record.h"
#include "record/record_output.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>

namespace torvex {

class RecordQueue;

// Records every measurement for the outputs (the log file, standard output, a broker), off the reading path.
// The report handler's hand-over only stamps the record with the clock and the line settings and queues it: no
// file, pipe or network call is made on the thread that must keep pace with the instrument. Each output writes
// from its own thread and its own position in one bounded queue. The bound (ten minutes at the instrument's
// fastest rate) is the only place records are lost: when it is reached, the oldest record goes, counted as lost
// by each output that had not taken it yet, so an output that keeps up never loses a record to one that lags.
//
// All calls but those the outputs make come from one thread (the window's, or torvex-cli's loop).
class Recorder : public MeasurementLogSink {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr std::size_t kQueueRecords = 600'000;
    // How long an output has at the end to write what waits, before what is left goes somewhere safe.
    static constexpr Clock::duration kStopDeadline = std::chrono::seconds(2);

    explicit Recorder(std::size_t queueRecords = kQueueRecords);
    // Stops every output as stopOutput() does.
    ~Recorder() override;
    Recorder(const Recorder &) = delete;
    Recorder &operator=(const Recorder &) = delete;

    // What each record from now on is stamped with.
    void setLineSettings(const LogColumns &columns, std::int32_t modulo, char separator);

    // Starts an output on a thread of its own; it is handed every record recorded from now on. An id > 0.
    int addOutput(std::shared_ptr<RecordOutput> output);
    // Hands the output what waits for it, then its finish() until `deadline`; an output still blocked then is
    // interrupted, and given a second more. False when its thread still has not ended (it is left to end by
    // itself; the output object stays alive until it does).
    bool stopOutput(int id, Clock::time_point deadline);
    // Records the bound took from this output before it could take them.
    std::uint64_t lost(int id) const;
    // Records in the queue this output has not taken yet.
    std::uint64_t waiting(int id) const;

    // The front end's 1 s timer: every output takes what waits and ticks.
    void tick();
    // Waits (at most `timeout`) until every output has taken and handled every record and tick handed over
    // before this call. False on timeout.
    bool sync(Clock::duration timeout = std::chrono::seconds(5));

    // Records made since the start.
    std::uint64_t records() const { return records_; }

    // The report handler's hand-over, before the counter advances.
    void handOverMeasurement(const MeasurementState &state) override;
    // For the front ends' tests and the benchmark: a record made at a given time.
    void record(const MeasurementState &state, std::chrono::system_clock::time_point at);

private:
    struct Runner;
    std::shared_ptr<RecordQueue> queue_;
    std::map<int, std::shared_ptr<Runner>> runners_;
    int nextId_ = 1;
    LogLineInput settings_;
    LocalClock clock_;
    std::uint64_t records_ = 0;
};

} // namespace torvex
