#pragma once
// The signals that ask a program to stop (SIGTERM when the session ends or a service manager stops it, SIGINT,
// SIGHUP) as bytes in a pipe, so that the program's loop can watch the pipe and stop in its own time instead of
// in a signal handler. SIGPIPE and SIGXFSZ are ignored from then on: a reader that goes away, or a file at its
// size limit, fails a write with an error the program reports instead of killing it. POSIX only; Windows tells
// of a stop through messages of its own.

#ifndef _WIN32

namespace torvex {

// Installs the handlers once and returns the pipe's read end (non-blocking); later calls return the same end.
// -1 when the pipe cannot be made. `restartCalls`: whether calls a signal interrupts resume (the window) or
// fail with EINTR (a program whose blocking calls must notice the stop).
int stopSignalPipe(bool restartCalls);

// The latest stop signal waiting in the pipe, 0 when none.
int takeStopSignal(int pipe);

} // namespace torvex

#endif
