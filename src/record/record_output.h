#pragma once

#include "record/record.h"

#include <chrono>
#include <span>

namespace torvex {

// A place the recorder's records go to (the log file, standard output, a broker). Each output has a thread of
// its own and its own position in the recorder's queue, so a slow or stalled output never holds up the
// instrument or another output. Every call but interrupt() comes on that thread.
class RecordOutput {
public:
    using Clock = std::chrono::steady_clock;
    virtual ~RecordOutput() = default;

    // Once, before the first batch.
    virtual void start() {}
    // Whether the output takes records now. While it does not (a broker away, its window of unacknowledged
    // messages full), its records wait in the recorder's queue, in order, within the queue's bound.
    virtual bool ready() { return true; }
    // The next records, in order; the output copies what it keeps.
    virtual void take(std::span<const MeasurementRecord> records) = 0;
    // About once a second when the front end ticks, and after each idleWait() with nothing to take.
    virtual void tick() {}
    // How long the thread may wait for records before it calls tick() anyway.
    virtual Clock::duration idleWait() { return std::chrono::seconds(1); }
    // The end: every record has been taken. Writes what waits until `deadline`, then puts what is still
    // waiting somewhere safe (a recovery file) and says what went where in its own status.
    virtual void finish(Clock::time_point deadline) = 0;
    // From another thread, after the deadline: a call of this output blocked in the system (a write to a pipe
    // nobody reads, the open of a FIFO) is to return now, failing.
    virtual void interrupt() {}
};

} // namespace torvex
