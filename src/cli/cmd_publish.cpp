#include "cli/broker_publisher.h"
#include "cli/cli.h"
#include "cli/session.h"

#ifdef TORVEX_PUBLISH
#include "cli/text_util.h"
#include "instrument/report_dispatch.h"
#include "record/recorder.h"
#endif

namespace torvex::cli {

#ifndef TORVEX_PUBLISH

int runPublish(Session &session)
{
    session.message("torvex-cli: publishing to a broker is not available on this system");
    return kExitUsage;
}

#else

int runPublish(Session &session)
{
    BrokerPublisher publisher;
    if (!publisher.plan(session))
        return kExitUsage;
    if (const int code = session.open(); code != kExitOk)
        return code;
    if (const int code = publisher.connect(session, publishRecoveryFolders(session)); code != kExitOk)
        return code;

    InputReportHandler handler;
    Recorder recorder;
    recorder.setLineSettings(LogColumns::all(true), 1, '.');
    publisher.start(recorder);
    session.link().setReportHandler([&](std::span<const std::uint8_t> report) { handler.handle(report, &recorder); });
    session.describeProgress = [&] { return publisher.statusText(); };

    std::uint64_t recordsBefore = 0;
    auto previousTick = LoopDispatcher::Clock::now();
    auto tick = session.loop().repeatEvery(std::chrono::seconds(1), [&] {
        recorder.tick();
        publisher.tick(session);
        const auto now = LoopDispatcher::Clock::now();
        const double seconds = std::chrono::duration<double>(now - previousTick).count();
        session.status(reportRateText(recorder.records() - recordsBefore, seconds) + ", " + publisher.statusText());
        previousTick = now;
        recordsBefore = recorder.records();
    });

    const int code = session.run();
    tick.reset();
    session.endStatus();
    const bool allPublished = publisher.stop(session);
    return !allPublished && code == kExitOk ? kExitIo : code;
}

#endif

} // namespace torvex::cli
