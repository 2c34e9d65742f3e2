#pragma once

#include "measure/log_file.h"
#include "measure/log_line.h"
#include "measure/log_writer.h"
#include "record/record_output.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace torvex {

// The measurement log file (or standard output) as an output of the recorder: the log writer on a thread of
// its own, with what the front ends show of it published after every step.
class LogFileOutput : public RecordOutput {
public:
    struct Options {
        std::string path; // UTF-8; LogFile::kStandardOutput for standard output
        // Where the lines still waiting at the end go when not beside the log file (documents, home).
        std::vector<std::string> rescueFolders;
        std::size_t backlogLines = LogWriter::kBacklogLines;
        std::size_t backlogBytes = LogWriter::kBacklogBytes;
        // A pipe whose reader has gone was ended on purpose (log - | head): what waits for it is dropped, not
        // rescued.
        bool dropWhenReaderGone = false;
        // Open the file when the output starts, so a file that cannot be written is known before anything is
        // recorded; else at the first line.
        bool openAtStart = true;
        // Another text than the log line for each record (watch's CSV or JSON lines), with its line end; and a
        // first line (a header) written before the records.
        std::function<std::string(const MeasurementRecord &)> format;
        std::string firstLine;
    };

    // What the writer's thread last said of itself.
    struct Status {
        bool tried = false;           // the file has been opened (or tried) once
        bool open = false;            // it is open now
        bool failing = false;         // it cannot be opened or written, and lines wait for it
        std::uint64_t lines = 0;      // lines handed to the writer
        std::uint64_t waiting = 0;    // of those, not in the file yet
        std::uint64_t dropped = 0;    // lost: the writer's bound was reached, or another program writes the file
        LogFile::Failure failure;     // why it last failed
        bool finished = false;        // finish() has run
        LogWriter::Rescue rescue;     // where the lines waiting at the end went
        std::uint64_t rescueLost = 0; // of those, lines not even a recovery file took
        std::uint64_t discarded = 0;  // lines dropped at the end because the pipe's reader had gone
    };

    explicit LogFileOutput(Options options);
    ~LogFileOutput() override;

    Status status() const;
    // The path the output writes to.
    const std::string &path() const { return options_.path; }
    // The reader of the pipe the output writes to has gone: nothing written from now on reaches anyone.
    static bool readerGone(const LogFile::Failure &failure);

    void start() override;
    void take(std::span<const MeasurementRecord> records) override;
    void tick() override;
    void finish(Clock::time_point deadline) override;
    void interrupt() override;
    // From any thread, before the output is stopped: what waits at the end is dropped, not rescued (a recording
    // that never started).
    void abandon() { abandoned_ = true; }

private:
    void publish();

    Options options_;
    LogWriter writer_;
    LogLine line_;
    std::uint64_t lines_ = 0;
    std::atomic<bool> cancel_{false};
    std::atomic<bool> interruptible_{false};
    std::atomic<bool> abandoned_{false};
    void *thread_ = nullptr; // the writer's thread, for interrupt()
    mutable std::mutex mutex_;
    Status status_;
};

} // namespace torvex
