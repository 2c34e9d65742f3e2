#pragma once

#include "measure/local_clock.h"
#include "measure/measurement.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace torvex {

// Which columns a log line carries. The order of the columns in the line is fixed, whatever is ticked.
struct LogColumns {
    bool date = true;
    bool time = true;
    bool count = true;
    bool countModulo = true;
    std::array<bool, 3> position{true, true, true};
    std::array<bool, 3> velocity{true, true, true};
    bool outputs = true; // six columns: OUT1..OUT4, TRIG1, TRIG2
};

// Everything a line is made of besides the clock.
struct LogLineInput {
    LogColumns columns;
    std::uint8_t ioStates = 0;
    std::uint8_t decimalPlaces = 0;
    std::array<float, 3> position{};
    std::array<float, 3> velocity{};
    std::uint32_t measurementCount = 0; // reports before this one
    std::int32_t moduloValue = 1;       // 0 makes the counter-modulo column "---"
    char decimalSeparator = '.';

    // Copies the fields a line uses from the latest measurement.
    void takeMeasurement(const MeasurementState &state)
    {
        ioStates = state.IoStates;
        decimalPlaces = state.DecimalPlaces;
        for (std::size_t k = 0; k < 3; ++k) {
            position[k] = state.Encoders[k].Position;
            velocity[k] = state.Encoders[k].Velocity;
        }
        measurementCount = state.MeasurementCount;
    }
};

// The line buffer, reused for every report: a fixed array large enough for the longest possible line, so
// building a line never allocates.
class LogLine {
public:
    static constexpr std::size_t kCapacity = 512;

    std::string_view view() const { return {data_.data(), size_}; }
    std::size_t size() const { return size_; }

private:
    friend void BuildLogLine(LogLine &line, const LogLineInput &in, const LocalDateTime &now);
    std::array<char, kCapacity> data_{};
    std::size_t size_ = 0;
};

// Rebuilds `line`: the ticked columns in their fixed order, each ending with ';', then CR LF. The line end is
// the same two bytes on every platform; the file is written in binary.
void BuildLogLine(LogLine &line, const LogLineInput &in, const LocalDateTime &now);

} // namespace torvex
