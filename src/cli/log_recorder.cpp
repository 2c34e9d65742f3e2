#include "cli/log_recorder.h"

#include "measure/log_file.h"

#include <cstring>

namespace torvex::cli {

LogRecorder::LogRecorder(LogSetup setup) : setup_(std::move(setup)) { writer_.setActive(true); }

bool LogRecorder::probe(std::string &reason)
{
    // Opened by the writer itself, whose lock on the file then lasts until the recording ends.
    if (writer_.open(setup_.path))
        return true;
    const LogFile::Failure &failure = writer_.file().failure();
    if (failure.otherWriter)
        reason = "another program is writing to it" + (failure.writer.empty() ? "" : " (" + failure.writer + ")");
    else
        reason = failure.systemError != 0 ? std::strerror(failure.systemError) : "cannot be opened";
    return false;
}

void LogRecorder::handleReport(std::span<const std::uint8_t> report)
{
    ++reports_;
    handler_.handle(report, this);
}

void LogRecorder::logLineSettings(LogLineInput &in)
{
    in.columns = setup_.columns;
    in.moduloValue = setup_.modulo;
    in.decimalSeparator = setup_.separator;
}

void LogRecorder::handOverLogLine(std::string_view line)
{
    writer_.writeLine(setup_.path, line);
    ++lines_;
}

} // namespace torvex::cli
