#include "instrument/report_dispatch.h"

#if defined(__SANITIZE_ADDRESS__)
#define TORVEX_ADDRESS_CHECKS 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define TORVEX_ADDRESS_CHECKS 1
#endif
#endif

#ifdef TORVEX_ADDRESS_CHECKS
#include <sanitizer/asan_interface.h>
#endif

namespace torvex {

namespace {

// While a report is decoded, the bytes that earlier reports left behind it are not part of it: under the
// address checker, reading them fails at once instead of decoding stale data.
class OnlyTheReport {
public:
    OnlyTheReport(RxBuffer &rx, std::size_t size) : rest_(rx.data() + size), restSize_(rx.size() - size)
    {
#ifdef TORVEX_ADDRESS_CHECKS
        ASAN_POISON_MEMORY_REGION(rest_, restSize_);
#endif
    }
    ~OnlyTheReport()
    {
#ifdef TORVEX_ADDRESS_CHECKS
        ASAN_UNPOISON_MEMORY_REGION(rest_, restSize_);
#endif
    }
    OnlyTheReport(const OnlyTheReport &) = delete;
    OnlyTheReport &operator=(const OnlyTheReport &) = delete;

private:
    [[maybe_unused]] std::uint8_t *rest_;
    [[maybe_unused]] std::size_t restSize_;
};

} // namespace

InputReportHandler::InputReportHandler() : rx_(std::make_unique<RxBuffer>()) {}

ReportOutcome InputReportHandler::handle(std::span<const std::uint8_t> data, MeasurementLogSink *sink)
{
    ReportOutcome out;
    ++receivedCount;
    RxBuffer &rx = *rx_;
    rxSize = static_cast<std::uint16_t>(storeInputReport(rx, data));
    const std::span<const std::uint8_t> report(rx.data(), rxSize);

    bool measured = false;
    {
        const OnlyTheReport guard(rx, rxSize);
        out.type = classifyInputReport(report);
        switch (out.type) {
        case InputReportType::Measurement:
            // Too short to be a measurement: counted and stored only, so stale bytes never pass for one.
            measured = DecodeMeasurementReport(report.data(), report.size(), measurement);
            break;
        case InputReportType::ConfigReply:
            out.configReply = decodeConfigReply(report);
            break;
        case InputReportType::ParameterAck:
            out.acknowledgement = decodeAcknowledgement(report);
            break;
        case InputReportType::Other:
            break;
        }
    }
    if (!measured)
        return out;

    if (sink != nullptr)
        sink->handOverMeasurement(measurement);
    markMeasurementHandled(measurement);
    out.measurementHandled = true;
    return out;
}

} // namespace torvex
