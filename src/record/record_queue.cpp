#include "record/record_queue.h"

#include <algorithm>

namespace torvex {

RecordQueue::RecordQueue(std::size_t maxRecords) : maxRecords_(std::max<std::size_t>(maxRecords, 1)) {}

int RecordQueue::addReader()
{
    std::lock_guard lock(mutex_);
    const std::uint64_t tail = head_ + records_.size();
    for (std::size_t i = 0; i < readers_.size(); ++i) {
        if (!readers_[i].used) {
            readers_[i] = {true, tail, 0};
            return static_cast<int>(i);
        }
    }
    readers_.push_back({true, tail, 0});
    return static_cast<int>(readers_.size() - 1);
}

void RecordQueue::removeReader(int reader)
{
    std::lock_guard lock(mutex_);
    readers_.at(static_cast<std::size_t>(reader)).used = false;
    trim();
}

void RecordQueue::trim()
{
    std::uint64_t oldest = head_ + records_.size();
    for (const Reader &r : readers_)
        if (r.used)
            oldest = std::min(oldest, r.position);
    while (head_ < oldest) {
        records_.pop_front();
        ++head_;
    }
}

void RecordQueue::push(const MeasurementRecord &record)
{
    bool wake = false;
    {
        std::lock_guard lock(mutex_);
        if (std::none_of(readers_.begin(), readers_.end(), [](const Reader &r) { return r.used; })) {
            ++head_; // nobody to take it: counted as passed, never stored
            return;
        }
        if (records_.size() >= maxRecords_) {
            records_.pop_front();
            for (Reader &r : readers_) {
                if (r.used && r.position == head_) {
                    ++r.position;
                    ++r.lost;
                }
            }
            ++head_;
        }
        records_.push_back(record);
        const std::uint64_t tail = head_ + records_.size();
        if (tail >= nextWake_) {
            nextWake_ = tail + kWakeBatch;
            wake = true;
        }
    }
    if (wake)
        wake_.notify_all();
}

std::size_t RecordQueue::take(int reader, std::vector<MeasurementRecord> &out, std::size_t max)
{
    std::lock_guard lock(mutex_);
    Reader &r = readers_.at(static_cast<std::size_t>(reader));
    if (!r.used)
        return 0;
    const std::uint64_t tail = head_ + records_.size();
    const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(tail - r.position, max));
    const auto first = records_.begin() + static_cast<std::ptrdiff_t>(r.position - head_);
    out.insert(out.end(), first, first + static_cast<std::ptrdiff_t>(n));
    r.position += n;
    trim();
    return n;
}

std::uint64_t RecordQueue::lost(int reader) const
{
    std::lock_guard lock(mutex_);
    return readers_.at(static_cast<std::size_t>(reader)).lost;
}

std::uint64_t RecordQueue::waitingLocked(int reader) const
{
    return head_ + records_.size() - readers_.at(static_cast<std::size_t>(reader)).position;
}

std::uint64_t RecordQueue::waiting(int reader) const
{
    std::lock_guard lock(mutex_);
    return waitingLocked(reader);
}

std::size_t RecordQueue::size() const
{
    std::lock_guard lock(mutex_);
    return records_.size();
}

} // namespace torvex
