#pragma once

#include <chrono>
#include <cstdint>

namespace torvex {

// A reading of the computer's local clock, broken down as the log line writes it.
struct LocalDateTime {
    int year = 0;
    int month = 0; // 1..12
    int day = 0;   // 1..31
    int hour = 0;  // 0..23
    int minute = 0;
    int second = 0;
    int millisecond = 0;

    bool operator==(const LocalDateTime &) const = default;
};

// Local date and time to the millisecond. The time-zone conversion is done once per wall-clock second and
// only the milliseconds are added within that second: a line is built for every report (up to 1 kHz), and a
// zone lookup per line would cost more than the rest of the line. Zone offsets and daylight-saving changes
// take effect on whole seconds, so a second converted once stays correct for all of its milliseconds.
class LocalClock {
public:
    LocalDateTime now();
    LocalDateTime at(std::chrono::system_clock::time_point t);

private:
    static constexpr std::int64_t kNoSecond = INT64_MIN;
    std::int64_t cachedSecond_ = kNoSecond;
    LocalDateTime cached_{};
};

} // namespace torvex
