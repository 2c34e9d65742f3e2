#pragma once

// The instrument's report layouts: framing of the output reports sent to it (report id, command byte, payload),
// the type byte of the input reports it sends, and the acknowledgement's layout. Pure functions over byte
// buffers; the owner keeps the buffers and the device.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace torvex {

inline constexpr std::size_t kOutputWorkingBufferSize = 256;
inline constexpr std::size_t kRxBufferSize = 128;
inline constexpr std::uint8_t kOutputReportId = 1;

enum class Command : std::uint8_t { ReadRequest = 1, ParameterWrite = 2 };

using OutputWorkingBuffer = std::array<std::uint8_t, kOutputWorkingBufferSize>;
using RxBuffer = std::array<std::uint8_t, kRxBufferSize>;

// Zero-fills the buffer, then writes report id 1, the command and the payload. Returns the bytes to write:
// the first outputReportLength bytes. Returns an empty span, and nothing must be written, when the device
// reports no output length, a length beyond the buffer, or one too short to carry the whole command.
std::span<const std::uint8_t> frameOutputReport(OutputWorkingBuffer &buffer, std::uint8_t command,
                                                std::span<const std::uint8_t> payload, std::size_t outputReportLength);

enum class InputReportType { Measurement, ConfigReply, ParameterAck, Other };

// By the type byte, the first data byte (the one after the report id). Empty data carries no type.
InputReportType classifyInputReport(std::span<const std::uint8_t> data);

// Copies the report's data over the start of the buffer; bytes past it keep what earlier reports left there.
// Data longer than the buffer is cut to the buffer's size. Returns the number of bytes copied.
std::size_t storeInputReport(RxBuffer &rx, std::span<const std::uint8_t> data);

// The payload of a read request: the item asked for and its channel.
inline std::array<std::uint8_t, 2> readRequestPayload(std::uint8_t item, std::uint8_t channel)
{
    return {item, channel};
}

// A parameter-update acknowledgement carries two numbers after its type byte: the parameter id and the channel
// the instrument took.
struct Acknowledgement {
    std::uint8_t first = 0;
    std::uint8_t second = 0;
    friend bool operator==(const Acknowledgement &, const Acknowledgement &) = default;
};
// nullopt for another type of report, or one too short to carry both numbers.
std::optional<Acknowledgement> decodeAcknowledgement(std::span<const std::uint8_t> data);
// The text that follows the acknowledgement's caption: "b1][b2]".
std::string acknowledgementSuffix(const Acknowledgement &ack);

} // namespace torvex
