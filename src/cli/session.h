#pragma once
// What the commands that talk to an instrument share: the link torvex-cli opens (the only instrument, or the one
// --device names), and for watch and log the loop, the user's stop request, --seconds, the messages on standard
// error when the instrument goes and comes back, and a status line on a terminal.

#include "cli/cli.h"
#include "instrument/instrument_link.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace torvex::cli {

// The instrument --device names, or the only one; only that one is claimed.
std::unique_ptr<InstrumentLink> makeLink(const CliOptions &options);
// Finds the instrument and connects. kExitOk, or kExitNoInstrument after the reason has been printed.
int connectOrExplain(InstrumentLink &link, std::shared_ptr<LoopDispatcher> loop, CliEnv &env);

class Session {
public:
    Session(const CliOptions &options, CliEnv &env);
    ~Session();

    // Finds the instrument and connects. kExitOk, or the exit code after the reason has been printed.
    int open();

    LoopDispatcher &loop() { return *loop_; }
    InstrumentLink &link() { return *link_; }

    // Words added to the unplug message, e.g. how many lines were written so far.
    std::function<std::string()> describeProgress;

    // Runs until the user stops the program, --seconds pass or finish() is called; returns the exit code.
    int run();
    void finish(int exitCode);

    // Standard error: a message on a line of its own, and (on a terminal only) a status line kept at the
    // bottom, rewritten in place.
    void message(const std::string &text);
    void status(const std::string &text);
    void endStatus();

private:
    const CliOptions &options_;
    CliEnv &env_;
    std::shared_ptr<LoopDispatcher> loop_;
    std::unique_ptr<InstrumentLink> link_;
    std::unique_ptr<UiWatch> stopWatch_;
    std::optional<int> exitCode_;
    bool statusShown_ = false;
};

} // namespace torvex::cli
