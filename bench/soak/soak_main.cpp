// The soak: the demo window with the instrument sending every millisecond and logging on, for a given time,
// then an exact account of every measurement report and what the process held at the start and the end.
//
//   torvex_soak [seconds] [folder]      (default 900 s; config.ini and pomiary.csv go into the folder, else into
//                                        a temporary one that is removed at the end)
// Without a display, run it with QT_QPA_PLATFORM=offscreen.

#include "soak_rig.h"
#include "torvex_application.h"

#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>
#include <string>

int main(int argc, char **argv)
{
    const int seconds = argc > 1 ? std::atoi(argv[1]) : 900;
    const QString keep = argc > 2 ? QString::fromLocal8Bit(argv[2]) : QString();
    int qtArgc = 1;
    TorvexApplication app(qtArgc, argv);
    QTemporaryDir temporary;
    const QString folder = keep.isEmpty() ? temporary.path() : keep;

    torvex::soak::SoakRig rig(folder, 1);
    if (!rig.start()) {
        std::fprintf(stderr, "the window did not connect to the simulated instrument\n");
        return 1;
    }
    rig.runFor(std::chrono::seconds(seconds), [&](int s) {
        if (s % 60 == 0) {
            const auto p = torvex::soak::sampleProcess();
            std::printf("%4d s: RSS %.1f MB, %d threads, %d open files, heap %.2f MB\n", s, p.rssMb, p.threads,
                        p.openFiles, static_cast<double>(p.heapBytes) / 1e6);
            std::fflush(stdout);
        }
    });
    const torvex::soak::SoakFigures f = rig.finish();
    const auto &i = f.instrument;
    const auto &l = f.file;

    std::printf("\nsoak: %.1f s of the instrument at 1 report/ms (%.0f send times), logging every column\n",
                f.instrumentSeconds, f.sendTimes);
    std::printf("| | count |\n|---|---|\n");
    std::printf("| reports produced by the instrument | %llu |\n", static_cast<unsigned long long>(i.produced));
    std::printf("| send times skipped by the instrument (its thread too late to catch up) | %llu |\n",
                static_cast<unsigned long long>(i.skipped));
    std::printf("| dropped by the instrument (device queue full) | %llu |\n",
                static_cast<unsigned long long>(i.dropped));
    std::printf("| ... of which before the window had connected | %llu |\n",
                static_cast<unsigned long long>(f.atStart.dropped));
    std::printf("| send times skipped while the window was connected | %llu |\n",
                static_cast<unsigned long long>(i.skipped - f.atStart.skipped));
    std::printf("| lost by the instrument (device gone) | %llu |\n", static_cast<unsigned long long>(i.lost));
    std::printf("| queued for the window | %llu |\n", static_cast<unsigned long long>(i.queued));
    std::printf("| handled by the window | %llu |\n", static_cast<unsigned long long>(f.handled));
    std::printf("| still queued at the end | %llu |\n", static_cast<unsigned long long>(f.stillQueued));
    std::printf("| lines in the file | %llu |\n", static_cast<unsigned long long>(l.lines));
    std::printf("| lines the log writer lost | %llu%s |\n", static_cast<unsigned long long>(f.writerDropped),
                f.writerFailing ? " (failing)" : "");
    std::printf("| torn lines | %llu |\n", static_cast<unsigned long long>(l.tornLines));
    std::printf("| counter breaks (first %lld, last %lld) | %llu |\n", static_cast<long long>(l.firstCounter),
                static_cast<long long>(l.lastCounter), static_cast<unsigned long long>(l.counterBreaks));
    std::printf("| largest step of the time column | %lld ms |\n", static_cast<long long>(l.largestStepMs));
    std::printf("| steps over 50 ms | %llu |\n\n", static_cast<unsigned long long>(l.stepsOver50Ms));

    std::printf("| process | start | end | peak |\n|---|---|---|---|\n");
    std::printf("| RSS | %.1f MB | %.1f MB | %.1f MB |\n", f.start.rssMb, f.end.rssMb, f.peakRssMb);
    std::printf("| threads | %d | %d | %d |\n", f.start.threads, f.end.threads, f.peakThreads);
    std::printf("| open files | %d | %d | %d |\n", f.start.openFiles, f.end.openFiles, f.peakOpenFiles);
    std::printf("| heap in use (%s) | %.2f MB | %.2f MB | |\n", torvex::soak::heapCounter().c_str(),
                static_cast<double>(f.start.heapBytes) / 1e6, static_cast<double>(f.end.heapBytes) / 1e6);
    std::printf("| CPU, share of one core | process %.1f %% | UI thread %.1f %% | |\n", 100 * f.processCpuShare,
                100 * f.uiThreadCpuShare);

    for (const QString &text : f.errorBoxes)
        std::printf("error box: %s\n", text.toLocal8Bit().constData());

    const bool balanced = i.produced == i.queued + i.dropped + i.lost && f.handled + f.stillQueued == i.queued
        && l.lines + f.writerDropped == f.handled && l.tornLines == 0 && l.counterBreaks == 0 && f.errorBoxes.isEmpty();
    std::printf("\naccounting %s\n", balanced ? "balances" : "DOES NOT BALANCE");
    return balanced ? 0 : 2;
}
