#include "cli/cli.h"
#include "cli/session.h"
#include "cli/settings_file.h"
#include "cli/watch_screen.h"
#include "instrument/report_dispatch.h"

#include <algorithm>
#include <utility>

namespace torvex::cli {

int runWatch(const CliOptions &options, CliEnv &env)
{
    WatchView view;
    view.separator = env.decimalSeparator;
    if (!options.settings.empty()) {
        const auto settings = readSettingsFile(options.settings, *env.err);
        if (!settings)
            return kExitIo;
        view.names = settings->names;
        view.units = settings->units;
    }

    // Before the session: its link may still hand over a last report while it is destroyed.
    InputReportHandler handler;
    Session session(options, env);
    if (const int code = session.open(); code != kExitOk)
        return code;
    view.device = session.link().devicePath();
    session.link().setReportHandler([&](std::span<const std::uint8_t> report) { handler.handle(report); });

    size_t screenLines = 0;
    auto previous = LoopDispatcher::Clock::now();
    auto refresh = [&] {
        const auto now = LoopDispatcher::Clock::now();
        view.intervalMs = static_cast<std::uint32_t>(
            std::max<std::int64_t>(1, std::chrono::duration_cast<std::chrono::milliseconds>(now - previous).count()));
        previous = now;
        view.reports = std::exchange(handler.receivedCount, 0);
        view.state = handler.measurement;
        view.connected = session.link().connected;
        std::ostream &out = *env.out;
        if (env.outIsTerminal) {
            const std::vector<std::string> lines = watchScreen(view);
            if (screenLines > 0)
                out << "\x1b[" << screenLines << "F"; // back to the first line of the previous screen
            for (const std::string &line : lines)
                out << line << "\x1b[K\n";
            screenLines = lines.size();
        } else {
            out << watchLine(view) << "\n";
        }
        out.flush();
        if (!out)
            session.finish(kExitIo); // nobody reads any more (a closed pipe)
    };
    auto timer = session.loop().repeatEvery(std::chrono::milliseconds(250), refresh);
    return session.run();
}

} // namespace torvex::cli
