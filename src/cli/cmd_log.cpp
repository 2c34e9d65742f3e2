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
            if (recorder.failing())
                session.message("torvex-cli: cannot write to " + setup.path + ": " + std::to_string(recorder.lost())
                                + " lines lost so far");
            else
                session.message("torvex-cli: writing to " + setup.path + " again; " + std::to_string(recorder.lost())
                                + " lines lost in all");
            lostShown = recorder.lost();
            failingShown = recorder.failing();
        }
        const auto now = LoopDispatcher::Clock::now();
        const double seconds = std::chrono::duration<double>(now - previousTick).count();
        std::error_code sizeError;
        const auto size = std::filesystem::file_size(setup.path, sizeError);
        session.status(std::to_string(recorder.lines() - recorder.lost()) + " lines, "
                       + reportRateText(recorder.reports() - reportsBefore, seconds) + ", "
                       + (sizeError ? "?" : byteCountText(size)));
        previousTick = now;
        reportsBefore = recorder.reports();
    });

    const int code = session.run();
    tick.reset();
    recorder.close();
    session.endStatus();

    const std::uint64_t written = recorder.lines() - recorder.lost();
    std::string summary = "torvex-cli: " + std::to_string(written) + " lines written to " + setup.path;
    if (recorder.lost() > 0)
        summary += "; " + std::to_string(recorder.lost()) + " lines lost to write errors";
    session.message(summary);
    return recorder.lost() > 0 && code == kExitOk ? kExitIo : code;
}

} // namespace torvex::cli
