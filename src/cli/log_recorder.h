#pragma once
// The window's report handler and log writer, without the window: every input report is counted and
// stored, every measurement report decoded, turned into the window's log line and appended to the file.

#include "instrument/report_dispatch.h"
#include "measure/local_clock.h"
#include "measure/log_line.h"
#include "measure/log_writer.h"
#include "measure/measurement.h"

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace torvex::cli {

struct LogSetup {
    std::string path;
    LogColumns columns;
    std::int32_t modulo = 1;
    char separator = '.';
};

class LogRecorder : private MeasurementLogSink {
public:
    explicit LogRecorder(LogSetup setup);

    // Opens the file for appending (creating it, as the first line would), so that a path that cannot be
    // written, or that another program is writing, is found before recording starts. False with the reason.
    bool probe(std::string &reason);

    // One input report: the bytes after the report id, type byte first.
    void handleReport(std::span<const std::uint8_t> report);
    // Once a second: the writer flushes (and closes the file after the next line).
    void tick() { writer_.tick(); }
    // Everything waiting goes to the file, which is closed. False when lines still wait: then rescue().
    bool close() { return writer_.close(); }
    // The lines still waiting go to a recovery file beside the log file or in one of `folders`.
    LogWriter::Rescue rescue(const std::vector<std::string> &folders) { return writer_.saveBacklog(folders); }

    const std::string &path() const { return setup_.path; }
    std::uint64_t reports() const { return reports_; }
    // Lines handed to the writer; those neither lost nor waiting are in the file.
    std::uint64_t lines() const { return lines_; }
    std::uint64_t lost() const { return writer_.droppedLines(); }
    std::uint64_t waiting() const { return writer_.waitingLines(); }
    bool failing() const { return writer_.failing(); }
    const MeasurementState &measurement() const { return handler_.measurement; }

private:
    void logLineSettings(LogLineInput &in) override;
    LocalDateTime logLineTime() override { return clock_.now(); }
    void handOverLogLine(std::string_view line) override;

    LogSetup setup_;
    InputReportHandler handler_;
    LocalClock clock_;
    LogWriter writer_;
    std::uint64_t reports_ = 0;
    std::uint64_t lines_ = 0;
};

} // namespace torvex::cli
