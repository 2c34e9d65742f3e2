#pragma once

#include "protocol/instrument.h"

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

namespace torvex {

// The instrument addresses every parameter by (id, channel); the id numbering is the instrument's.
enum class ParamId : std::uint8_t {
    EncMode = 0,
    EncGateTime = 1,
    EncResolution = 2,
    EncCoeff = 3,
    EncOffset = 4,
    TransmissionMode = 5,
    SendInterval = 6,
    TriggerFilter = 7,
    OutputRules = 8,
    EncoderBlock = 9,
    EncClearPosition = 10,
    ModbusAddress = 11,
    ModbusBaud = 12,
    TriggerMasterMode = 13,
    TriggerRegisterType = 14,
    ModbusStats = 15,
    EncClearByIndex = 16,
    DotPosition = 17,
    RedDisplay = 18,
    GreenDisplay = 19,
    Beeper = 20,
};

inline constexpr int kParamCount = 21;
// Encoders, or MODBUS register slots (as many).
inline constexpr int kChannelCount = kEncoderCount;

enum class ChannelRule : std::uint8_t {
    None,         // always channel 0
    Encoder,      // encoder number - 1
    RegisterSlot, // register slot number - 1
};

// How the value travels in a write payload and in a configuration reply.
enum class Encoding : std::uint8_t {
    ListIndex,    // byte: index of the selected list item
    Address,      // byte: list index + 1 (the MODBUS address itself)
    Int32,        // little-endian signed
    Float32,      // little-endian IEEE single
    Command,      // no value
    OutputRules,  // four 7-byte output records
    EncoderBlock, // read-only group of one encoder's parameters
    Counters,     // read-only, nine big-endian 32-bit counters
};

struct ParamInfo {
    ParamId id;
    std::string_view name;
    ChannelRule channelRule;
    Encoding encoding;
    // Limits enforced before an integer write; for lists the number of items.
    std::int32_t minValue;
    std::int32_t maxValue;
    int listSize;
    bool writable;
    // Request id whose reply refreshes this parameter, and where its value sits in that reply's data.
    std::optional<std::uint8_t> readId;
    std::uint8_t replyOffset;
    // What the value counts, in English ("ms"); empty for plain numbers.
    std::string_view unit{};
    // The list's items as the window shows them in English (without their trailing blanks), the language of the
    // program's texts outside the window; empty for lists of plain numbers (the MODBUS address, the decimal point).
    std::span<const std::string_view> items{};

    bool hasChannels() const { return channelRule != ChannelRule::None; }
    bool isList() const { return encoding == Encoding::ListIndex || encoding == Encoding::Address; }
    int channelCount() const { return hasChannels() ? kChannelCount : 1; }
};

// The MODBUS address list: addresses 1..247, travelling as themselves.
inline constexpr int kModbusAddressCount = 247;

// Real values (coefficient, offset, thresholds) are limited as float32: beyond +-10000 they become +-9999.999.
inline constexpr float kRealLimit = 10000.0f;
inline constexpr float kRealReplacement = 9999.999f;

std::span<const ParamInfo> paramCatalogue();
const ParamInfo *findParam(std::uint8_t id);
const ParamInfo &param(ParamId id);

// A list parameter travels as a byte: the item's index, and for the MODBUS address the index plus 1 (the address
// itself). -1 when the list has no item for the byte (for the address list, byte 0).
int listIndexFromWire(const ParamInfo &param, std::uint8_t wire);
int wireFromListIndex(const ParamInfo &param, int index);

struct ReadRequest {
    std::uint8_t id;
    std::uint8_t channel;
    friend bool operator==(const ReadRequest &, const ReadRequest &) = default;
};

// For the output rules, the field of an output's record; every other parameter has one value per channel.
enum class ConfigField { Value, Source, Condition, State, Threshold };

inline constexpr int kOutputSourceListSize = 8;
inline constexpr int kOutputConditionListSize = 2;
inline constexpr int kOutputStateListSize = 2;
// The items of an output rule's lists, in English as for ParamInfo::items.
std::span<const std::string_view> outputSourceItems();
std::span<const std::string_view> outputConditionItems();
std::span<const std::string_view> outputStateItems();
// Sources 0 ("inactive") and 1 ("always active") compare nothing; 2..7 compare a measurement.
inline constexpr bool outputSourceCompares(int sourceIndex) { return sourceIndex >= 2; }

} // namespace torvex
