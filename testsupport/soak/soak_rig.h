#pragma once

// The demo window under a long run: the demo's simulated devices, the instrument sending at a fixed interval,
// logging on with every column, the window's own timers running. At the end every measurement report is
// accounted for: sent or skipped by the instrument, dropped at the device's full queue, handled by the window,
// written to the log file.

#include "error_box.h"
#include "instrument_driver.h"
#include "process_probe.h"

#include <QString>
#include <QStringList>

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>

class TFMain;

namespace torvex::sim {
class SimHidPlatform;
class SimInstrumentDevice;
} // namespace torvex::sim

namespace torvex::soak {

// What the log file holds, read back line by line.
struct LogFileCheck {
    std::uint64_t lines = 0;         // lines ended by CR LF
    std::uint64_t tornLines = 0;     // lines without the 16 columns, and text after the last line end
    std::uint64_t counterBreaks = 0; // lines whose counter is not the previous one's plus one
    std::int64_t firstCounter = -1;
    std::int64_t lastCounter = -1;
    std::int64_t lastLineTime = -1; // local time of the last line, ms since 1970-01-01 (local calendar)
    std::int64_t largestStepMs = 0; // largest step of the date/time columns from one line to the next
    std::uint64_t stepsOver50Ms = 0;
};

// Reads a log file written with every column ticked.
LogFileCheck checkLogFile(const QString &path);

// The computer's local time now, in the form LogFileCheck::lastLineTime uses.
std::int64_t localTimeMs();

struct SoakFigures {
    double instrumentSeconds = 0; // from the instrument's start to its stop
    double sendTimes = 0;         // instrumentSeconds over the send interval
    sim::MeasurementReportCounts instrument;
    // The counts when the window had connected and handled its first report (taken on the fly: the instrument
    // is running, so they may be one report off). Before that the queue fills and the instrument drops.
    sim::MeasurementReportCounts atStart;
    std::uint64_t handled = 0;       // measurement reports handled by the window
    std::uint64_t stillQueued = 0;   // in the device's queue when the window was given up on (0 normally)
    std::uint64_t writerDropped = 0; // lines the log writer reported lost
    bool writerFailing = false;
    LogFileCheck file;
    ProcessSample start, end;
    double peakRssMb = 0;
    int peakThreads = 0;
    int peakOpenFiles = 0;
    double processCpuShare = 0; // process CPU time over wall time between the start and end samples
    double uiThreadCpuShare = 0;
    QStringList errorBoxes; // what the window would have shown in error boxes (none are shown during a run)
};

class SoakRig {
public:
    // config.ini and the log file go into `folder`.
    explicit SoakRig(const QString &folder, int sendIntervalMs = 1);
    ~SoakRig();
    SoakRig(const SoakRig &) = delete;
    SoakRig &operator=(const SoakRig &) = delete;

    // Waits until the window is connected and has handled a report; takes the start sample. False on timeout.
    bool start(int timeoutMs = 10000);
    // Runs the event loop for `ms`; `everySecond` is called once a second with the elapsed seconds.
    void runFor(std::chrono::milliseconds ms, const std::function<void(int)> &everySecond = {});
    // Takes the end sample, stops the instrument, lets the window take what is still queued, stops logging and
    // checks the file.
    SoakFigures finish();

    TFMain &window() { return *window_; }
    sim::SimInstrumentDevice &instrument() { return *instrument_; }
    QString logPath() const { return logPath_; }

private:
    void sample();

    QString logPath_;
    int sendIntervalMs_;
    std::shared_ptr<sim::SimHidPlatform> platform_;
    std::unique_ptr<sim::SimInstrumentDevice> instrument_;
    std::unique_ptr<TFMain> window_;
    std::chrono::steady_clock::time_point instrumentStart_;
    std::chrono::steady_clock::time_point wallStart_;
    double uiCpuStart_ = 0;
    SoakFigures figures_;
    ErrorBoxSink previousSink_;
};

} // namespace torvex::soak
