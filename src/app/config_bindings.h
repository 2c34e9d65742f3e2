#pragma once
// The configuration pages, one row per value the instrument holds, keyed by (parameter, channel) and, of the
// output rules, by (OutputRules, output, field of its record). A row names the control that shows the value, its
// Write and Read buttons with their handlers, and the captions that name them to assistive technology. The
// window's wiring, channel tables, reply updates and accessible names are all read from here.

#include "config/param_catalogue.h"

#include <array>
#include <cstdint>
#include <span>
#include <string_view>

class QObject;
class TFMain;

struct ConfigBinding {
    using Handler = void (TFMain::*)();
    using SharedHandler = void (TFMain::*)(QObject *);

    torvex::ParamId id;
    std::uint8_t channel = 0; // encoder, register slot or output; 0 for a parameter without channels
    torvex::ConfigField field = torvex::ConfigField::Value;
    const char *control = nullptr; // shows and edits the value
    const char *writeButton = nullptr;
    // The Write handler: the button's own, or one shared by a row's three columns that is told its sender.
    Handler write = nullptr;
    SharedHandler sharedWrite = nullptr;
    // The Read button asking for the parameter's read id with the row's channel, held by the row of that id.
    const char *readButton = nullptr;
    Handler read = nullptr;
    // Accessible names: the control is "<caption>, <detail>", a button "<verb>: <caption>, <detail>". A control
    // without a detail has its caption to itself, as its label.
    const char *caption = nullptr;
    const char *detail = nullptr;
    // A numeric field's colour resets on a click, and for these also on any change of its text.
    bool resetsOnTextChange = false;
};

std::span<const ConfigBinding> configBindings();
const ConfigBinding *findBinding(torvex::ParamId id, std::uint8_t channel,
                                 torvex::ConfigField field = torvex::ConfigField::Value);
// The row of the Write button, Read button or control of this object name; nullptr for none.
const ConfigBinding *bindingOfWriteButton(std::string_view name);
const ConfigBinding *bindingOfReadButton(std::string_view name);
const ConfigBinding *bindingOfControl(std::string_view name);

// The captions over the encoder page's three columns.
inline constexpr std::array<const char *, torvex::kEncoderCount> kEncoderColumnCaptions{"Label25", "Label26", "Label8"};
