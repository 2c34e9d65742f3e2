#pragma once

// What happens to one input report from the instrument: it is counted, stored over the start of the receive
// buffer, and dispatched by its type byte. A measurement is decoded into the measurement state and, for an owner
// that records, handed over before its counter advances; a configuration reply is decoded into typed values; an
// acknowledgement into its two numbers. The owner takes the results to its controls, its terminal and the
// recorder.

#include "config/config_reply.h"
#include "protocol/report_link.h"
#include "measure/measurement.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace torvex {

// Where each measurement goes to be recorded (the recorder).
class MeasurementLogSink {
public:
    virtual ~MeasurementLogSink() = default;
    // The measurement just decoded, its MeasurementCount still that of the reports before it; the counters
    // advance after this returns.
    virtual void handOverMeasurement(const MeasurementState &state) = 0;
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

    // Without a sink a measurement updates the state and its counters and goes no further.
    ReportOutcome handle(std::span<const std::uint8_t> data, MeasurementLogSink *sink = nullptr);

    // The latest report's data; never cleared, each report overwrites only as many bytes as it brings.
    RxBuffer &rxBuffer() { return *rx_; }
    // Bytes of the buffer the latest report filled (its data cut to the buffer).
    std::uint16_t rxSize = 0;
    // Reports of any type since the owner last reset it (the rate display does, every tick).
    std::uint32_t receivedCount = 0;
    // The latest measurement, with its count and the flag the chart clears.
    MeasurementState measurement;

private:
    // On the heap, alone: a decoder that reads past its end then reads outside any object, which the address
    // checker of the test and fuzz builds reports.
    std::unique_ptr<RxBuffer> rx_;
};

} // namespace torvex
