#pragma once
// The system's side of torvex-cli, all in one place: which standard streams are terminals, the user's stop
// request (Ctrl+C, SIGTERM, a closed terminal), the signals that must not end the program, and the machine's
// decimal mark. console_posix.cpp serves Linux and the other POSIX systems; a Windows port adds a file of its
// own (a console control handler that posts to the loop, a hidden window for the session's end, virtual-terminal
// mode) behind the same functions.

#include "device/loop_dispatcher.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace torvex::cli::console {

// Once, before anything else: a stop request is noted instead of ending the program, and a reader that goes
// away (a closed pipe) or a file at its size limit makes the write fail with an error instead of killing it.
// What it changes in a console that outlives the program (its code page) is put back when the program ends.
void setUp();

// The program's arguments without its name, in UTF-8.
std::vector<std::string> arguments(int argc, char **argv);

// Standard output was closed when the program started (>&-). setUp() has then put the null device in its
// place, so that none of the program's own descriptors takes its number.
bool standardOutputClosed();

// The folders, in UTF-8, that take a log's waiting lines when the log file's own folder cannot: the user's home
// folder (HOME; on Windows else USERPROFILE) and on Windows also the documents folder.
std::vector<std::string> rescueFolders();

// 0, 1, 2: standard input, output, error.
bool isTerminal(int stream);

// Calls `stop` with the signal's number on the loop's thread for every stop request from now on, until the
// returned watch is destroyed; nullptr where requests cannot be watched.
std::unique_ptr<UiWatch> watchStopRequests(LoopDispatcher &loop, std::function<void(int signal)> stop);

#ifndef _WIN32
// The name of the locale whose decimal mark the window would use: the first of LC_ALL, LC_NUMERIC and LANG that
// is set in `environment`, else (a service, cron) LC_NUMERIC or LANG of the machine's default locale from the
// text of `machineFiles` (/etc/default/locale, /etc/locale.conf), else "".
std::string windowLocaleName(const std::function<std::optional<std::string>(const char *)> &environment,
                             const std::vector<std::string> &machineFiles);
#endif

// The decimal mark of the window on this machine: '.' or ','. Where the locale's name cannot be resolved,
// `unresolved` gets a message that says so and which mark is used.
char windowDecimalSeparator(std::string *unresolved = nullptr);

} // namespace torvex::cli::console
