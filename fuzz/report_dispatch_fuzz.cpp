// Sequences of input reports as the device may send them (any type byte, 0 to 4096 bytes each), with the log
// columns changing between them. The handler must read nothing outside the report it was given or the receive
// buffer, keep the buffer's overwrite rule, advance the counters by exactly one per measurement, and hand over
// log lines that are well-formed for the columns ticked, carry the right values, and end in CR LF.
//
// Input: four bytes of the starting measurement count, then records of: two settings bytes, two length bytes
// (little-endian, taken modulo 4097), the report's bytes (cut short by the end of the input).
#include "instrument/report_dispatch.h"
#include "measure/log_line.h"
#include "fuzz_check.h"

#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace {

using namespace torvex;

std::vector<std::string_view> splitFields(std::string_view s)
{
    std::vector<std::string_view> fields;
    std::size_t start = 0;
    for (std::size_t semi; (semi = s.find(';', start)) != std::string_view::npos; start = semi + 1)
        fields.push_back(s.substr(start, semi - start));
    require(start == s.size(), "every column ends with ';'");
    return fields;
}

bool allDigits(std::string_view s)
{
    if (s.empty())
        return false;
    for (char c : s) {
        if (c < '0' || c > '9')
            return false;
    }
    return true;
}

// The value as the report carries it, read with the host's own float layout (little-endian here).
float floatAt(const std::uint8_t *report, std::size_t at)
{
    float v;
    std::memcpy(&v, report + at, sizeof v);
    return v;
}

// A value column: "NAN"/"INF"/"-INF", fixed point with exactly the shown decimals, or a 15-digit mantissa with
// an exponent; and the number it reads as lies within rounding of the value.
void checkValue(std::string_view text, float value, unsigned decimalPlaces, char separator)
{
    if (std::isnan(value)) {
        require(text == "NAN", "not-a-number text");
        return;
    }
    if (std::isinf(value)) {
        require(text == (value < 0 ? "-INF" : "INF"), "infinity text");
        return;
    }
    const unsigned decimals = decimalPlaces > 18 ? 18 : decimalPlaces;
    std::string_view body = text;
    if (!body.empty() && body.front() == '-')
        body.remove_prefix(1);
    std::string plain(text);
    const std::size_t exponent = body.find('E');
    if (exponent != std::string_view::npos) {
        require(std::fabs(double(value)) >= 1e15, "exponent form only for 16 or more integer digits");
        const std::string_view mantissa = body.substr(0, exponent);
        require(body.substr(exponent, 2) == "E+" && allDigits(body.substr(exponent + 2)), "exponent");
        require(allDigits(mantissa.substr(0, 1)), "mantissa digit");
        if (mantissa.size() > 1)
            require(mantissa[1] == separator && allDigits(mantissa.substr(2)), "mantissa decimals");
    } else {
        const std::size_t point = body.find(separator);
        if (decimals == 0) {
            require(point == std::string_view::npos && allDigits(body), "whole number");
        } else {
            require(point != std::string_view::npos, "separator");
            require(allDigits(body.substr(0, point)), "integer digits");
            require(body.size() - point - 1 == decimals && allDigits(body.substr(point + 1)), "decimals");
        }
    }
    for (char &c : plain) {
        if (c == separator)
            c = '.';
    }
    const double shown = std::strtod(plain.c_str(), nullptr);
    const double v = value;
    // Half a unit of the last decimal shown, or of the 15th significant digit, whichever is coarser.
    const double tolerance = 0.5 * std::pow(10.0, -double(decimals)) + std::fabs(v) * 1e-14;
    require(std::fabs(shown - v) <= tolerance * (1 + 1e-9), "value text reads as the value");
}

struct Settings {
    LogColumns columns;
    std::int32_t modulo = 1;
    char separator = '.';
};

