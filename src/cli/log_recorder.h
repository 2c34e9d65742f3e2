#pragma once
// What torvex-cli records with: the core's report handler and recorder, with the log file (or standard output)
// as the recorder's output, written from its own thread.

#include "instrument/report_dispatch.h"
#include "measure/log_line.h"
#include "measure/measurement.h"
#include "record/log_file_output.h"
#include "record/recorder.h"

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace torvex::cli {

struct LogSetup {
    std::string path; // LogFile::kStandardOutput for standard output
    LogColumns columns;
    std::int32_t modulo = 1;
    char separator = '.';
    std::vector<std::string> rescueFolders;
    // A pipe whose reader has gone (log - | head) was ended on purpose: what still waits for it is dropped.
    bool dropWhenReaderGone = false;
};

class LogRecorder {
public:
    explicit LogRecorder(LogSetup setup);
    ~LogRecorder();

    // Starts the file's writer, which opens the file on its own thread (a FIFO with no reader blocks only it).
    void start();
    // The writer has tried to open the file; failureReason() says why it could not.
    bool tried() const { return output_->status().tried; }
    bool opened() const;

    // One input report: the bytes after the report id, type byte first.
    void handleReport(std::span<const std::uint8_t> report);
    // Once a second: the writer flushes (and closes the file after the next line).
    void tick() { recorder_.tick(); }
    // Waits until the writer has handled everything handed over so far (tests).
    bool sync() { return recorder_.sync(); }

    // The end: the writer gets a short deadline to write what waits; then what is left goes to a recovery file.
    struct End {
        bool allWritten = false;
        LogWriter::Rescue rescue;    // lines that went to a recovery file (path empty: none could take them)
        std::uint64_t discarded = 0; // lines dropped because the pipe's reader had gone
        bool writerStuck = false;    // the writer never returned from the system; its lines are counted lost
    };
    End stop();
    // The end of a recording that never started (the file refused, the user stopped first): nothing is written
    // and no recovery file made.
    void abandon();

    const std::string &path() const { return setup_.path; }
    std::uint64_t reports() const { return reports_; }
    // Lines made; those neither lost nor waiting are in the file.
    std::uint64_t lines() const { return recorder_.records(); }
    std::uint64_t lost() const;
    std::uint64_t waiting() const;
    bool failing() const { return output_->status().failing; }
    // Why the file last could not be opened or written, in the system's words.
    std::string failureReason() const;
    // The file is a pipe whose reader has gone: nothing written from now on can reach anyone.
    bool readerGone() const { return LogFileOutput::readerGone(output_->status().failure); }
    const MeasurementState &measurement() const { return handler_.measurement; }
    // The recorder the file reads from, for an output beside it (the broker of log --publish).
    Recorder &recorder() { return recorder_; }

private:
    LogSetup setup_;
    InputReportHandler handler_;
    Recorder recorder_;
    std::shared_ptr<LogFileOutput> output_;
    int outputId_ = 0;
    std::uint64_t reports_ = 0;
    std::uint64_t lostAtEnd_ = 0;
};

} // namespace torvex::cli
