#include "cli/cli.h"
#include "cli/console.h"
#include "cli/log_recorder.h"
#include "cli/session.h"
#include "cli/settings_file.h"
#include "cli/text_util.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

namespace torvex::cli {

int runLog(Session &session)
{
    const CliOptions &options = session.options();
    LogSetup setup;
    // "-" is standard output, through its node, so that the writer treats it as any other file.
    const bool toStandardOutput = options.file == "-";
    setup.path = toStandardOutput ? console::standardOutputPath() : options.file;
    const std::string name = toStandardOutput ? "standard output" : options.file;
    if (setup.path.empty()) {
        session.message("torvex-cli: log - is not available on this system; name a file");
        return kExitUsage;
    }
    setup.separator = options.decimalSeparator.value_or(session.env().decimalSeparator);
    if (!options.settings.empty()) {
        const auto settings = readSettingsFile(options.settings, *session.env().err);
        if (!settings)
            return kExitIo;
        setup.columns = settings->columns;
        setup.modulo = settings->modulo;
    }
    if (options.columns)
        setup.columns = *options.columns;
    if (options.modulo)
        setup.modulo = *options.modulo;

    LogRecorder recorder(setup);
    auto refuse = [&](const std::string &reason) {
        session.message("torvex-cli: cannot open " + name + " for appending: " + reason);
        return kExitIo;
    };
    // A file that cannot be written is found before anything else; one that does not exist yet is created only
    // once there is an instrument to record, so that a failed start leaves no empty file behind.
    std::error_code error;
    const bool exists = std::filesystem::exists(setup.path, error);
    if (exists) {
        if (std::string reason; !recorder.probe(reason))
            return refuse(reason);
    } else if (const auto folder = std::filesystem::path(setup.path).parent_path();
               !folder.empty() && !std::filesystem::is_directory(folder, error)) {
        return refuse(std::strerror(ENOENT));
    }

    if (const int code = session.open(); code != kExitOk)
        return code;
    if (std::string reason; !exists && !recorder.probe(reason))
        return refuse(reason);
    session.link().setReportHandler(
        [&recorder](std::span<const std::uint8_t> report) { recorder.handleReport(report); });
    session.describeProgress = [&] { return std::to_string(recorder.lines()) + " lines so far"; };

    std::uint64_t reportsBefore = 0;
    std::uint64_t lostShown = 0;
    bool failingShown = false;
    auto previousTick = LoopDispatcher::Clock::now();
    auto tick = session.loop().repeatEvery(std::chrono::seconds(1), [&] {
        recorder.tick();
        if (recorder.lost() != lostShown || recorder.failing() != failingShown) {
            const std::string lost = std::to_string(recorder.lost()) + " lines lost";
            if (recorder.failing())
                session.message("torvex-cli: cannot write to " + name + " (" + recorder.failureReason()
                                + "): " + std::to_string(recorder.waiting()) + " lines waiting for it, " + lost);
            else
                session.message("torvex-cli: writing to " + name + " again; " + lost + " in all");
            lostShown = recorder.lost();
            failingShown = recorder.failing();
        }
        if (recorder.readerGone()) {
            session.message("torvex-cli: the reader of " + name + " has gone; stopping");
            session.finish(kExitIo);
        }
        const auto now = LoopDispatcher::Clock::now();
        const double seconds = std::chrono::duration<double>(now - previousTick).count();
        std::error_code sizeError;
        const auto size = std::filesystem::file_size(setup.path, sizeError);
        const std::uint64_t written = recorder.lines() - recorder.lost() - recorder.waiting();
        std::string text = std::to_string(written) + " lines, "
            + reportRateText(recorder.reports() - reportsBefore, seconds) + ", "
            + (sizeError ? "?" : byteCountText(size));
        if (recorder.failing())
            text += ", cannot write: " + std::to_string(recorder.waiting()) + " waiting";
        session.status(text);
        previousTick = now;
        reportsBefore = recorder.reports();
    });

    const int code = session.run();
    tick.reset();
    const bool allWritten = recorder.close();
    session.endStatus();

    // Lines the file still cannot take are never dropped silently: they go to a recovery file.
    LogWriter::Rescue rescue;
    // Standard output or a pipe has no folder to put a recovery file beside, and its reader may be gone.
    std::error_code typeError;
    const auto type = std::filesystem::status(setup.path, typeError).type();
    const bool stream =
        toStandardOutput || type == std::filesystem::file_type::fifo || type == std::filesystem::file_type::socket;
    std::uint64_t undelivered = 0;
    if (!allWritten && stream) {
        undelivered = recorder.waiting();
        session.message("torvex-cli: the " + std::to_string(undelivered) + " lines waiting for " + name
                        + " were not written (" + recorder.failureReason() + ")");
    } else if (!allWritten) {
        rescue = recorder.rescue(session.env().rescueFolders);
        if (!rescue.path.empty())
            session.message("torvex-cli: cannot write to " + name + "; the " + std::to_string(rescue.lines)
                            + " lines waiting for it were saved to " + std::filesystem::absolute(rescue.path).string());
        else
            session.message("torvex-cli: cannot write to " + name + "; the " + std::to_string(rescue.lines)
                            + " lines waiting for it are lost: no recovery file could be written");
    }
    const std::uint64_t rescued = rescue.path.empty() ? 0 : rescue.lines;
    const std::uint64_t written = recorder.lines() - recorder.lost() - rescued - undelivered;
    std::string summary = "torvex-cli: " + std::to_string(written) + " lines written to " + name;
    if (recorder.lost() > 0)
        summary += "; " + std::to_string(recorder.lost()) + " lines lost to write errors";
    session.message(summary);
    return (recorder.lost() > 0 || rescue.lines > 0 || undelivered > 0) && code == kExitOk ? kExitIo : code;
}

} // namespace torvex::cli
