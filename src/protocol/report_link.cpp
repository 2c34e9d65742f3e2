#include "protocol/report_link.h"

#include <algorithm>

namespace torvex {

std::span<const std::uint8_t> frameOutputReport(OutputWorkingBuffer &buffer, std::uint8_t command,
                                                std::span<const std::uint8_t> payload, std::size_t outputReportLength)
{
    buffer.fill(0);
    const std::size_t framed = 2 + payload.size();
    // A report cut short would deliver a different command (a truncated value); rather send nothing.
    if (outputReportLength == 0 || outputReportLength > buffer.size() || framed > outputReportLength)
        return {};
    buffer[0] = kOutputReportId;
    buffer[1] = command;
    std::copy(payload.begin(), payload.end(), buffer.begin() + 2);
    return std::span<const std::uint8_t>(buffer.data(), outputReportLength);
}

InputReportType classifyInputReport(std::span<const std::uint8_t> data)
{
    if (data.empty())
        return InputReportType::Other;
    switch (data[0]) {
    case 0:
        return InputReportType::Measurement;
    case 1:
        return InputReportType::ConfigReply;
    case 2:
        return InputReportType::ParameterAck;
    default:
        return InputReportType::Other;
    }
}

std::size_t storeInputReport(RxBuffer &rx, std::span<const std::uint8_t> data)
{
    const std::size_t n = std::min(data.size(), rx.size());
    std::copy_n(data.begin(), n, rx.begin());
    return n;
}

std::optional<Acknowledgement> decodeAcknowledgement(std::span<const std::uint8_t> data)
{
    if (classifyInputReport(data) != InputReportType::ParameterAck || data.size() < 3)
        return std::nullopt;
    return Acknowledgement{data[1], data[2]};
}

std::string acknowledgementSuffix(const Acknowledgement &ack)
{
    return std::to_string(ack.first) + "][" + std::to_string(ack.second) + "]";
}

} // namespace torvex
