#pragma once

// What happens to one input report from the instrument: it is counted, stored over the start of the receive
// buffer, and dispatched by its type byte. A measurement is decoded into the measurement state and, for an owner
// that logs, its log line is built and handed over; a configuration reply is decoded into typed values; an
// acknowledgement into its two numbers. The owner supplies the line's settings and takes the results to its
// controls, its terminal and the log file.

#include "config/config_reply.h"
#include "instrument/report_link.h"
#include "measure/local_clock.h"
#include "measure/log_line.h"
#include "measure/measurement.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace torvex {

// The owner's part in handling a measurement report, asked in this order.
class MeasurementLogSink {
public:
    virtual ~MeasurementLogSink() = default;
    // The ticked columns, the modulo value and the decimal separator as they stand now; the measurement
    // fields of `in` are filled by the handler.
    virtual void logLineSettings(LogLineInput &in) = 0;
    // The computer's local time, read once for the line.
    virtual LocalDateTime logLineTime() = 0;
    // The line just built (CR LF included); the measurement counters advance after this returns.
    virtual void handOverLogLine(std::string_view line) = 0;
};

// What the owner still has to show for a report.
struct ReportOutcome {
    InputReportType type = InputReportType::Other;
    // A measurement report long enough to be one: the state was updated and its line handed over.
    bool measurementHandled = false;
    // A configuration reply with an id the window shows and a body long enough for it.
    std::optional<ConfigReply> configReply;
    // None when the report is too short to carry both numbers.
    std::optional<Acknowledgement> acknowledgement;
};

class InputReportHandler {
public:
    InputReportHandler();
    InputReportHandler(const InputReportHandler &) = delete;
    InputReportHandler &operator=(const InputReportHandler &) = delete;

    // Without a sink a measurement updates the state and its counters but builds no line.
    ReportOutcome handle(std::span<const std::uint8_t> data, MeasurementLogSink *sink = nullptr);

    // The latest report's data; never cleared, each report overwrites only as many bytes as it brings.
    RxBuffer &rxBuffer() { return *rx_; }
    // Bytes of the buffer the latest report filled (its data cut to the buffer).
    std::uint16_t rxSize = 0;
    // Reports of any type since the owner last reset it (the rate display does, every tick).
    std::uint32_t receivedCount = 0;
    // The latest measurement, with its count and the flag the chart clears.
    MeasurementState measurement;
    // The line built for the latest measurement report.
    const LogLine &logLine() const { return line_; }

private:
    // On the heap, alone: a decoder that reads past its end then reads outside any object, which the address
    // checker of the test and fuzz builds reports.
    std::unique_ptr<RxBuffer> rx_;
    LogLine line_;
    LogLineInput lineInput_;
};

} // namespace torvex