Settings settingsFrom(std::uint8_t a, std::uint8_t b)
{
    Settings s;
    LogColumns &c = s.columns;
    c.date = a & 0x01;
    c.time = a & 0x02;
    c.count = a & 0x04;
    c.countModulo = a & 0x08;
    c.position = {bool(a & 0x10), bool(a & 0x20), bool(a & 0x40)};
    c.velocity = {bool(a & 0x80), bool(b & 0x01), bool(b & 0x02)};
    c.outputs = b & 0x04;
    s.separator = (b & 0x08) ? ',' : '.';
    static constexpr std::int32_t kModulo[4] = {1, 0, 7, 99999999};
    s.modulo = kModulo[(b >> 4) & 3];
    return s;
}

class CheckingSink : public MeasurementLogSink {
public:
    CheckingSink(const InputReportHandler &handler) : handler_(handler) {}

    // What the next line must be made of.
    Settings settings;
    LocalDateTime now;
    const std::uint8_t *report = nullptr;
    std::uint32_t expectedCount = 0;
    int linesHandedOver = 0;

    // The recorder's part: the line made of the settings, the clock and the measurement handed over.
    void handOverMeasurement(const MeasurementState &state) override
    {
        LogLineInput in;
        in.columns = settings.columns;
        in.moduloValue = settings.modulo;
        in.decimalSeparator = settings.separator;
        in.takeMeasurement(state);
        BuildLogLine(line_, in, now);
        checkLine(line_.view());
    }

    void checkLine(std::string_view line)
    {
        ++linesHandedOver;
        require(handler_.measurement.MeasurementCount == expectedCount, "count advances after the line");
        require(line.size() >= 2 && line.substr(line.size() - 2) == "\r\n", "line ends in CR LF");
        const std::string_view body = line.substr(0, line.size() - 2);
        require(body.find_first_of("\r\n") == std::string_view::npos, "one line");
        const std::vector<std::string_view> fields = splitFields(body);
        const LogColumns &c = settings.columns;
        std::size_t f = 0;
        auto next = [&]() {
            require(f < fields.size(), "as many columns as ticked");
            return fields[f++];
        };
        char text[64];
        if (c.date) {
            std::snprintf(text, sizeof text, "%d-%d-%d", now.day, now.month, now.year);
            require(next() == text, "date column");
        }
        if (c.time) {
            std::snprintf(text, sizeof text, "%d:%d:%d:%d", now.hour, now.minute, now.second, now.millisecond);
            require(next() == text, "time column");
        }
        if (c.count) {
            std::snprintf(text, sizeof text, "%d", static_cast<int>(static_cast<std::int32_t>(expectedCount)));
            require(next() == text, "counter column: consecutive");
        }
        if (c.countModulo) {
            if (settings.modulo == 0)
                std::snprintf(text, sizeof text, "---");
            else
                std::snprintf(text, sizeof text, "%u", unsigned(expectedCount % std::uint32_t(settings.modulo)));
            require(next() == text, "counter modulo column");
        }
        for (int k = 0; k < 3; ++k) {
            if (c.position[k])
                checkValue(next(), floatAt(report, 13 + 9 * k), report[2], settings.separator);
        }
        for (int k = 0; k < 3; ++k) {
            if (c.velocity[k])
                checkValue(next(), floatAt(report, 17 + 9 * k), report[2], settings.separator);
        }
        if (c.outputs) {
            for (int bit : {0, 1, 2, 3, 6, 7})
                require(next() == ((report[1] >> bit) & 1 ? "HI" : "LO"), "output column");
        }
        require(f == fields.size(), "no column beyond the ticked ones");
    }

private:
    const InputReportHandler &handler_;
    LogLine line_;
};

