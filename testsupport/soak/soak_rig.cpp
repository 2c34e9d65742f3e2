#include "soak_rig.h"

#include "demo_devices.h"
#include "tfmain.h"

#include <QAbstractButton>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QLineEdit>
#include <QTimer>

#include <charconv>
#include <chrono>
#include <ctime>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

namespace torvex::soak {

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kColumns = 16; // every column ticked

std::int64_t civilMs(int year, int month, int day, int hour, int minute, int second, int ms)
{
    using namespace std::chrono;
    const sys_days date{std::chrono::year{year} / std::chrono::month{static_cast<unsigned>(month)}
                        / std::chrono::day{static_cast<unsigned>(day)}};
    return date.time_since_epoch().count() * 86'400'000LL + hour * 3'600'000LL + minute * 60'000LL + second * 1000LL
        + ms;
}

// "d-m-yyyy" and "h:m:s:ms" as the log line writes them; -1 when they are not.
std::int64_t lineTime(std::string_view date, std::string_view time)
{
    auto numbers = [](std::string_view text, char separator, int count, int *out) {
        int n = 0;
        int value = -1;
        for (const char c : text) {
            if (c == separator) {
                if (value < 0 || n == count)
                    return false;
                out[n++] = value;
                value = -1;
            } else if (c >= '0' && c <= '9') {
                value = (value < 0 ? 0 : value * 10) + (c - '0');
                if (value > 100000)
                    return false;
            } else {
                return false;
            }
        }
        if (value < 0 || n != count - 1)
            return false;
        out[n] = value;
        return true;
    };
    int d[3], t[4];
    if (!numbers(date, '-', 3, d) || !numbers(time, ':', 4, t))
        return -1;
    return civilMs(d[2], d[1], d[0], t[0], t[1], t[2], t[3]);
}

// The event loop, sleeping while there is nothing to do (as the program's does), for `ms`.
void spin(std::chrono::milliseconds ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

template <class Predicate>
bool spinUntil(Predicate done, std::chrono::milliseconds timeout)
{
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > timeout.count())
            return false;
        spin(std::chrono::milliseconds(5));
    }
    return true;
}

} // namespace

std::int64_t localTimeMs()
{
    const auto now = std::chrono::system_clock::now();
    const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    std::tm local{};
#ifdef _WIN32
    localtime_s(&local, &seconds);
#else
    localtime_r(&seconds, &local);
#endif
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
    return civilMs(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec,
                   static_cast<int>(ms));
}

LogFileCheck checkLogFile(const QString &path)
{
    LogFileCheck check;
    std::ifstream in(QFile::encodeName(path).toStdString(), std::ios::binary);
    std::string line;
    std::int64_t previousTime = -1;
    while (std::getline(in, line, '\n')) {
        if (in.eof() || line.empty() || line.back() != '\r') {
            ++check.tornLines; // no CR LF at its end
            continue;
        }
        line.pop_back();
        ++check.lines;
        std::vector<std::string_view> fields;
        std::string_view rest(line);
        for (std::size_t semicolon; (semicolon = rest.find(';')) != std::string_view::npos;) {
            fields.push_back(rest.substr(0, semicolon));
            rest.remove_prefix(semicolon + 1);
        }
        if (fields.size() != kColumns || !rest.empty()) {
            ++check.tornLines;
            continue;
        }
        std::int64_t counter = 0;
        const auto [end, error] = std::from_chars(fields[2].data(), fields[2].data() + fields[2].size(), counter);
        if (error != std::errc() || end != fields[2].data() + fields[2].size()) {
            ++check.tornLines;
            continue;
        }
        if (check.firstCounter < 0)
            check.firstCounter = counter;
        else if (counter != check.lastCounter + 1)
            ++check.counterBreaks;
        check.lastCounter = counter;
        const std::int64_t time = lineTime(fields[0], fields[1]);
        if (time < 0) {
            ++check.tornLines;
            continue;
        }
        if (previousTime >= 0) {
            const std::int64_t step = time - previousTime;
            check.largestStepMs = std::max(check.largestStepMs, step);
            check.stepsOver50Ms += step > 50 ? 1 : 0;
        }
        previousTime = time;
        check.lastLineTime = time;
    }
    return check;
}

