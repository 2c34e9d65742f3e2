#include "cli/cli.h"
#include "cli/report_rate.h"
#include "cli/session.h"
#include "cli/settings_file.h"
#include "cli/text_util.h"
#include "cli/watch_screen.h"
#include "instrument/report_dispatch.h"

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
    // Before the session's link: it may still hand over a last report while it is destroyed.
    InputReportHandler handler;
    LocalClock clock;
    const bool perReport = options.format != Format::Text;
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
    if (options.format == Format::Csv)
        out << watchCsvHeader(view) << "\n";
    session.link().setReportHandler([&](std::span<const std::uint8_t> report) {
        if (!handler.handle(report).measurementHandled || !perReport)
            return;
        view.state = handler.measurement;
        // The count of this report as the log numbers it, from 0: the handler has already moved past it.
        view.state.MeasurementCount = handler.measurement.MeasurementCount - 1;
        out << (options.format == Format::Csv ? watchCsvLine(view, clock.now()) : watchJsonLine(view, clock.now()))
            << "\n";
    });

    size_t screenLines = 0;
    ReportRate rate;
    auto previous = LoopDispatcher::Clock::now();
    auto refresh = [&] {
        if (perReport) {
            out.flush(); // a program reading the lines gets them within the refresh
        } else {
            const auto now = LoopDispatcher::Clock::now();
            rate.add(std::exchange(handler.receivedCount, 0),
                     static_cast<std::uint32_t>(std::max<std::int64_t>(
                         1, std::chrono::duration_cast<std::chrono::milliseconds>(now - previous).count())));
            previous = now;
            view.reports = static_cast<std::uint32_t>(rate.reports());
            view.intervalMs = rate.ms();
            view.state = handler.measurement;
            view.connected = session.link().connected;
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
    if (code == kExitIo && !out)
        session.message("torvex-cli: standard output was closed");
    else if (screen && !view.note.empty())
        session.message(view.note); // the last word stays readable after the screen
    return code;
}

} // namespace torvex::cli
