#include "cli/log_recorder.h"

#include "measure/log_file.h"

#include <cerrno>
#include <cstring>
#include <span>

namespace torvex::cli {

LogRecorder::LogRecorder(LogSetup setup) : setup_(std::move(setup))
{
    input_.columns = setup_.columns;
    input_.moduloValue = setup_.modulo;
    input_.decimalSeparator = setup_.separator;
    writer_.setActive(true);
}

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

void LogRecorder::handleReport(const std::uint8_t *data, std::size_t size)
{
    ++reports_;
    const std::span<const std::uint8_t> report(data, data != nullptr ? size : 0);
    const std::size_t stored = storeInputReport(rx_, report);
    if (classifyInputReport(report) != InputReportType::Measurement)
        return;
    // Decoded from the stored copy, as the window does.
    if (!DecodeMeasurementReport(rx_.data(), stored, state_))
        return;
    input_.takeMeasurement(state_);
    BuildLogLine(line_, input_, clock_.now());
    writer_.writeLine(setup_.path, line_.view());
    ++lines_;
    markMeasurementHandled(state_);
}

} // namespace torvex::cli
