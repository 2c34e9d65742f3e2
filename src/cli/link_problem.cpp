#include "cli/link_problem.h"

#include "protocol/instrument.h"

namespace torvex::cli {
namespace {

const std::string kInstrumentText(kInstrumentName.begin(), kInstrumentName.end());

} // namespace

std::string linkProblemText(const InstrumentLink &link)
{
    using State = InstrumentLink::State;
    const DeviceSelector &selector = link.selector();
    switch (link.state()) {
    case State::NoInstrument:
        return "no " + kInstrumentText + " instrument found";
    case State::NoSuchDevice:
        return "no HID device at " + selector.text + " (a node, a link to one, a serial number or a USB port)";
    case State::NotAnInstrument:
        return link.deviceText() + " is not a " + kInstrumentText + " instrument (it is \""
            + link.devices()[link.choice().chosen].label + "\")";
    case State::Several: {
        std::string text = std::to_string(link.choice().instruments.size()) + " " + kInstrumentText + " instruments "
            + (selector.empty() ? "found:" : "answer to " + selector.text + ":");
        for (std::size_t i : link.choice().instruments)
            text += "\n  " + deviceIdentity(link.devices()[i]) + "  " + link.devices()[i].label;
        return text;
    }
    case State::NoAccess: {
        std::string text = "cannot open the instrument at " + link.devicePath() + " for reading and writing";
        if (const std::string problem = link.accessProblem(); !problem.empty())
            text += ": " + problem;
        if (const std::string hint = accessHint(); !hint.empty())
            text += "\n" + hint;
        return text;
    }
    case State::Gone:
        return "the instrument at " + link.deviceText() + " is gone";
    case State::Scanning:
    case State::Connected:
        break;
    }
    return {};
}

std::string sendProblemText(std::optional<std::uint32_t> error)
{
    if (!error)
        return {};
    if (*error == kHidErrorTimeout)
        return "the instrument took no report for a second";
    return "the write failed (system error " + std::to_string(*error) + ")";
}

std::string accessHint()
{
#ifdef __linux__
    return "On Linux the hidraw node needs the udev rule 70-torvex.rules to be opened by your user "
           "(see packaging/linux/README.md).";
#else
    return {};
#endif
}

} // namespace torvex::cli
