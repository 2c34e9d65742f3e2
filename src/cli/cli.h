#pragma once
// torvex-cli as a library: main() only supplies the system (terminal, signals, locale), tests supply their own.

#include "cli/cli_args.h"
#include "device/hid_platform.h"
#include "device/loop_dispatcher.h"

#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

namespace torvex::cli {

struct CliEnv {
    std::ostream *out = nullptr;
    std::ostream *err = nullptr;
    bool outIsTerminal = false;
    bool errIsTerminal = false;
    // The regional decimal separator of the value texts (the log file is single-byte text: ASCII only).
    char decimalSeparator = '.';
    // The HID devices to use. Empty: the system's, or the simulated ones for --demo.
    std::shared_ptr<HidPlatform> platform;
    // Lets the user end a running command (Ctrl+C, SIGTERM): calls `stop` on the loop thread when asked.
    std::function<std::unique_ptr<UiWatch>(LoopDispatcher &loop, std::function<void()> stop)> watchStopRequest;
    // Where log lines that could not be written go at the end when the log file's own folder cannot take them.
    std::vector<std::string> rescueFolders;
};

// `args` without the program name. Returns the exit code.
int runCli(const std::vector<std::string_view> &args, CliEnv &env);

// The commands, with the platform chosen.
int runList(const CliOptions &options, CliEnv &env);
int runWatch(const CliOptions &options, CliEnv &env);
int runLog(const CliOptions &options, CliEnv &env);
int runConfigGet(const CliOptions &options, CliEnv &env);
int runConfigSet(const CliOptions &options, CliEnv &env);

} // namespace torvex::cli
