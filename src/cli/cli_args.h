#pragma once
// Command line of torvex-cli: what the user asked for, checked, or the reason it cannot be understood.

#include "measure/log_line.h"

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace torvex::cli {

inline constexpr int kExitOk = 0;
inline constexpr int kExitUsage = 1;
inline constexpr int kExitNoInstrument = 2;
inline constexpr int kExitIo = 3;

enum class Command { None, List, Watch, Log, ConfigGet, ConfigSet };
enum class ConfigFormat { Ini, Json };

struct CliOptions {
    Command command = Command::None;
    bool help = false;
    bool version = false;

    std::string device;   // --device PATH; empty: the only instrument
    int demo = 0;         // --demo[=N]: simulated instruments instead of the system's HID devices
    int demoInterval = 0; // --demo-interval MS: their send interval; 0 = the factory setting
    bool demoFlood = false;

    std::string file;                                  // log FILE, config set FILE
    std::string settings;                              // --settings FILE (the window's config.ini)
    std::optional<std::chrono::milliseconds> duration; // --seconds N
    std::optional<LogColumns> columns;                 // --columns LIST
    std::optional<std::int32_t> modulo;                // --mod M
    bool exitOnUnplug = false;

    ConfigFormat format = ConfigFormat::Ini;
    bool verify = false;
    std::chrono::milliseconds timeout{1000}; // --timeout MS: wait for each answer of the instrument
};

struct ParsedArguments {
    CliOptions options;
    std::string error; // not empty: a usage error, to be shown with the command's usage line
};

// `args` without the program name.
ParsedArguments parseArguments(const std::vector<std::string_view> &args);

// "date,time,cnt,cntmod,enc1p,...,output" or "all" or "none"; nullopt for an unknown name.
std::optional<LogColumns> parseColumns(std::string_view list);

// Full help of one command (or of the program for Command::None).
std::string helpText(Command command);
// The one-line usage shown after a usage error.
std::string usageLine(Command command);

} // namespace torvex::cli
