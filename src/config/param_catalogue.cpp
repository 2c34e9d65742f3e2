#include "config/param_catalogue.h"

#include <algorithm>
#include <vector>

namespace torvex {
namespace {

using Names = std::array<std::string_view, kChannelCount>;

constexpr Names kEncoderReadButtons{"button_1", "button_2", "BitBtn14"};
constexpr std::uint8_t kEncoderBlockId = static_cast<std::uint8_t>(ParamId::EncoderBlock);

// One row per parameter, in id order, so that the id is also the index.
// clang-format off
constexpr std::array<ParamInfo, kParamCount> kCatalogue{{
    {.id = ParamId::EncMode, .name = "EncMode", .channelRule = ChannelRule::Encoder,
     .encoding = Encoding::ListIndex, .minValue = 0, .maxValue = 0, .listSize = 2, .writable = true,
     .readId = kEncoderBlockId, .replyOffset = 3,
     .controls = {"enc_mode_1", "enc_mode_2", "enc_mode_3"},
     .writeButtons = {"button_encmode1", "button_encmode2", "button_encmode3"},
     .readButtons = kEncoderReadButtons},
    {.id = ParamId::EncGateTime, .name = "EncGateTime", .channelRule = ChannelRule::Encoder,
     .encoding = Encoding::Int32, .minValue = 1, .maxValue = 65535, .listSize = 0, .writable = true,
     .readId = kEncoderBlockId, .replyOffset = 5,
     .controls = {"enc_time_1", "enc_time_2", "enc_time_3"},
     .writeButtons = {"button_time1", "button_time2", "button_time3"},
     .readButtons = kEncoderReadButtons},
    {.id = ParamId::EncResolution, .name = "EncResolution", .channelRule = ChannelRule::Encoder,
     .encoding = Encoding::Int32, .minValue = 1, .maxValue = 16383, .listSize = 0, .writable = true,
     .readId = kEncoderBlockId, .replyOffset = 9,
     .controls = {"enc_resolution_1", "enc_resolution_2", "enc_resolution_3"},
     .writeButtons = {"button_resolution1", "button_resolution2", "button_resolution3"},
     .readButtons = kEncoderReadButtons},
    {.id = ParamId::EncCoeff, .name = "EncCoeff", .channelRule = ChannelRule::Encoder,
     .encoding = Encoding::Float32, .minValue = 0, .maxValue = 0, .listSize = 0, .writable = true,
     .readId = kEncoderBlockId, .replyOffset = 13,
     .controls = {"enc_coeff_1", "enc_coeff_2", "enc_coeff_3"},
     .writeButtons = {"button_enccoeff1", "button_enccoeff2", "button_enccoeff3"},
     .readButtons = kEncoderReadButtons},
    {.id = ParamId::EncOffset, .name = "EncOffset", .channelRule = ChannelRule::Encoder,
     .encoding = Encoding::Float32, .minValue = 0, .maxValue = 0, .listSize = 0, .writable = true,
     .readId = kEncoderBlockId, .replyOffset = 17,
     .controls = {"enc_offset_1", "enc_offset_2", "enc_offset_3"},
     .writeButtons = {"button_encoffset1", "button_encoffset2", "button_encoffset3"},
     .readButtons = kEncoderReadButtons},
    {.id = ParamId::TransmissionMode, .name = "TransmissionMode", .channelRule = ChannelRule::None,
     .encoding = Encoding::ListIndex, .minValue = 0, .maxValue = 0, .listSize = 3, .writable = true,
     .readId = 5, .replyOffset = 3,
     .controls = {"trigger_mode"}, .writeButtons = {"BitBtn53"}, .readButtons = {"BitBtn54"}},
    {.id = ParamId::SendInterval, .name = "SendInterval", .channelRule = ChannelRule::None,
     .encoding = Encoding::Int32, .minValue = 1, .maxValue = 9999, .listSize = 0, .writable = true,
     .readId = 6, .replyOffset = 3,
     .controls = {"trigger_time"}, .writeButtons = {"BitBtn45"}, .readButtons = {"BitBtn46"}},
    {.id = ParamId::TriggerFilter, .name = "TriggerFilter", .channelRule = ChannelRule::None,
     .encoding = Encoding::Int32, .minValue = 0, .maxValue = 9999, .listSize = 0, .writable = true,
     .readId = 7, .replyOffset = 3,
     .controls = {"trigger_filter"}, .writeButtons = {"BitBtn55"}, .readButtons = {"BitBtn56"}},
    {.id = ParamId::OutputRules, .name = "OutputRules", .channelRule = ChannelRule::None,
     .encoding = Encoding::OutputRules, .minValue = 0, .maxValue = 0, .listSize = 0, .writable = true,
     .readId = 8, .replyOffset = 3,
     .controls = {}, .writeButtons = {"BitBtn43"}, .readButtons = {"BitBtn44"}},
    {.id = ParamId::EncoderBlock, .name = "EncoderBlock", .channelRule = ChannelRule::Encoder,
     .encoding = Encoding::EncoderBlock, .minValue = 0, .maxValue = 0, .listSize = 0, .writable = false,
     .readId = kEncoderBlockId, .replyOffset = 3,
     .controls = {}, .writeButtons = {}, .readButtons = kEncoderReadButtons},
    {.id = ParamId::EncClearPosition, .name = "EncClearPosition", .channelRule = ChannelRule::Encoder,
     .encoding = Encoding::Command, .minValue = 0, .maxValue = 0, .listSize = 0, .writable = true,
     .readId = std::nullopt, .replyOffset = 0,
     .controls = {}, .writeButtons = {"button_encclear1", "button_encclear2", "button_encclear3"},
     .readButtons = {}},
    {.id = ParamId::ModbusAddress, .name = "ModbusAddress", .channelRule = ChannelRule::None,
     .encoding = Encoding::Address, .minValue = 0, .maxValue = 0, .listSize = 247, .writable = true,
     .readId = 11, .replyOffset = 3,
     .controls = {"mod_adr"}, .writeButtons = {"BitBtn7"}, .readButtons = {"BitBtn15"}},
    {.id = ParamId::ModbusBaud, .name = "ModbusBaud", .channelRule = ChannelRule::None,
     .encoding = Encoding::ListIndex, .minValue = 0, .maxValue = 0, .listSize = 5, .writable = true,
     .readId = 12, .replyOffset = 3,
     .controls = {"mod_br"}, .writeButtons = {"BitBtn16"}, .readButtons = {"BitBtn17"}},
    {.id = ParamId::TriggerMasterMode, .name = "TriggerMasterMode", .channelRule = ChannelRule::None,
     .encoding = Encoding::ListIndex, .minValue = 0, .maxValue = 0, .listSize = 2, .writable = true,
     .readId = 13, .replyOffset = 3,
     .controls = {"trig_master_mode"}, .writeButtons = {"BitBtn9"}, .readButtons = {"BitBtn10"}},
    {.id = ParamId::TriggerRegisterType, .name = "TriggerRegisterType", .channelRule = ChannelRule::RegisterSlot,
     .encoding = Encoding::ListIndex, .minValue = 0, .maxValue = 0, .listSize = 6, .writable = true,
     .readId = 14, .replyOffset = 3,
     .controls = {"trig_master_type_1", "trig_master_type_2", "trig_master_type_3"},
     .writeButtons = {"button_trigmastetype_1", "button_trigmastetype_2", "button_trigmastetype_3"},
     .readButtons = {"BitBtn12", "BitBtn3", "BitBtn8"}},
    {.id = ParamId::ModbusStats, .name = "ModbusStats", .channelRule = ChannelRule::None,
     .encoding = Encoding::Counters, .minValue = 0, .maxValue = 0, .listSize = 0, .writable = false,
     .readId = 15, .replyOffset = 3,
     .controls = {kStatsMemoName}, .writeButtons = {}, .readButtons = {}},
    {.id = ParamId::EncClearByIndex, .name = "EncClearByIndex", .channelRule = ChannelRule::Encoder,
     .encoding = Encoding::ListIndex, .minValue = 0, .maxValue = 0, .listSize = 2, .writable = true,
     .readId = kEncoderBlockId, .replyOffset = 4,
     .controls = {"enc_clear_1", "enc_clear_2", "enc_clear_3"},
     .writeButtons = {"button_encclearC1", "button_encclearC2", "button_encclearC3"},
     .readButtons = kEncoderReadButtons},
    {.id = ParamId::DotPosition, .name = "DotPosition", .channelRule = ChannelRule::None,
     .encoding = Encoding::ListIndex, .minValue = 0, .maxValue = 0, .listSize = 6, .writable = true,
     .readId = 17, .replyOffset = 3,
     .controls = {"Dot"}, .writeButtons = {"BitBtn18"}, .readButtons = {"BitBtn19"}},
    {.id = ParamId::RedDisplay, .name = "RedDisplay", .channelRule = ChannelRule::None,
     .encoding = Encoding::ListIndex, .minValue = 0, .maxValue = 0, .listSize = 2, .writable = true,
     .readId = 18, .replyOffset = 3,
     .controls = {"Led"}, .writeButtons = {"BitBtn22"}, .readButtons = {"BitBtn23"}},
    {.id = ParamId::GreenDisplay, .name = "GreenDisplay", .channelRule = ChannelRule::None,
     .encoding = Encoding::ListIndex, .minValue = 0, .maxValue = 0, .listSize = 11, .writable = true,
     .readId = 19, .replyOffset = 3,
     .controls = {"Led4"}, .writeButtons = {"BitBtn20"}, .readButtons = {"BitBtn21"}},
    {.id = ParamId::Beeper, .name = "Beeper", .channelRule = ChannelRule::None,
     .encoding = Encoding::ListIndex, .minValue = 0, .maxValue = 0, .listSize = 2, .writable = true,
     .readId = 20, .replyOffset = 3,
     .controls = {"Beep"}, .writeButtons = {"BitBtn24"}, .readButtons = {"BitBtn25"}},
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

constexpr std::array<OutputControls, kOutputCount> kOutputControls{{
    {"out1_W", "out1_B", "out1_N", "out1_S"},
    {"out2_W", "out2_B", "out2_N", "out2_S"},
    {"out3_W", "out3_B", "out3_N", "out3_S"},
    {"out4_W", "out4_B", "out4_N", "out4_S"},
}};

constexpr std::array<NumericField, 18> kNumericFields{{
    {"enc_time_1", true},
    {"enc_time_2", false},
    {"enc_time_3", false},
    {"enc_resolution_1", false},
    {"enc_resolution_2", false},
    {"enc_resolution_3", false},
    {"enc_coeff_1", false},
    {"enc_coeff_2", false},
    {"enc_coeff_3", false},
    {"enc_offset_1", false},
    {"enc_offset_2", false},
    {"enc_offset_3", false},
    {"out1_N", true},
    {"out2_N", true},
    {"out3_N", true},
    {"out4_N", true},
    {"trigger_time", true},
    {"trigger_filter", true},
}};

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

std::optional<std::uint8_t> channelFromName(std::string_view name)
{
    if (name.empty())
        return std::nullopt;
    const char last = name.back();
    if (last < '1' || last > '0' + kChannelCount)
        return std::nullopt;
    return static_cast<std::uint8_t>(last - '1');
}

std::optional<int> outputFromName(std::string_view name)
{
    if (name.size() < 4)
        return std::nullopt;
    const char c = name[3];
    if (c < '1' || c > '0' + kOutputCount)
        return std::nullopt;
    return c - '1';
}

std::span<const ReadButton> readButtonList()
{
    static const std::vector<ReadButton> list = [] {
        std::vector<ReadButton> buttons;
        for (const ParamInfo &p : kCatalogue) {
            for (int ch = 0; p.readId && ch < p.channelCount(); ++ch) {
                const std::string_view name = p.readButtons[size_t(ch)];
                if (!name.empty() && std::ranges::none_of(buttons, [&](const ReadButton &b) { return b.name == name; }))
                    buttons.push_back({name, {*p.readId, static_cast<std::uint8_t>(ch)}});
            }
        }
        return buttons;
    }();
    return list;
}

std::optional<ReadRequest> findReadButton(std::string_view buttonName)
{
    if (buttonName == kStatsMemoName)
        return ReadRequest{static_cast<std::uint8_t>(ParamId::ModbusStats), 0};
    for (const ReadButton &button : readButtonList()) {
        if (button.name == buttonName)
            return button.request;
    }
    return std::nullopt;
}

const OutputControls &outputControls(int output) { return kOutputControls.at(static_cast<std::size_t>(output)); }

std::span<const NumericField> numericFields() { return kNumericFields; }

} // namespace torvex
