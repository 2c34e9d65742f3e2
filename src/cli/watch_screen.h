#pragma once
// The texts of torvex-cli watch: a screen of lines for a terminal, or one plain line per refresh.

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
    std::uint32_t reports = 0;                    // input reports of any type since the previous refresh
    std::uint32_t intervalMs = 250;               // time since the previous refresh
    std::string device;
    bool connected = true;
    char separator = '.';
};

std::vector<std::string> watchScreen(const WatchView &view);
std::string watchLine(const WatchView &view);

} // namespace torvex::cli
