#pragma once
// What every command shares: the options, the loop, the user's stop request (watched from the start, so that
// every wait of every command ends on it within the loop's next round), the messages on standard error with a
// status line on a terminal, and for the commands that talk to an instrument the link torvex-cli opens (the
// only instrument, or the one --device names) with the messages when it goes and comes back.

#include "cli/cli.h"
#include "instrument/instrument_link.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace torvex::cli {

class Session {
public:
    Session(const CliOptions &options, CliEnv &env);
    ~Session();
    Session(const Session &) = delete;
    Session &operator=(const Session &) = delete;

    const CliOptions &options() const { return options_; }
    CliEnv &env() { return env_; }
    std::ostream &out() { return *env_.out; }
    LoopDispatcher &loop() { return *loop_; }
    const std::shared_ptr<LoopDispatcher> &loopPtr() { return loop_; }

    // The signal that asked the program to stop; 0 while none did.
    int stopSignal() const { return stopSignal_; }
    // For a command that a stop request ended before it was done: says so (and `what` became of its work), and
    // returns the exit code 128 + the signal.
    int interrupted(const std::string &what);

    // Finds the instrument and connects; with --wait it waits for it. kExitOk, or the exit code after the reason
    // has been printed.
    int open();
    InstrumentLink &link() { return *link_; }

    // Words added to the unplug message, e.g. how many lines were written so far.
    std::function<std::string()> describeProgress;
    // Told when the instrument in use goes away (false) and comes back (true).
    std::function<void(bool present)> onInstrumentPresence;

    // Runs until the user stops the program, --seconds pass or finish() is called; returns the exit code.
    int run();
    void finish(int exitCode);

    // Standard error: a message on a line of its own, and (on a terminal only) a status line kept at the
    // bottom, rewritten in place. While `showMessage` is set, messages go to it instead (watch's screen shows
    // them in place of scrolling); it is cleared before the last ones.
    void message(const std::string &text);
    void status(const std::string &text);
    void endStatus();
    std::function<void(const std::string &)> showMessage;

private:
    bool connect();

    const CliOptions &options_;
    CliEnv &env_;
    std::shared_ptr<LoopDispatcher> loop_;
    std::unique_ptr<UiWatch> stopWatch_;
    std::unique_ptr<InstrumentLink> link_;
    std::optional<int> exitCode_;
    int stopSignal_ = 0;
    bool statusShown_ = false;
};

} // namespace torvex::cli
