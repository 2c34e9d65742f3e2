#include "config_bindings.h"

#include "tfmain.h"

#include <algorithm>
#include <vector>

using torvex::ConfigField;
using torvex::ParamId;

namespace {

// One encoder row of the encoder page: the same parameter, control and button in each column.
struct EncoderRow {
    ParamId id;
    std::array<const char *, 3> controls;
    std::array<const char *, 3> buttons;
    ConfigBinding::SharedHandler shared;
    std::array<ConfigBinding::Handler, 3> own;
    const char *caption;
};

// The output page: a record's fields by column, named by their column and the output's row (T1..T4).
struct OutputColumn {
    ConfigField field;
    std::array<const char *, torvex::kOutputCount> controls;
    const char *caption;
};
constexpr std::array<const char *, torvex::kOutputCount> kOutputRows{"Label68", "Label69", "Label70", "Label71"};

std::vector<ConfigBinding> buildBindings()
{
    const EncoderRow encoderRows[] = {
        {ParamId::EncMode,
         {"enc_mode_1", "enc_mode_2", "enc_mode_3"},
         {"button_encmode1", "button_encmode2", "button_encmode3"},
         &TFMain::button_encmode1Click,
         {},
         "Label27"},
        {ParamId::EncGateTime,
         {"enc_time_1", "enc_time_2", "enc_time_3"},
         {"button_time1", "button_time2", "button_time3"},
         &TFMain::button_time1Click,
         {},
         "Label28"},
        {ParamId::EncResolution,
         {"enc_resolution_1", "enc_resolution_2", "enc_resolution_3"},
         {"button_resolution1", "button_resolution2", "button_resolution3"},
         &TFMain::button_resolution1Click,
         {},
         "Label29"},
        {ParamId::EncCoeff,
         {"enc_coeff_1", "enc_coeff_2", "enc_coeff_3"},
         {"button_enccoeff1", "button_enccoeff2", "button_enccoeff3"},
         &TFMain::button_enccoeff1Click,
         {},
         "Label30"},
        {ParamId::EncOffset,
         {"enc_offset_1", "enc_offset_2", "enc_offset_3"},
         {"button_encoffset1", "button_encoffset2", "button_encoffset3"},
         nullptr,
         {&TFMain::button_encoffset1Click, &TFMain::button_encoffset2Click, &TFMain::button_encoffset3Click},
         "Label31"},
        {ParamId::EncClearByIndex,
         {"enc_clear_1", "enc_clear_2", "enc_clear_3"},
         {"button_encclearC1", "button_encclearC2", "button_encclearC3"},
         &TFMain::button_encclearC3Click,
         {},
         "Label14"},
    };
    constexpr std::array<const char *, 3> encoderReads{"button_1", "button_2", "BitBtn14"};
    constexpr std::array<ConfigBinding::Handler, 3> encoderReadHandlers{&TFMain::button_1Click, &TFMain::button_2Click,
                                                                        &TFMain::BitBtn14Click};
    constexpr std::array<const char *, 3> clearButtons{"button_encclear1", "button_encclear2", "button_encclear3"};
    constexpr OutputColumn outputColumns[] = {
        {ConfigField::Source, {"out1_W", "out2_W", "out3_W", "out4_W"}, "Label58"},
        {ConfigField::Condition, {"out1_B", "out2_B", "out3_B", "out4_B"}, "Label45"},
        {ConfigField::Threshold, {"out1_N", "out2_N", "out3_N", "out4_N"}, "Label46"},
        {ConfigField::State, {"out1_S", "out2_S", "out3_S", "out4_S"}, "Label57"},
    };
    constexpr std::array<const char *, 3> typeLists{"trig_master_type_1", "trig_master_type_2", "trig_master_type_3"};
    constexpr std::array<const char *, 3> typeWrites{"button_trigmastetype_1", "button_trigmastetype_2",
                                                     "button_trigmastetype_3"};
    constexpr std::array<const char *, 3> typeReads{"BitBtn12", "BitBtn3", "BitBtn8"};
    constexpr std::array<ConfigBinding::Handler, 3> typeReadHandlers{&TFMain::BitBtn12Click, &TFMain::BitBtn3Click,
                                                                     &TFMain::BitBtn8Click};
    constexpr std::array<const char *, 3> typeCaptions{"Label77", "Label78", "Label13"};

    std::vector<ConfigBinding> rows;
    for (std::uint8_t c = 0; c < torvex::kEncoderCount; ++c) {
        const char *column = kEncoderColumnCaptions[c];
        for (const EncoderRow &r : encoderRows) {
            rows.push_back({.id = r.id,
                            .channel = c,
                            .control = r.controls[c],
                            .writeButton = r.buttons[c],
                            .write = r.own[c],
                            .sharedWrite = r.shared,
                            .caption = r.caption,
                            .detail = column,
                            .resetsOnTextChange = r.id == ParamId::EncGateTime && c == 0});
        }
        rows.push_back({.id = ParamId::EncoderBlock,
                        .channel = c,
                        .readButton = encoderReads[c],
                        .read = encoderReadHandlers[c],
                        .caption = column});
        rows.push_back({.id = ParamId::EncClearPosition,
                        .channel = c,
                        .writeButton = clearButtons[c],
                        .sharedWrite = &TFMain::button_encclear1Click,
                        .caption = column});
    }
    rows.push_back({.id = ParamId::OutputRules,
                    .writeButton = "BitBtn43",
                    .write = &TFMain::BitBtn43Click,
                    .readButton = "BitBtn44",
                    .read = &TFMain::BitBtn44Click,
                    .caption = "GroupBox9"});
    for (const OutputColumn &column : outputColumns) {
        for (std::uint8_t k = 0; k < torvex::kOutputCount; ++k) {
            rows.push_back({.id = ParamId::OutputRules,
                            .channel = k,
                            .field = column.field,
                            .control = column.controls[k],
                            .caption = column.caption,
                            .detail = kOutputRows[k],
                            .resetsOnTextChange = column.field == ConfigField::Threshold});
        }
    }
    // Parameters with one control, its Write and its Read button.
    const auto single = [&rows](ParamId id, const char *control, const char *write, ConfigBinding::Handler onWrite,
                                const char *read, ConfigBinding::Handler onRead, const char *caption,
                                bool resets = false) {
        rows.push_back({.id = id,
                        .control = control,
                        .writeButton = write,
                        .write = onWrite,
                        .readButton = read,
                        .read = onRead,
                        .caption = caption,
                        .resetsOnTextChange = resets});
    };
    single(ParamId::TriggerMasterMode, "trig_master_mode", "BitBtn9", &TFMain::BitBtn9Click, "BitBtn10",
           &TFMain::BitBtn10Click, "Label76");
    single(ParamId::TriggerFilter, "trigger_filter", "BitBtn55", &TFMain::BitBtn55Click, "BitBtn56",
           &TFMain::BitBtn56Click, "Label61", true);
    single(ParamId::TransmissionMode, "trigger_mode", "BitBtn53", &TFMain::BitBtn53Click, "BitBtn54",
           &TFMain::BitBtn54Click, "Label60");
    single(ParamId::SendInterval, "trigger_time", "BitBtn45", &TFMain::BitBtn45Click, "BitBtn46",
           &TFMain::BitBtn46Click, "Label59", true);
    for (std::uint8_t c = 0; c < torvex::kChannelCount; ++c) {
        rows.push_back({.id = ParamId::TriggerRegisterType,
                        .channel = c,
                        .control = typeLists[c],
                        .writeButton = typeWrites[c],
                        .sharedWrite = &TFMain::button_trigmastetype_1Click,
                        .readButton = typeReads[c],
                        .read = typeReadHandlers[c],
                        .caption = typeCaptions[c]});
    }
    single(ParamId::GreenDisplay, "Led4", "BitBtn20", &TFMain::BitBtn20Click, "BitBtn21", &TFMain::BitBtn21Click,
           "Label15");
    single(ParamId::RedDisplay, "Led", "BitBtn22", &TFMain::BitBtn22Click, "BitBtn23", &TFMain::BitBtn23Click,
           "Label16");
    single(ParamId::Beeper, "Beep", "BitBtn24", &TFMain::BitBtn24Click, "BitBtn25", &TFMain::BitBtn25Click, "Label17");
    single(ParamId::DotPosition, "Dot", "BitBtn18", &TFMain::BitBtn18Click, "BitBtn19", &TFMain::BitBtn19Click,
           "Label11");
    single(ParamId::ModbusAddress, "mod_adr", "BitBtn7", &TFMain::BitBtn7Click, "BitBtn15", &TFMain::BitBtn15Click,
           "Label24");
    single(ParamId::ModbusBaud, "mod_br", "BitBtn16", &TFMain::BitBtn16Click, "BitBtn17", &TFMain::BitBtn17Click,
           "Label23");
    return rows;
}

template <typename Match>
const ConfigBinding *findRow(Match match)
{
    const auto rows = configBindings();
    const auto found = std::ranges::find_if(rows, match);
    return found == rows.end() ? nullptr : &*found;
}

bool named(const char *name, std::string_view wanted) { return name && wanted == name; }

} // namespace

std::span<const ConfigBinding> configBindings()
{
    static const std::vector<ConfigBinding> rows = buildBindings();
    return rows;
}

const ConfigBinding *findBinding(ParamId id, std::uint8_t channel, ConfigField field)
{
    return findRow([&](const ConfigBinding &b) { return b.id == id && b.channel == channel && b.field == field; });
}

const ConfigBinding *bindingOfWriteButton(std::string_view name)
{
    return findRow([&](const ConfigBinding &b) { return named(b.writeButton, name); });
}

const ConfigBinding *bindingOfReadButton(std::string_view name)
{
    return findRow([&](const ConfigBinding &b) { return named(b.readButton, name); });
}

const ConfigBinding *bindingOfControl(std::string_view name)
{
    return findRow([&](const ConfigBinding &b) { return named(b.control, name); });
}
