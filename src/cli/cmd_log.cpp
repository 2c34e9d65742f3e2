#include "cli/cli.h"
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
    setup.path = options.file;
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
        session.message("torvex-cli: cannot open " + setup.path + " for appending: " + reason);
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
                session.message("torvex-cli: cannot write to " + setup.path + ": " + std::to_string(recorder.waiting())
                                + " lines waiting for it, " + lost);
            else
                session.message("torvex-cli: writing to " + setup.path + " again; " + lost + " in all");
            lostShown = recorder.lost();
            failingShown = recorder.failing();
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
    if (!allWritten) {
        rescue = recorder.rescue(session.env().rescueFolders);
        if (!rescue.path.empty())
            session.message("torvex-cli: cannot write to " + setup.path + "; the " + std::to_string(rescue.lines)
                            + " lines waiting for it were saved to " + std::filesystem::absolute(rescue.path).string());
        else
            session.message("torvex-cli: cannot write to " + setup.path + "; the " + std::to_string(rescue.lines)
                            + " lines waiting for it are lost: no recovery file could be written");
    }
    const std::uint64_t rescued = rescue.path.empty() ? 0 : rescue.lines;
    const std::uint64_t written = recorder.lines() - recorder.lost() - rescued;
    std::string summary = "torvex-cli: " + std::to_string(written) + " lines written to " + setup.path;
    if (recorder.lost() > 0)
        summary += "; " + std::to_string(recorder.lost()) + " lines lost to write errors";
    session.message(summary);
    return (recorder.lost() > 0 || rescue.lines > 0) && code == kExitOk ? kExitIo : code;
}

} // namespace torvex::cli
