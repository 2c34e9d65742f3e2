#include "cli/broker_publisher.h"
#include "cli/cli.h"
#include "cli/console.h"
#include "cli/log_recorder.h"
#include "cli/session.h"
#include "cli/settings_file.h"
#include "cli/text_util.h"
#include "text/utf8_path.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

namespace torvex::cli {

namespace {

// Runs the loop until the writer has tried to open the file or the user stops the program (a FIFO with no
// reader keeps the open waiting). True when it was tried.
bool waitForTheFile(Session &session, LogRecorder &recorder)
{
    auto poll = session.loop().repeatEvery(std::chrono::milliseconds(10), [] {});
    session.loop().run([&] { return recorder.tried() || session.stopSignal() != 0; });
    return recorder.tried();
}

bool isStream(const std::string &path)
{
    std::error_code error;
    const auto type = std::filesystem::status(pathFromUtf8(path), error).type();
    return type == std::filesystem::file_type::fifo || type == std::filesystem::file_type::socket
        || type == std::filesystem::file_type::character;
}

} // namespace

int runLog(Session &session)
{
    const CliOptions &options = session.options();
    if (options.file.empty()) {
        session.message("torvex-cli: the log file's name is empty; name a file, or - for standard output");
        return kExitUsage;
    }
    const bool toStandardOutput = options.file == "-";
    if (toStandardOutput && session.env().outClosed) {
        session.message("torvex-cli: standard output is closed; nothing can be logged to it");
        return kExitIo;
    }
    LogSetup setup;
    // Standard output as it is (a pipe, a socket, a terminal, a file), never reopened by a name.
    setup.path = toStandardOutput ? session.env().recordOutput : options.file;
    const std::string name = toStandardOutput ? "standard output" : options.file;
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
    setup.rescueFolders = session.env().rescueFolders;
    setup.dropWhenReaderGone = toStandardOutput || isStream(setup.path);

#ifdef TORVEX_PUBLISH
    const bool publishing = !options.publish.url.empty();
    BrokerPublisher publisher;
    if (publishing && !publisher.plan(session))
        return kExitUsage;
#else
    if (!options.publish.url.empty())
        return runPublish(session); // says that publishing is not available here
#endif

    LogRecorder recorder(setup);
    auto refuse = [&](const std::string &reason) {
        recorder.abandon();
        session.message("torvex-cli: cannot open " + name + " for appending: " + reason);
        return kExitIo;
    };
    auto stoppedBeforeOpening = [&] {
        recorder.abandon();
        session.message("torvex-cli: stopped before " + name + " could be opened; nothing was recorded");
        return kExitOk;
    };
    // A file that cannot be written is found before anything else; one that does not exist yet is created only
    // once there is an instrument to record, so that a failed or stopped start leaves no empty file behind.
    std::error_code error;
    const bool exists = toStandardOutput || std::filesystem::exists(pathFromUtf8(setup.path), error);
    if (exists) {
        recorder.start();
        if (!waitForTheFile(session, recorder))
            return stoppedBeforeOpening();
        if (!recorder.opened())
            return refuse(recorder.failureReason());
    } else if (const auto folder = pathFromUtf8(setup.path).parent_path();
               !folder.empty() && !std::filesystem::is_directory(folder, error)) {
        return refuse(std::strerror(ENOENT));
    }

    if (const int code = session.open(); code != kExitOk || session.stopSignal() != 0) {
        recorder.abandon();
        return code;
    }
#ifdef TORVEX_PUBLISH
    if (publishing) {
        // Batches the broker never acknowledged go beside a log file, else where publish puts them.
        std::vector<std::filesystem::path> folders;
        if (!toStandardOutput && !isStream(setup.path))
            folders.push_back(std::filesystem::absolute(pathFromUtf8(setup.path)).parent_path());
        for (const auto &folder : publishRecoveryFolders(session))
            folders.push_back(folder);
        if (const int code = publisher.connect(session, folders); code != kExitOk) {
            recorder.abandon();
            return code;
        }
    }
#endif
    // Recording starts now; the writer opens a new file meanwhile, and the reports wait for it in the queue.
    recorder.start();
#ifdef TORVEX_PUBLISH
    if (publishing)
        publisher.start(recorder.recorder());
#endif
    session.link().setReportHandler(
        [&recorder](std::span<const std::uint8_t> report) { recorder.handleReport(report); });
    if (!exists) {
        if (!waitForTheFile(session, recorder))
            return stoppedBeforeOpening();
        if (!recorder.opened())
            return refuse(recorder.failureReason());
    }
    session.describeProgress = [&] { return std::to_string(recorder.lines()) + " lines so far"; };

    std::uint64_t reportsBefore = 0;
    std::uint64_t lostShown = 0;
    bool failingShown = false;
    bool readerGone = false;
    auto previousTick = LoopDispatcher::Clock::now();
    auto tick = session.loop().repeatEvery(std::chrono::seconds(1), [&] {
        recorder.tick();
#ifdef TORVEX_PUBLISH
        if (publishing)
            publisher.tick(session);
#endif
        if (recorder.readerGone()) {
            // The expected end of a pipe (log - | head): one line, and nothing more is tried.
            readerGone = true;
            session.message("torvex-cli: the reader of " + name + " has gone; stopping");
            session.finish(kExitIo);
            return;
        }
        const std::uint64_t lost = recorder.lost();
        const bool failing = recorder.failing();
        if (lost != lostShown || failing != failingShown) {
            const std::string lostText = std::to_string(lost) + " lines lost";
            if (failing)
                session.message("torvex-cli: cannot write to " + name + " (" + recorder.failureReason()
                                + "): " + std::to_string(recorder.waiting()) + " lines waiting for it, " + lostText);
            else if (failingShown)
                session.message("torvex-cli: writing to " + name + " again; " + lostText + " in all");
            else
                session.message("torvex-cli: " + name + " does not take the lines as fast as they come; " + lostText
                                + " in all");
            lostShown = lost;
            failingShown = failing;
        }
        const auto now = LoopDispatcher::Clock::now();
        const double seconds = std::chrono::duration<double>(now - previousTick).count();
        const std::uint64_t waiting = recorder.waiting();
        const std::uint64_t written = recorder.lines() - lost - waiting;
        std::string text =
            std::to_string(written) + " lines, " + reportRateText(recorder.reports() - reportsBefore, seconds);
        if (!toStandardOutput) {
            std::error_code sizeError;
            const auto size = std::filesystem::file_size(pathFromUtf8(setup.path), sizeError);
            text += ", " + (sizeError ? std::string("?") : byteCountText(size));
        }
        if (failing)
            text += ", cannot write: " + std::to_string(waiting) + " waiting";
        else if (waiting > 0)
            text += ", " + std::to_string(waiting) + " waiting";
#ifdef TORVEX_PUBLISH
        if (publishing)
            text += "; broker: " + publisher.statusText();
#endif
        session.status(text);
        previousTick = now;
        reportsBefore = recorder.reports();
    });

    const int code = session.run();
    tick.reset();
    const LogRecorder::End end = recorder.stop();
    session.endStatus();
    bool allPublished = true;
#ifdef TORVEX_PUBLISH
    if (publishing)
        allPublished = publisher.stop(session);
#endif
    if (readerGone || (end.discarded > 0 && recorder.readerGone()))
        return code == kExitOk ? kExitIo : code;

    // Lines the file could not take are never dropped silently: they went to a recovery file, or are counted.
    if (end.writerStuck) {
        session.message("torvex-cli: " + name + " did not return from writing within the time allowed; "
                        + std::to_string(recorder.lost()) + " lines lost in all");
    } else if (end.rescue.lines > 0 && !end.rescue.path.empty()) {
        session.message("torvex-cli: cannot write to " + name + "; the " + std::to_string(end.rescue.lines)
                        + " lines waiting for it were saved to "
                        + pathToUtf8(std::filesystem::absolute(pathFromUtf8(end.rescue.path))));
    } else if (end.rescue.lines > 0) {
        session.message("torvex-cli: cannot write to " + name + "; the " + std::to_string(end.rescue.lines)
                        + " lines waiting for it are lost: no recovery file could be written");
    }
    const std::uint64_t rescued = end.rescue.path.empty() ? 0 : end.rescue.lines;
    const std::uint64_t written = recorder.lines() - recorder.lost() - rescued - end.discarded;
    std::string summary = "torvex-cli: " + std::to_string(written) + " lines written to " + name;
    if (recorder.lost() > 0)
        summary += "; " + std::to_string(recorder.lost()) + " lines lost to write errors";
    session.message(summary);
    return (recorder.lost() > 0 || rescued > 0 || end.discarded > 0 || !allPublished) && code == kExitOk ? kExitIo
                                                                                                         : code;
}

} // namespace torvex::cli
