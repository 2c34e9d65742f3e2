#pragma once
// What torvex-cli takes from the window's config.ini (--settings).

#include "measure/log_line.h"

#include <array>
#include <cstdint>
#include <optional>
#include <ostream>
#include <string>

namespace torvex::cli {

struct WindowSettings {
    std::array<std::string, kEncoderCount> names; // encoder names and units, UTF-8
    std::array<std::string, kEncoderCount> units;
    LogColumns columns;
    std::int32_t modulo = 1;
};

// Why the file named by --settings cannot be read ("No such file or directory", "is a folder"); empty when it can.
std::string settingsFileProblem(const std::string &path);

// nullopt, after a message with the reason on `err`, when the file does not exist or cannot be read.
std::optional<WindowSettings> readSettingsFile(const std::string &path, std::ostream &err);

} // namespace torvex::cli
