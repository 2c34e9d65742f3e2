#include "cli/cli.h"
#include "cli/log_recorder.h"
#include "cli/session.h"
#include "cli/settings_file.h"
#include "cli/text_util.h"

#include <cstdio>
#include <filesystem>
#include <system_error>

namespace torvex::cli {

int runLog(const CliOptions &options, CliEnv &env)
{
    LogSetup setup;
    setup.path = options.file;
    setup.separator = env.decimalSeparator;
    if (!options.settings.empty()) {
        const auto settings = readSettingsFile(options.settings, *env.err);
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
    if (std::string reason; !recorder.probe(reason)) {
        *env.err << "torvex-cli: cannot open " << setup.path << " for appending: " << reason << "\n";
        return kExitIo;
    }

    Session session(options, env);
    if (const int code = session.open(); code != kExitOk)
        return code;
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
        const double rate = seconds > 0 ? static_cast<double>(recorder.reports() - reportsBefore) / seconds : 0.0;
        previousTick = now;
        reportsBefore = recorder.reports();
        std::error_code error;
        const auto size = std::filesystem::file_size(setup.path, error);
        char text[200];
        const std::uint64_t written = recorder.lines() - recorder.lost() - recorder.waiting();
        const int length =
            std::snprintf(text, sizeof text, "%llu lines, %.0f reports/s, %s", static_cast<unsigned long long>(written),
                          rate, error ? "?" : byteCountText(size).c_str());
        if (recorder.failing() && length > 0 && static_cast<std::size_t>(length) < sizeof text)
            std::snprintf(text + length, sizeof text - static_cast<std::size_t>(length), ", cannot write: %llu waiting",
                          static_cast<unsigned long long>(recorder.waiting()));
        session.status(text);
    });

    const int code = session.run();
    tick.reset();
    const bool allWritten = recorder.close();
    session.endStatus();

    // Lines the file still cannot take are never dropped silently: they go to a recovery file.
    LogWriter::Rescue rescue;
    if (!allWritten) {
        rescue = recorder.rescue(env.rescueFolders);
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
