#pragma once
// The texts of torvex-cli watch: a screen of lines for a terminal, or one plain line per refresh.

#include "measure/local_clock.h"
#include "measure/measurement.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace torvex::cli {

struct WatchView {
    MeasurementState state;
    std::array<std::string, kEncoderCount> names; // empty: "Encoder n"
    std::array<std::string, kEncoderCount> units; // empty: "..." as the window shows it
    std::uint32_t reports = 0;                    // input reports of any type over the last intervalMs
    std::uint32_t intervalMs = 250;               // the time the rate is measured over
    std::string device;
    bool connected = true;
    char separator = '.';
    std::string note; // the program's latest message, shown on the screen instead of scrolling it
};

std::vector<std::string> watchScreen(const WatchView &view);
std::string watchLine(const WatchView &view);

// One line per measurement report, for programs: the computer's time of the report, the instrument's count and
// clock, each encoder's position and velocity, the outputs and triggers (1 high, 0 low). CSV: a header line
// first; fields separated by ",", a value with a "," in it (the decimal comma) quoted. JSON: one object a line,
// numbers with ".".
std::string watchCsvHeader(const WatchView &view);
std::string watchCsvLine(const WatchView &view, const LocalDateTime &time);
std::string watchJsonLine(const WatchView &view, const LocalDateTime &time);

} // namespace torvex::cli
