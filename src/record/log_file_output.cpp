#include "record/log_file_output.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <cerrno>
#include <csignal>
#include <mutex>
#include <pthread.h>
#endif

namespace torvex {

namespace {

#ifndef _WIN32
// The signal that interrupts a writer blocked in the system. Its handler does nothing: the point is the failed
// call, which the writer does not make again once it has been cancelled. Ignored by default, so a stray one
// harms nothing.
constexpr int kInterruptSignal = SIGURG;

extern "C" void onInterrupt(int) {}

void installInterruptHandler()
{
    static std::once_flag once;
    std::call_once(once, [] {
        struct sigaction action {};
        action.sa_handler = onInterrupt;
        sigemptyset(&action.sa_mask);
        action.sa_flags = 0; // no SA_RESTART: the blocked call is to fail
        ::sigaction(kInterruptSignal, &action, nullptr);
    });
}
#endif

} // namespace

LogFileOutput::LogFileOutput(Options options)
    : options_(std::move(options)), writer_(LogWriter::kDefaultBufferSize, options_.backlogLines, options_.backlogBytes)
{
    writer_.setCancelFlag(&cancel_);
#ifndef _WIN32
    installInterruptHandler();
#endif
}

LogFileOutput::~LogFileOutput()
{
#ifdef _WIN32
    if (thread_ != nullptr)
        CloseHandle(static_cast<HANDLE>(thread_));
#else
    delete static_cast<pthread_t *>(thread_);
#endif
}

bool LogFileOutput::readerGone(const LogFile::Failure &failure)
{
#ifdef _WIN32
    // Windows says "the pipe is being closed"; Wine, whose pipes are the host's, "pipe not connected".
    return failure.systemError == ERROR_NO_DATA || failure.systemError == ERROR_BROKEN_PIPE
        || failure.systemError == ERROR_PIPE_NOT_CONNECTED;
#else
    return failure.systemError == EPIPE;
#endif
}

void LogFileOutput::start()
{
#ifdef _WIN32
    thread_ = OpenThread(THREAD_TERMINATE, FALSE, GetCurrentThreadId());
#else
    thread_ = new pthread_t(pthread_self());
#endif
    interruptible_ = true;
    writer_.setActive(true);
    // Opened now rather than at the first line, so a file that cannot be written is known before anything is
    // recorded. A FIFO with no reader blocks here, on this thread only.
    if (options_.openAtStart)
        writer_.open(options_.path);
    if (!options_.firstLine.empty())
        writer_.writeLine(options_.path, options_.firstLine);
    publish();
}

void LogFileOutput::take(std::span<const MeasurementRecord> records)
{
    for (const MeasurementRecord &record : records) {
        if (options_.format) {
            writer_.writeLine(options_.path, options_.format(record));
        } else {
            BuildLogLine(line_, record.line, record.local);
            writer_.writeLine(options_.path, line_.view());
        }
        ++lines_;
    }
    publish();
}

void LogFileOutput::tick()
{
    writer_.tick();
    publish();
}

void LogFileOutput::finish(Clock::time_point)
{
    // The recorder interrupts a write that is still blocked at the deadline; it then fails, and what waits goes
    // to the recovery file, which is written without interruptions.
    if (!abandoned_)
        writer_.close();
    interruptible_ = false;
    cancel_ = false;
    if (abandoned_ || (options_.dropWhenReaderGone && readerGone(writer_.file().failure()))) {
        const std::uint64_t discarded = writer_.discardBacklog();
        std::lock_guard lock(mutex_);
        status_.discarded = discarded;
    } else {
        const std::uint64_t droppedBefore = writer_.droppedLines();
        const LogWriter::Rescue rescue = writer_.saveBacklog(options_.rescueFolders);
        std::lock_guard lock(mutex_);
        status_.rescue = rescue;
        status_.rescueLost = writer_.droppedLines() - droppedBefore;
    }
    publish();
    std::lock_guard lock(mutex_);
    status_.finished = true;
}

void LogFileOutput::interrupt()
{
    if (!interruptible_ || thread_ == nullptr)
        return;
    cancel_ = true;
#ifdef _WIN32
    CancelSynchronousIo(static_cast<HANDLE>(thread_));
#else
    pthread_kill(*static_cast<pthread_t *>(thread_), kInterruptSignal);
#endif
}

void LogFileOutput::publish()
{
    std::lock_guard lock(mutex_);
    status_.tried = true;
    status_.open = writer_.isOpen();
    status_.failing = writer_.failing();
    status_.lines = lines_;
    status_.waiting = writer_.waitingLines();
    status_.dropped = writer_.droppedLines();
    status_.failure = writer_.file().failure();
}

LogFileOutput::Status LogFileOutput::status() const
{
    std::lock_guard lock(mutex_);
    return status_;
}

} // namespace torvex
