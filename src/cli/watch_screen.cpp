#include "cli/watch_screen.h"

#include "cli/text_util.h"
#include "measure/indicator_text.h"
#include "measure/value_text.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cmath>
#include <cstdio>

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

std::string rate(const WatchView &view) { return reportRateText(view.reports, view.intervalMs / 1000.0); }

std::string isoTime(const LocalDateTime &t)
{
    char text[40];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03d", t.year, t.month, t.day, t.hour, t.minute,
                  t.second, t.millisecond);
    return text;
}

std::string deviceClockText(const DeviceDateTime &c)
{
    char text[40];
    std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u", unsigned{c.Year}, unsigned{c.Month},
                  unsigned{c.Day}, unsigned{c.Hour}, unsigned{c.Minute}, unsigned{c.Second});
    return text;
}

std::string encoderLabel(const WatchView &view, size_t n)
{
    return view.names[n].empty() ? "Encoder " + std::to_string(n + 1) : view.names[n];
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
    lines.push_back("Rate      " + rate(view));
    if (!view.note.empty())
        lines.push_back(view.note);
    return lines;
}

std::string watchLine(const WatchView &view)
{
    const MeasurementState &s = view.state;
    std::string line = trimmed(deviceDateText(s.DeviceClock)) + " " + trimmed(deviceTimeText(s.DeviceClock));
    for (size_t n = 0; n < kEncoderCount; ++n) {
        line += " | " + encoderLabel(view, n) + " " + positionText(view, n) + " " + velocityText(view, n);
    }
    line += " | " + outputsText(s.IoStates) + " | " + triggersText(s.IoStates) + " | " + rate(view);
    if (!view.connected)
        line += " | disconnected";
    return line;
}

std::string watchCsvHeader(const WatchView &view)
{
    std::string header = "time,count,instrument clock";
    for (size_t n = 0; n < kEncoderCount; ++n) {
        std::string name;
        for (char c : encoderLabel(view, n))
            name += c == '"' ? std::string("\"\"") : std::string(1, c); // CSV doubles a quote inside quotes
        header += ",\"" + name + " position\",\"" + name + " velocity\"";
    }
    return header + ",out1,out2,out3,out4,trig1,trig2";
}

std::string watchCsvLine(const WatchView &view, const LocalDateTime &time)
{
    const MeasurementState &s = view.state;
    auto value = [&](float v) {
        std::string text = valueText(v, s.DecimalPlaces, view.separator);
        return view.separator == ',' ? "\"" + text + "\"" : text;
    };
    std::string line = isoTime(time) + "," + std::to_string(s.MeasurementCount) + "," + deviceClockText(s.DeviceClock);
    for (const EncoderReading &e : s.Encoders)
        line += "," + value(e.Position) + "," + value(e.Velocity);
    for (std::uint8_t bit : kIoBits)
        line += (s.IoStates & bit) != 0 ? ",1" : ",0";
    return line;
}

std::string watchJsonLine(const WatchView &view, const LocalDateTime &time)
{
    const MeasurementState &s = view.state;
    // The values keep the decimals the instrument sends, which a JSON library's own number text would not.
    auto number = [&](float v) { return std::isfinite(v) ? valueText(v, s.DecimalPlaces, '.') : std::string("null"); };
    auto text = [](const std::string &t) {
        return nlohmann::json(t).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
    };
    std::string line = "{\"time\":\"" + isoTime(time) + "\",\"count\":" + std::to_string(s.MeasurementCount)
        + ",\"instrumentClock\":\"" + deviceClockText(s.DeviceClock) + "\",\"encoders\":[";
    for (size_t n = 0; n < kEncoderCount; ++n) {
        const EncoderReading &e = s.Encoders[n];
        line += std::string(n == 0 ? "" : ",") + "{\"name\":" + text(encoderLabel(view, n))
            + ",\"unit\":" + text(view.units[n]) + ",\"position\":" + number(e.Position)
            + ",\"velocity\":" + number(e.Velocity) + ",\"per\":\"" + (e.PerMinute != 0 ? "min" : "sec") + "\"}";
    }
    line += "],\"outputs\":[";
    for (int k = 0; k < kOutputCount + kTriggerCount; ++k) {
        if (k == kOutputCount)
            line += "],\"triggers\":[";
        else if (k > 0)
            line += ",";
        line += (s.IoStates & kIoBits[k]) != 0 ? "true" : "false";
    }
    return line + "]}";
}

} // namespace torvex::cli
