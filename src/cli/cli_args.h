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
// publish: the broker refused the connection at the start (password, certificate), or could not be reached.
inline constexpr int kExitBroker = 4;
// A command stopped by a signal before it was done: 128 + the signal's number, as shells report it (130 for
// Ctrl+C, 143 for SIGTERM). watch and log end that way normally and give kExitOk.
inline constexpr int kExitSignalBase = 128;

enum class Command { None, Help, List, Watch, Log, Publish, ConfigGet, ConfigSet, ConfigKeys };
// Text: the command's own form (list's table, watch's screen or lines, config's ini).
enum class Format { Text, Tsv, Csv, Json };

struct CliOptions {
    Command command = Command::None;

    std::string device;   // --device DEVICE; empty: the only instrument
    int demo = 0;         // --demo[=N]: simulated instruments instead of the system's HID devices
    int demoInterval = 0; // --demo-interval MS: their send interval; 0 = the factory setting
    bool demoFlood = false;

    std::string file;                                  // log FILE, config set FILE; "-": standard output / input
    std::vector<std::string> assignments;              // config set KEY=VALUE ...
    std::vector<std::string> skip;                     // config set --skip KEY
    std::string settings;                              // --settings FILE (the window's config.ini)
    std::string output;                                // config get -o FILE; empty: standard output
    std::optional<std::chrono::milliseconds> duration; // --seconds N
    std::optional<LogColumns> columns;                 // --columns LIST
    std::optional<std::int32_t> modulo;                // --mod M
    std::optional<char> decimalSeparator;              // --decimal-separator
    bool exitOnUnplug = false;
    bool wait = false; // --wait: wait for the instrument instead of ending with kExitNoInstrument

    Format format = Format::Text;
    bool verify = false;
    std::chrono::milliseconds timeout{1000}; // --timeout MS: wait for each answer of the instrument

    // publish URL (and log FILE --publish URL): the broker. The password never comes from the command line.
    struct Publish {
        std::string url;                      // empty: log publishes nothing
        std::string name;                     // --name ID: the instrument's topic level instead of its serial number
        std::string passwordFile;             // --password-file FILE
        std::string caFile;                   // --cafile FILE
        std::string certFile;                 // --cert FILE
        std::string keyFile;                  // --key FILE
        bool insecure = false;                // --insecure
        std::chrono::milliseconds batch{100}; // --batch-ms MS
    } publish;
};

struct ParsedArguments {
    CliOptions options;
    std::string error; // not empty: a usage error, to be shown with `usage`
    std::string usage; // the usage line of the command the error belongs to
    std::string help;  // not empty: --help, help COMMAND or --version asked for this text, and nothing else
};

// `args` without the program name. `version` is what --version prints.
ParsedArguments parseArguments(const std::vector<std::string_view> &args, const std::string &version = "");

// "date,time,cnt,cntmod,enc1p,...,output" or "all" or "none"; nullopt for an unknown name.
std::optional<LogColumns> parseColumns(std::string_view list);

} // namespace torvex::cli
