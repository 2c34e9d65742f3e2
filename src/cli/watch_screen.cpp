#include "cli/watch_screen.h"

#include "measure/indicator_text.h"

#include <algorithm>

namespace torvex::cli {
namespace {

std::string encoderName(const WatchView &view, size_t n)
{
    std::string name = "Encoder " + std::to_string(n + 1);
    if (!view.names[n].empty())
        name += " - " + view.names[n];
    return name;
}

const char *level(std::uint8_t io, std::uint8_t bit) { return (io & bit) != 0 ? "HI" : "LO"; }

std::string outputsText(std::uint8_t io)
{
    return std::string("OUT1 ") + level(io, kIoOut1) + "  OUT2 " + level(io, kIoOut2) + "  OUT3 " + level(io, kIoOut3)
        + "  OUT4 " + level(io, kIoOut4);
}

std::string triggersText(std::uint8_t io)
{
    return std::string("TRIG1 ") + level(io, kIoTrig1) + "  TRIG2 " + level(io, kIoTrig2);
}

// The indicator fields' texts start with the field's space.
std::string trimmed(std::string text) { return text.substr(std::min<size_t>(1, text.size())); }

std::string positionText(const WatchView &view, size_t n)
{
    return trimmed(positionFieldText(view.state.Encoders[n], view.state.DecimalPlaces, view.units[n], view.separator));
}

std::string velocityText(const WatchView &view, size_t n)
{
    return trimmed(velocityFieldText(view.state.Encoders[n], view.state.DecimalPlaces, view.units[n], "min", "sec",
                                     view.separator));
}

} // namespace

std::vector<std::string> watchScreen(const WatchView &view)
{
    const MeasurementState &s = view.state;
    std::vector<std::string> lines;
    lines.push_back("TORVEX " + view.device + (view.connected ? "" : "  (disconnected, waiting)"));
    lines.push_back("Instrument clock  " + trimmed(deviceDateText(s.DeviceClock)) + "  "
                    + trimmed(deviceTimeText(s.DeviceClock)));
    std::array<std::string, kEncoderCount> names;
    size_t width = 0;
    for (size_t n = 0; n < kEncoderCount; ++n) {
        names[n] = encoderName(view, n);
        width = std::max(width, names[n].size());
    }
    std::array<std::string, kEncoderCount> positions;
    size_t positionWidth = 0;
    for (size_t n = 0; n < kEncoderCount; ++n) {
        positions[n] = positionText(view, n);
        positionWidth = std::max(positionWidth, positions[n].size());
    }
    for (size_t n = 0; n < kEncoderCount; ++n) {
        std::string line = names[n];
        line.resize(width, ' ');
        std::string position = positions[n];
        position.resize(positionWidth, ' ');
        line += "  position " + position + "  velocity " + velocityText(view, n);
        lines.push_back(line);
    }
    lines.push_back("Outputs   " + outputsText(s.IoStates));
    lines.push_back("Triggers  " + triggersText(s.IoStates));
    lines.push_back("Rate      " + rateText(view.reports, view.intervalMs, view.separator));
    return lines;
}

std::string watchLine(const WatchView &view)
{
    const MeasurementState &s = view.state;
    std::string line = trimmed(deviceDateText(s.DeviceClock)) + " " + trimmed(deviceTimeText(s.DeviceClock));
    for (size_t n = 0; n < kEncoderCount; ++n) {
        line += " | " + (view.names[n].empty() ? "Encoder " + std::to_string(n + 1) : view.names[n]) + " "
            + positionText(view, n) + " " + velocityText(view, n);
    }
    line += " | " + outputsText(s.IoStates) + " | " + triggersText(s.IoStates) + " | "
        + rateText(view.reports, view.intervalMs, view.separator);
    if (!view.connected)
        line += " | disconnected";
    return line;
}

} // namespace torvex::cli
