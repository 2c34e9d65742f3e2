#include "cli/watch_screen.h"

#include "measure/indicator_text.h"
#include "measure/value_text.h"

#include <algorithm>

namespace torvex::cli {
namespace {

std::string unitOpening(const std::string &unit) { return " [" + (unit.empty() ? std::string("...") : unit); }

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

// deviceDateText and deviceTimeText start with the indicator field's space.
std::string trimmed(std::string text) { return text.substr(std::min<size_t>(1, text.size())); }

} // namespace

std::string positionText(const EncoderReading &encoder, unsigned decimals, const std::string &unit, char separator)
{
    return valueText(encoder.Position, decimals, separator) + unitOpening(unit) + "]";
}

std::string velocityText(const EncoderReading &encoder, unsigned decimals, const std::string &unit, char separator)
{
    return valueText(encoder.Velocity, decimals, separator) + unitOpening(unit) + "/"
        + (encoder.PerMinute != 0 ? "min" : "sec") + "]";
}

std::vector<std::string> watchScreen(const WatchView &view)
{
    const MeasurementState &s = view.state;
    std::vector<std::string> lines;
    lines.push_back("TORVEX " + view.device + (view.connected ? "" : "  (disconnected, waiting)"));
    lines.push_back("Instrument clock  " + trimmed(deviceDateText(s.DeviceClock)) + "  "
                    + trimmed(deviceTimeText(s.DeviceClock)));
    std::array<std::string, 3> names;
    size_t width = 0;
    for (size_t n = 0; n < 3; ++n) {
        names[n] = encoderName(view, n);
        width = std::max(width, names[n].size());
    }
    std::array<std::string, 3> positions;
    size_t positionWidth = 0;
    for (size_t n = 0; n < 3; ++n) {
        positions[n] = positionText(s.Encoders[n], s.DecimalPlaces, view.units[n], view.separator);
        positionWidth = std::max(positionWidth, positions[n].size());
    }
    for (size_t n = 0; n < 3; ++n) {
        std::string line = names[n];
        line.resize(width, ' ');
        std::string position = positions[n];
        position.resize(positionWidth, ' ');
        line += "  position " + position + "  velocity "
            + velocityText(s.Encoders[n], s.DecimalPlaces, view.units[n], view.separator);
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
    for (size_t n = 0; n < 3; ++n) {
        line += " | " + (view.names[n].empty() ? "Encoder " + std::to_string(n + 1) : view.names[n]) + " "
            + positionText(s.Encoders[n], s.DecimalPlaces, view.units[n], view.separator) + " "
            + velocityText(s.Encoders[n], s.DecimalPlaces, view.units[n], view.separator);
    }
    line += " | " + outputsText(s.IoStates) + " | " + triggersText(s.IoStates) + " | "
        + rateText(view.reports, view.intervalMs, view.separator);
    if (!view.connected)
        line += " | disconnected";
    return line;
}

} // namespace torvex::cli