SoakRig::SoakRig(const QString &folder, int sendIntervalMs) : sendIntervalMs_(sendIntervalMs)
{
    const QDir dir(folder);
    logPath_ = dir.filePath(QStringLiteral("pomiary.csv"));
    QFile::remove(logPath_); // the count starts at 0 in a fresh window: a file of an earlier run would not fit
    // As a user who has chosen the file and left logging on: it starts by itself.
    QFile settings(dir.filePath(QStringLiteral("config.ini")));
    if (settings.open(QIODevice::WriteOnly | QIODevice::Truncate))
        settings.write("[Options]\r\nSaveAuto=1\r\nFileName=" + QFile::encodeName(logPath_) + "\r\n");
    settings.close();

    previousSink_ = setErrorBoxSink([this](const QString &text) { figures_.errorBoxes.append(text); });

    platform_ = std::make_shared<sim::SimHidPlatform>();
    instrument_ = sim::plugDemoDevices(*platform_);
    instrument_->driver().withInstrument([&](sim::Instrument &i) { i.parameters().sendInterval = sendIntervalMs; });
    instrument_->start();
    instrumentStart_ = Clock::now();

    TFMainOptions options;
    options.settingsPath = settings.fileName();
    options.hidPlatform = platform_;
    window_ = std::make_unique<TFMain>(options);
    window_->show();
}

SoakRig::~SoakRig()
{
    window_.reset();
    instrument_.reset();
    setErrorBoxSink(std::move(previousSink_));
}

bool SoakRig::start(int timeoutMs)
{
    const bool ok = spinUntil([&] { return window_->Connected() && window_->Measurement.MeasurementCount > 0; },
                              std::chrono::milliseconds(timeoutMs));
    figures_.atStart = instrument_->driver().measurementCounts();
    figures_.start = sampleProcess();
    wallStart_ = Clock::now();
    uiCpuStart_ = threadCpuSeconds();
    sample();
    return ok;
}

void SoakRig::sample()
{
    const ProcessSample now = sampleProcess();
    figures_.peakRssMb = std::max(figures_.peakRssMb, now.rssMb);
    figures_.peakThreads = std::max(figures_.peakThreads, now.threads);
    figures_.peakOpenFiles = std::max(figures_.peakOpenFiles, now.openFiles);
}

void SoakRig::runFor(std::chrono::milliseconds ms, const std::function<void(int)> &everySecond)
{
    const auto end = Clock::now() + ms;
    auto nextSecond = Clock::now() + std::chrono::seconds(1);
    int seconds = 0;
    while (Clock::now() < end) {
        spin(std::min(std::chrono::milliseconds(100),
                      std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now())));
        if (Clock::now() >= nextSecond) {
            nextSecond += std::chrono::seconds(1);
            sample();
            if (everySecond)
                everySecond(++seconds);
        }
    }
}

SoakFigures SoakRig::finish()
{
    SoakFigures &f = figures_;
    f.end = sampleProcess();
    sample();
    const double wall = std::chrono::duration<double>(Clock::now() - wallStart_).count();
    f.processCpuShare = wall > 0 ? (f.end.cpuSeconds - f.start.cpuSeconds) / wall : 0;
    f.uiThreadCpuShare = wall > 0 ? (threadCpuSeconds() - uiCpuStart_) / wall : 0;

    instrument_->stop();
    f.instrumentSeconds = std::chrono::duration<double>(Clock::now() - instrumentStart_).count();
    f.sendTimes = f.instrumentSeconds * 1000.0 / sendIntervalMs_;
    f.instrument = instrument_->driver().measurementCounts();
    // Every queued report reaches the window unless it stops taking them.
    spinUntil([&] { return window_->Measurement.MeasurementCount >= f.instrument.queued; }, std::chrono::seconds(10));
    f.handled = window_->Measurement.MeasurementCount;
    f.stillQueued = instrument_->device()->pendingInputReports();

    if (QAbstractButton *stop = window_->findChild<QAbstractButton *>(QStringLiteral("save_button")))
        stop->click(); // stops logging and closes the file
    const torvex::LogFileOutput::Status log = window_->logOutputStatus();
    f.writerDropped = log.dropped;
    f.writerFailing = log.failing;
    f.file = checkLogFile(logPath_);
    return f;
}

} // namespace torvex::soak