bool sameMeasurement(const MeasurementState &a, const MeasurementState &b)
{
    bool same = a.IoStates == b.IoStates && a.DecimalPlaces == b.DecimalPlaces
        && a.DeviceClock.Year == b.DeviceClock.Year && a.DeviceClock.Month == b.DeviceClock.Month
        && a.DeviceClock.Day == b.DeviceClock.Day && a.DeviceClock.Hour == b.DeviceClock.Hour
        && a.DeviceClock.Minute == b.DeviceClock.Minute && a.DeviceClock.Second == b.DeviceClock.Second
        && a.MeasurementCount == b.MeasurementCount && a.NewSampleFlag == b.NewSampleFlag;
    for (int k = 0; k < 3; ++k) {
        same = same && a.Encoders[k].PerMinute == b.Encoders[k].PerMinute
            && std::memcmp(&a.Encoders[k].Position, &b.Encoders[k].Position, sizeof(float)) == 0
            && std::memcmp(&a.Encoders[k].Velocity, &b.Encoders[k].Velocity, sizeof(float)) == 0;
    }
    return same;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size < 4)
        return 0;
    InputReportHandler handler;
    CheckingSink sink(handler);
    std::uint32_t start;
    std::memcpy(&start, data, 4);
    handler.measurement.MeasurementCount = start;
    sink.expectedCount = start;

    std::array<std::uint8_t, kRxBufferSize> shadow{}; // what the receive buffer must hold
    std::uint32_t reports = 0;
    std::size_t at = 4;
    while (at + 4 <= size) {
        const Settings settings = settingsFrom(data[at], data[at + 1]);
        std::size_t length = (data[at + 2] | std::size_t(data[at + 3]) << 8) % 4097;
        at += 4;
        if (length > size - at)
            length = size - at;
        // An exact copy, so that reading even one byte past the report is caught.
        auto report = std::make_unique<std::uint8_t[]>(length);
        std::memcpy(report.get(), data + at, length);
        at += length;

        const MeasurementState before = handler.measurement;
        const int linesBefore = sink.linesHandedOver;
        sink.settings = settings;
        sink.report = report.get();
        sink.now = {1970 + int(reports % 200), 1 + int(reports % 12), 1 + int(reports % 31), int(reports % 24),
                    int(reports % 60),         int(reports % 61),     int(reports % 1000)};
        const ReportOutcome out = handler.handle({report.get(), length}, &sink);
        ++reports;

        require(handler.receivedCount == reports, "every report counted");
        const std::size_t stored = length < kRxBufferSize ? length : kRxBufferSize;
        require(handler.rxSize == stored, "stored size");
        std::memcpy(shadow.data(), report.get(), stored);
        require(std::memcmp(shadow.data(), handler.rxBuffer().data(), kRxBufferSize) == 0,
                "a report overwrites only its own bytes of the buffer");

        const bool isMeasurement = length >= kMeasurementReportSize && report[0] == 0;
        require(out.measurementHandled == isMeasurement, "measurement recognised");
        require(sink.linesHandedOver == linesBefore + (isMeasurement ? 1 : 0), "one line per measurement");
        if (isMeasurement) {
            ++sink.expectedCount;
            require(handler.measurement.MeasurementCount == sink.expectedCount, "count advanced by one");
            require(handler.measurement.NewSampleFlag == 255, "new sample flagged");
            handler.measurement.NewSampleFlag = 0; // as the chart does, so a stray flag would show
        } else {
            require(sameMeasurement(before, handler.measurement), "only measurements change the state");
        }

        if (out.configReply) {
            require(length >= 3 && report[0] == 1, "replies come from type-1 reports");
            require(static_cast<std::uint8_t>(out.configReply->param->id) == report[1], "reply id");
            require(out.configReply->channel == report[2], "reply channel");
            require(replyLength(report[1]) != 0 && replyLength(report[1]) <= stored, "reply body within the report");
        }
        if (out.acknowledgement) {
            require(length >= 3 && report[0] == 2, "acknowledgements come from type-2 reports");
            require(acknowledgementSuffix(*out.acknowledgement)
                        == std::to_string(report[1]) + "][" + std::to_string(report[2]) + "]",
                    "acknowledgement text");
        } else {
            require(!(length >= 3 && report[0] == 2), "every full acknowledgement shown");
        }
    }
    return 0;
}
