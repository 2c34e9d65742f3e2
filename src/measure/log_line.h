#pragma once

#include "measure/local_clock.h"
#include "measure/measurement.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

namespace torvex {

// The columns a user can tick, in line order (the outputs column is six: OUT1..OUT4, TRIG1, TRIG2).
inline constexpr std::size_t kLogColumnCount = 4 + 2 * kEncoderCount + 1;
// Their short names, as torvex-cli takes them.
inline constexpr std::array<std::string_view, kLogColumnCount> kLogColumnNames = {
    "date", "time", "cnt", "cntmod", "enc1p", "enc2p", "enc3p", "enc1v", "enc2v", "enc3v", "output"};
std::optional<std::size_t> findLogColumn(std::string_view name);

// The counter-modulo value a user may set.
inline constexpr std::int32_t kModuloMin = 1;
inline constexpr std::int32_t kModuloMax = 99999999;

// Which columns a log line carries. The order of the columns in the line is fixed, whatever is ticked.
struct LogColumns {
    bool date = true;
    bool time = true;
    bool count = true;
    bool countModulo = true;
    std::array<bool, kEncoderCount> position{true, true, true};
    std::array<bool, kEncoderCount> velocity{true, true, true};
    bool outputs = true;

    // Column `index` of the line order (kLogColumnNames).
    bool &operator[](std::size_t index);
    bool operator[](std::size_t index) const { return const_cast<LogColumns &>(*this)[index]; }
    static LogColumns all(bool ticked);
};

// Everything a line is made of besides the clock.
struct LogLineInput {
    LogColumns columns;
    std::uint8_t ioStates = 0;
    std::uint8_t decimalPlaces = 0;
    std::array<float, kEncoderCount> position{};
    std::array<float, kEncoderCount> velocity{};
    std::uint32_t measurementCount = 0; // reports before this one
    std::int32_t moduloValue = 1;       // 0 makes the counter-modulo column "---"
    char decimalSeparator = '.';

    // Copies the fields a line uses from the latest measurement.
    void takeMeasurement(const MeasurementState &state)
    {
        ioStates = state.IoStates;
        decimalPlaces = state.DecimalPlaces;
        for (std::size_t k = 0; k < kEncoderCount; ++k) {
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
