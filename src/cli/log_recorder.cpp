#include "cli/log_recorder.h"

#include "measure/log_file.h"

#include <cerrno>
#include <cstring>

namespace torvex::cli {

LogRecorder::LogRecorder(LogSetup setup) : setup_(std::move(setup)) { writer_.setActive(true); }

bool LogRecorder::probe(std::string &reason)
{
    LogFile file;
    errno = 0;
    if (!file.open(setup_.path)) {
        reason = errno != 0 ? std::strerror(errno) : "cannot be opened";
        return false;
    }
    file.close();
    return true;
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
