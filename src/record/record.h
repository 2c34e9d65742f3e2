#pragma once

#include "measure/local_clock.h"
#include "measure/log_line.h"
#include "measure/measurement.h"

#include <array>
#include <cstdint>

namespace torvex {

// One measurement as the recorder queues it for its outputs: what the log line is made of (the columns,
// counter-modulo and decimal mark set when it came, the decoded values, its counter) and the one reading of the
// computer's clock it was made at. Outputs make their own text from it on their own threads.
struct MeasurementRecord {
    LogLineInput line;
    // The rest of the measurement, which the log line does not show.
    DeviceDateTime deviceClock;
    std::array<std::uint8_t, kEncoderCount> perMinute{}; // time-base byte of each encoder
    LocalDateTime local;                                 // that clock reading in local time, as the log line writes it
    std::int64_t utcMs = 0;                              // the same reading: milliseconds since 1970-01-01 00:00 UTC

    // The measurement as the report handler held it, its count that of the reports before it.
    MeasurementState measurement() const;
};

} // namespace torvex
