#include "cli/log_recorder.h"

#include "measure/log_file.h"

namespace torvex::cli {

LogRecorder::LogRecorder(LogSetup setup) : setup_(std::move(setup))
{
    recorder_.setLineSettings(setup_.columns, setup_.modulo, setup_.separator);
    LogFileOutput::Options options;
    options.path = setup_.path;
    options.rescueFolders = setup_.rescueFolders;
    options.dropWhenReaderGone = setup_.dropWhenReaderGone;
    output_ = std::make_shared<LogFileOutput>(std::move(options));
}

LogRecorder::~LogRecorder()
{
    if (outputId_ != 0)
        stop();
}

void LogRecorder::start()
{
    if (outputId_ == 0)
        outputId_ = recorder_.addOutput(output_);
}

bool LogRecorder::opened() const
{
    const LogFileOutput::Status status = output_->status();
    return status.tried && !status.failing;
}

std::string LogRecorder::failureReason() const
{
    const LogFile::Failure failure = output_->status().failure;
    if (failure.otherWriter)
        return "another program is writing to it" + (failure.writer.empty() ? "" : " (" + failure.writer + ")");
    return failure.systemError != 0 ? systemErrorText(failure.systemError) : "cannot be opened";
}

void LogRecorder::handleReport(std::span<const std::uint8_t> report)
{
    ++reports_;
    handler_.handle(report, outputId_ != 0 ? &recorder_ : nullptr);
}

std::uint64_t LogRecorder::lost() const { return output_->status().dropped + recorder_.lost(outputId_) + lostAtEnd_; }

std::uint64_t LogRecorder::waiting() const { return output_->status().waiting + recorder_.waiting(outputId_); }

void LogRecorder::abandon()
{
    output_->abandon();
    stop();
}

LogRecorder::End LogRecorder::stop()
{
    End end;
    if (outputId_ == 0)
        return end;
    const std::uint64_t queued = recorder_.waiting(outputId_);
    const std::uint64_t queueLost = recorder_.lost(outputId_);
    const bool returned = recorder_.stopOutput(outputId_, Recorder::Clock::now() + Recorder::kStopDeadline);
    outputId_ = 0;
    const LogFileOutput::Status status = output_->status();
    lostAtEnd_ = queueLost;
    if (!returned) {
        // Blocked in the system past every deadline: what it held cannot be had.
        end.writerStuck = true;
        lostAtEnd_ += status.waiting + queued;
        return end;
    }
    end.rescue = status.rescue;
    end.discarded = status.discarded;
    end.allWritten = status.rescue.lines == 0 && status.discarded == 0;
    return end;
}

} // namespace torvex::cli
