#pragma once

#include "record/record.h"

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <vector>

namespace torvex {

// The records between the instrument and the outputs, in order, each reader (an output) at its own position.
// One producer (the report hand-over) and one thread per reader. A record stays until every reader has taken
// it. The bound counts the records the slowest reader still has to take: when a new record would pass it, the
// oldest goes, and each reader that had not taken it counts it as lost; a reader that keeps up loses nothing.
// Without readers nothing is kept.
class RecordQueue {
public:
    explicit RecordQueue(std::size_t maxRecords);

    // A reader that gets the records pushed from now on.
    int addReader();
    void removeReader(int reader);

    void push(const MeasurementRecord &record);
    // Copies up to `max` records for `reader` to the end of `out` and moves its position past them.
    std::size_t take(int reader, std::vector<MeasurementRecord> &out, std::size_t max);

    std::uint64_t lost(int reader) const;
    std::uint64_t waiting(int reader) const;
    std::size_t size() const;
    std::size_t maxRecords() const { return maxRecords_; }

    // The readers' threads wait here; push() wakes them once a batch has gathered, not for every record.
    std::mutex &mutex() { return mutex_; }
    std::condition_variable &wake() { return wake_; }
    std::uint64_t waitingLocked(int reader) const;
    static constexpr std::uint64_t kWakeBatch = 256;

private:
    struct Reader {
        bool used = false;
        std::uint64_t position = 0; // sequence number of the next record to take
        std::uint64_t lost = 0;
    };
    void trim();

    std::size_t maxRecords_;
    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<MeasurementRecord> records_;
    std::uint64_t head_ = 0; // sequence number of records_.front()
    std::uint64_t nextWake_ = 0;
    std::vector<Reader> readers_;
};

} // namespace torvex
