#pragma once
// torvex-cli as a library: main() only supplies the system (console.h: terminal, signals, locale), tests supply
// their own.

#include "cli/cli_args.h"
#include "device/hid_platform.h"
#include "device/loop_dispatcher.h"
#include "measure/log_file.h"

#include <functional>
#include <istream>
#include <memory>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

namespace torvex::cli {

class Session;

struct CliEnv {
    std::istream *in = nullptr; // config set -
    std::ostream *out = nullptr;
    std::ostream *err = nullptr;
    bool outIsTerminal = false;
    // Standard output was closed when the program started (>&-): log - and watch --format cannot write to it.
    bool outClosed = false;
    // Where log - and watch --format write their lines, from the recorder's writer thread: standard output as it
    // is (descriptor 1, whatever it is). Tests name a file.
    std::string recordOutput = LogFile::kStandardOutput;
    bool errIsTerminal = false;
    // The decimal mark of log and watch without --decimal-separator: the window's on this machine.
    char decimalSeparator = '.';
    // Said where that mark is used: the locale's name could not be resolved (empty when it was).
    std::string decimalNote;
    // The HID devices to use. Empty: the system's, or the simulated ones for --demo.
    std::shared_ptr<HidPlatform> platform;
    // Lets the user stop a command (Ctrl+C, SIGTERM): calls `stop` with the signal's number on the loop thread.
    std::function<std::unique_ptr<UiWatch>(LoopDispatcher &loop, std::function<void(int signal)> stop)>
        watchStopRequest;
    // Where log lines that could not be written go at the end when the log file's own folder cannot take them.
    std::vector<std::string> rescueFolders;
};

// `args` without the program name. Returns the exit code.
int runCli(const std::vector<std::string_view> &args, CliEnv &env);

// The commands, with the platform chosen.
int runList(Session &session);
int runWatch(Session &session);
int runLog(Session &session);
int runPublish(Session &session);
int runConfigGet(Session &session);
int runConfigSet(Session &session);
int runConfigKeys(Session &session);

} // namespace torvex::cli
