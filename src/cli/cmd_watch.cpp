#include "cli/cli.h"
#include "cli/report_rate.h"
#include "cli/session.h"
#include "cli/settings_file.h"
#include "cli/text_util.h"
#include "cli/watch_screen.h"
#include "instrument/report_dispatch.h"
#include "record/log_file_output.h"
#include "record/recorder.h"

#include <algorithm>
#include <utility>

namespace torvex::cli {

int runWatch(Session &session)
{
    const CliOptions &options = session.options();
    WatchView view;
    view.separator = options.decimalSeparator.value_or(session.env().decimalSeparator);
    if (!options.settings.empty()) {
        const auto settings = readSettingsFile(options.settings, *session.env().err);
        if (!settings)
            return kExitIo;
        for (std::size_t i = 0; i < view.names.size(); ++i) { // from a file: shown with control characters escaped
            view.names[i] = visibleText(settings->names[i]);
            view.units[i] = visibleText(settings->units[i]);
        }
    }

    std::ostream &out = session.out();
    const bool perReport = options.format != Format::Text;
    if (perReport && session.env().outClosed) {
        session.message("torvex-cli: standard output is closed; nothing can be written to it");
        return kExitIo;
    }
    // A line per report goes through the recorder's writer thread, so a reader that pauses (a pipe, a terminal
    // held with Ctrl+S) costs no report. Before the session's link: it may still hand over a last report while
    // it is destroyed.
    Recorder recorder;
    std::shared_ptr<LogFileOutput> lineOutput;
    int linesId = 0;
    InputReportHandler handler;
    const bool screen = !perReport && session.env().outIsTerminal;
    if (screen) {
        // A message printed under the screen would scroll it: the screen shows the latest one instead.
        session.showMessage = [&view](const std::string &text) { view.note = text; };
    }
    if (const int code = session.open(); code != kExitOk) {
        session.showMessage = nullptr;
        if (!view.note.empty())
            session.message(view.note);
        return code;
    }
    view.device = visibleText(session.link().deviceText());
    if (perReport) {
        LogFileOutput::Options o;
        o.path = session.env().recordOutput;
        o.dropWhenReaderGone = true;
        const bool csv = options.format == Format::Csv;
        if (csv)
            o.firstLine = watchCsvHeader(view) + "\n";
        o.format = [view, csv](const MeasurementRecord &record) {
            WatchView v = view;
            v.state = record.measurement();
            return (csv ? watchCsvLine(v, record.local) : watchJsonLine(v, record.local)) + "\n";
        };
        lineOutput = std::make_shared<LogFileOutput>(std::move(o));
        linesId = recorder.addOutput(lineOutput);
    }
    session.link().setReportHandler(
        [&](std::span<const std::uint8_t> report) { handler.handle(report, perReport ? &recorder : nullptr); });

    size_t screenLines = 0;
    ReportRate rate;
    auto previous = LoopDispatcher::Clock::now();
    auto refresh = [&] {
        if (perReport) {
            recorder.tick(); // a program reading the lines gets them within the refresh
            if (LogFileOutput::readerGone(lineOutput->status().failure))
                session.finish(kExitIo); // nobody reads any more (a closed pipe)
            return;
        } else {
            const auto now = LoopDispatcher::Clock::now();
            rate.add(std::exchange(handler.receivedCount, 0),
                     static_cast<std::uint32_t>(std::max<std::int64_t>(
                         1, std::chrono::duration_cast<std::chrono::milliseconds>(now - previous).count())));
            previous = now;
            view.reports = static_cast<std::uint32_t>(rate.reports());
            view.intervalMs = rate.ms();
            view.state = handler.measurement;
            view.connected = session.link().connected();
            if (screen) {
                const std::vector<std::string> lines = watchScreen(view);
                if (screenLines > 0)
                    out << "\x1b[" << screenLines << "F"; // back to the first line of the previous screen
                for (const std::string &line : lines)
                    out << line << "\x1b[K\n";
                // A screen that got shorter leaves no old line below it.
                out << "\x1b[J";
                screenLines = lines.size();
            } else {
                out << watchLine(view) << "\n";
            }
            out.flush();
        }
        if (!out)
            session.finish(kExitIo); // nobody reads any more (a closed pipe)
    };
    auto timer = session.loop().repeatEvery(std::chrono::milliseconds(250), refresh);
    const int code = session.run();
    timer.reset();
    out.flush();
    session.showMessage = nullptr;
    bool outputClosed = code == kExitIo && !out;
    if (linesId != 0) {
        const std::uint64_t queueLost = recorder.lost(linesId);
        recorder.stopOutput(linesId, Recorder::Clock::now() + Recorder::kStopDeadline);
        const LogFileOutput::Status status = lineOutput->status();
        outputClosed = LogFileOutput::readerGone(status.failure);
        if (!outputClosed && status.rescue.lines > 0)
            session.message(
                "torvex-cli: cannot write to standard output; the " + std::to_string(status.rescue.lines)
                + " lines waiting for it "
                + (status.rescue.path.empty() ? std::string("are lost") : "were saved to " + status.rescue.path));
        if (outputClosed || status.dropped > 0 || queueLost > 0 || status.rescue.lines > 0) {
            if (outputClosed)
                session.message("torvex-cli: standard output was closed");
            return code == kExitOk ? kExitIo : code;
        }
    }
    if (outputClosed)
        session.message("torvex-cli: standard output was closed");
    else if (screen && !view.note.empty())
        session.message(view.note); // the last word stays readable after the screen
    return code;
}

} // namespace torvex::cli
