#pragma once
// torvex-cli's words for what keeps it from the instrument: no connection, a refused write, missing access.

#include "instrument/instrument_link.h"

#include <cstdint>
#include <optional>
#include <string>

namespace torvex::cli {

// Why there is no connection, for a link state other than Connected and Scanning.
std::string linkProblemText(const InstrumentLink &link);

// Why the last send did not reach the instrument; empty when it did not fail at the device.
std::string sendProblemText(std::optional<std::uint32_t> error);

// On Linux, one line pointing to the udev rule that gives the user access to the instrument; empty elsewhere.
std::string accessHint();

} // namespace torvex::cli
