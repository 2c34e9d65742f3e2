#include "config/param_catalogue.h"

namespace torvex {
namespace {

// The window's English items, word for word (its spelling included), so that both name an index alike.
constexpr std::string_view kEncModeItems[] = {"per second", "per minute"};
constexpr std::string_view kNoYesItems[] = {"No", "Yes"};
constexpr std::string_view kTransmissionModeItems[] = {"Continous transmission", "Transmission, when TRIG 1 is active",
                                                       "Single transmission to the rising egge"};
constexpr std::string_view kTriggerMasterModeItems[] = {"Trigger + write to MODBUS register",
                                                        "Cyclical writing to MODBUS register"};
constexpr std::string_view kMeasurementItems[] = {"ENKODER [1] (position)", "ENKODER [2] (position)",
                                                  "ENKODER [3] (position)", "ENKODER [1] (velocity)",
                                                  "ENKODER [2] (velocity)", "ENKODER [3] (velocity)"};
constexpr std::string_view kGreenDisplayItems[] = {"Time",
                                                   "Date",
                                                   "Encoder 1 (position) - Encoder 2 (position)",
                                                   "Encoder 1 (position) - Encoder 3 (position)",
                                                   "Encoder 2 (position) - Encoder 1 (position)",
                                                   "Encoder 2 (position) - Encoder 3 (position)",
                                                   "Encoder 3 (position) - Encoder 1 (position)",
                                                   "Encoder 3 (position) - Encoder 2 (position)",
                                                   "Encoder 1 (position) + Encoder 2 (position)",
                                                   "Encoder 1 (position) + Encoder 3 (position)",
                                                   "Encoder 2 (position) + Encoder 3 (position)"};
constexpr std::string_view kRedDisplayItems[] = {"Position", "Velocity"};
constexpr std::string_view kBaudItems[] = {"19200", "38400", "56000", "57600", "115200"};
// The output sources: two fixed states, then the six measurements of the register lists.
constexpr std::string_view kOutputSourceItems[] = {
    "Output inactive",        "Output alwayse active",  "ENKODER [1] (position)", "ENKODER [2] (position)",
    "ENKODER [3] (position)", "ENKODER [1] (velocity)", "ENKODER [2] (velocity)", "ENKODER [3] (velocity)"};
constexpr std::string_view kOutputConditionItems[] = {"smaller", "larger"};
constexpr std::string_view kOutputStateItems[] = {"Inactive", "Active"};
constexpr std::uint8_t kEncoderBlockId = static_cast<std::uint8_t>(ParamId::EncoderBlock);

// One row per parameter, in id order, so that the id is also the index.
// clang-format off
constexpr std::array<ParamInfo, kParamCount> kCatalogue{{
    {.id = ParamId::EncMode, .name = "EncMode", .channelRule = ChannelRule::Encoder,
     .encoding = Encoding::ListIndex, .minValue = 0, .maxValue = 0, .listSize = 2, .writable = true,
     .readId = kEncoderBlockId, .replyOffset = 3,
     .items = kEncModeItems},
    {.id = ParamId::EncGateTime, .name = "EncGateTime", .channelRule = ChannelRule::Encoder,
     .encoding = Encoding::Int32, .minValue = 1, .maxValue = 65535, .listSize = 0, .writable = true,
     .readId = kEncoderBlockId, .replyOffset = 5,
     .unit = "ms"},
    {.id = ParamId::EncResolution, .name = "EncResolution", .channelRule = ChannelRule::Encoder,
     .encoding = Encoding::Int32, .minValue = 1, .maxValue = 16383, .listSize = 0, .writable = true,
     .readId = kEncoderBlockId, .replyOffset = 9,
     .unit = "pulses"},
    {.id = ParamId::EncCoeff, .name = "EncCoeff", .channelRule = ChannelRule::Encoder,
     .encoding = Encoding::Float32, .minValue = 0, .maxValue = 0, .listSize = 0, .writable = true,
     .readId = kEncoderBlockId, .replyOffset = 13},
    {.id = ParamId::EncOffset, .name = "EncOffset", .channelRule = ChannelRule::Encoder,
     .encoding = Encoding::Float32, .minValue = 0, .maxValue = 0, .listSize = 0, .writable = true,
     .readId = kEncoderBlockId, .replyOffset = 17},
    {.id = ParamId::TransmissionMode, .name = "TransmissionMode", .channelRule = ChannelRule::None,
     .encoding = Encoding::ListIndex, .minValue = 0, .maxValue = 0, .listSize = 3, .writable = true,
     .readId = 5, .replyOffset = 3,
     .items = kTransmissionModeItems},
    {.id = ParamId::SendInterval, .name = "SendInterval", .channelRule = ChannelRule::None,
     .encoding = Encoding::Int32, .minValue = 1, .maxValue = 9999, .listSize = 0, .writable = true,
     .readId = 6, .replyOffset = 3,
     .unit = "ms"},
    {.id = ParamId::TriggerFilter, .name = "TriggerFilter", .channelRule = ChannelRule::None,
     .encoding = Encoding::Int32, .minValue = 0, .maxValue = 9999, .listSize = 0, .writable = true,
     .readId = 7, .replyOffset = 3,
     .unit = "ms"},
    {.id = ParamId::OutputRules, .name = "OutputRules", .channelRule = ChannelRule::None,
     .encoding = Encoding::OutputRules, .minValue = 0, .maxValue = 0, .listSize = 0, .writable = true,
     .readId = 8, .replyOffset = 3},
    {.id = ParamId::EncoderBlock, .name = "EncoderBlock", .channelRule = ChannelRule::Encoder,
     .encoding = Encoding::EncoderBlock, .minValue = 0, .maxValue = 0, .listSize = 0, .writable = false,
     .readId = kEncoderBlockId, .replyOffset = 3},
    {.id = ParamId::EncClearPosition, .name = "EncClearPosition", .channelRule = ChannelRule::Encoder,
     .encoding = Encoding::Command, .minValue = 0, .maxValue = 0, .listSize = 0, .writable = true,
     .readId = std::nullopt, .replyOffset = 0},
    {.id = ParamId::ModbusAddress, .name = "ModbusAddress", .channelRule = ChannelRule::None,
     .encoding = Encoding::Address, .minValue = 0, .maxValue = 0, .listSize = kModbusAddressCount, .writable = true,
     .readId = 11, .replyOffset = 3},
    {.id = ParamId::ModbusBaud, .name = "ModbusBaud", .channelRule = ChannelRule::None,
     .encoding = Encoding::ListIndex, .minValue = 0, .maxValue = 0, .listSize = 5, .writable = true,
     .readId = 12, .replyOffset = 3,
     .items = kBaudItems},
    {.id = ParamId::TriggerMasterMode, .name = "TriggerMasterMode", .channelRule = ChannelRule::None,
     .encoding = Encoding::ListIndex, .minValue = 0, .maxValue = 0, .listSize = 2, .writable = true,
     .readId = 13, .replyOffset = 3,
     .items = kTriggerMasterModeItems},
    {.id = ParamId::TriggerRegisterType, .name = "TriggerRegisterType", .channelRule = ChannelRule::RegisterSlot,
     .encoding = Encoding::ListIndex, .minValue = 0, .maxValue = 0, .listSize = 6, .writable = true,
     .readId = 14, .replyOffset = 3,
     .items = kMeasurementItems},
    {.id = ParamId::ModbusStats, .name = "ModbusStats", .channelRule = ChannelRule::None,
     .encoding = Encoding::Counters, .minValue = 0, .maxValue = 0, .listSize = 0, .writable = false,
     .readId = 15, .replyOffset = 3},
    {.id = ParamId::EncClearByIndex, .name = "EncClearByIndex", .channelRule = ChannelRule::Encoder,
     .encoding = Encoding::ListIndex, .minValue = 0, .maxValue = 0, .listSize = 2, .writable = true,
     .readId = kEncoderBlockId, .replyOffset = 4,
     .items = kNoYesItems},
    {.id = ParamId::DotPosition, .name = "DotPosition", .channelRule = ChannelRule::None,
     .encoding = Encoding::ListIndex, .minValue = 0, .maxValue = 0, .listSize = 6, .writable = true,
     .readId = 17, .replyOffset = 3},
    {.id = ParamId::RedDisplay, .name = "RedDisplay", .channelRule = ChannelRule::None,
     .encoding = Encoding::ListIndex, .minValue = 0, .maxValue = 0, .listSize = 2, .writable = true,
     .readId = 18, .replyOffset = 3,
     .items = kRedDisplayItems},
    {.id = ParamId::GreenDisplay, .name = "GreenDisplay", .channelRule = ChannelRule::None,
     .encoding = Encoding::ListIndex, .minValue = 0, .maxValue = 0, .listSize = 11, .writable = true,
     .readId = 19, .replyOffset = 3,
     .items = kGreenDisplayItems},
    {.id = ParamId::Beeper, .name = "Beeper", .channelRule = ChannelRule::None,
     .encoding = Encoding::ListIndex, .minValue = 0, .maxValue = 0, .listSize = 2, .writable = true,
     .readId = 20, .replyOffset = 3,
     .items = kNoYesItems},
}};
// clang-format on

constexpr bool idsMatchIndexes()
{
    for (std::size_t i = 0; i < kCatalogue.size(); ++i)
        if (static_cast<std::size_t>(kCatalogue[i].id) != i)
            return false;
    return true;
}
static_assert(idsMatchIndexes(), "catalogue rows must stay in id order");

constexpr bool itemsMatchLists()
{
    for (const ParamInfo &p : kCatalogue)
        if (!p.items.empty() && static_cast<int>(p.items.size()) != p.listSize)
            return false;
    return true;
}
static_assert(itemsMatchLists(), "a list's items must be as many as the list has");

} // namespace

std::span<const ParamInfo> paramCatalogue() { return kCatalogue; }

const ParamInfo *findParam(std::uint8_t id) { return id < kCatalogue.size() ? &kCatalogue[id] : nullptr; }

const ParamInfo &param(ParamId id) { return kCatalogue[static_cast<std::size_t>(id)]; }

int listIndexFromWire(const ParamInfo &p, std::uint8_t wire)
{
    const int index = p.encoding == Encoding::Address ? int{wire} - 1 : int{wire};
    return index >= 0 && index < p.listSize ? index : -1;
}

int wireFromListIndex(const ParamInfo &p, int index) { return p.encoding == Encoding::Address ? index + 1 : index; }

std::span<const std::string_view> outputSourceItems() { return kOutputSourceItems; }
std::span<const std::string_view> outputConditionItems() { return kOutputConditionItems; }
std::span<const std::string_view> outputStateItems() { return kOutputStateItems; }

} // namespace torvex
