// Reports through the HID layer into a handler on a Qt event loop: throughput with a device sending as fast as
// it can, and the latency from "report available" (pushed into the device's input queue) to "handler runs".
#include "device/hid_controller.h"
#include "qt_ui_dispatcher.h"
#include "sim_hid_platform.h"

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QMetaObject>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <thread>
#include <time.h>
#include <vector>

using namespace torvex;
using Clock = std::chrono::steady_clock;

namespace {

struct Rig {
    std::shared_ptr<sim::SimHidPlatform> platform = std::make_shared<sim::SimHidPlatform>();
    std::shared_ptr<QtUiDispatcher> ui = std::make_shared<QtUiDispatcher>();
    std::shared_ptr<sim::SimHidDevice> device;
    std::unique_ptr<THidDeviceController> controller;
    THidDevice *claimed = nullptr;

    explicit Rig(int spinMicroseconds)
    {
        ui->setSpin(std::chrono::microseconds(spinMicroseconds));
        sim::SimDeviceDescription description;
        description.productName = u"TORVEX";
        description.caps = THidCaps{65, 65, 0};
        description.inputBufferCount = 64;
        device = platform->plug(description);
        controller = std::make_unique<THidDeviceController>(platform, ui);
        QCoreApplication::processEvents(); // start-up refresh
        claimed = controller->ClaimByIndex(0);
    }

    ~Rig()
    {
        claimed->SetDataHandler(nullptr);
        controller.reset();
    }
};

int64_t processCpuMicroseconds()
{
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return int64_t(ts.tv_sec) * 1000000 + ts.tv_nsec / 1000;
}

std::vector<uint8_t> reportAt(Clock::time_point t)
{
    std::vector<uint8_t> r(65, 0);
    r[0] = 1;
    const int64_t ns = t.time_since_epoch().count();
    std::memcpy(&r[1], &ns, sizeof ns);
    return r;
}

void BM_HidReportsPerSecond(benchmark::State &state)
{
    Rig rig(int(state.range(0)));
    constexpr int kBatch = 20000;
    std::atomic<bool> stop{false};
    uint64_t handled = 0;
    uint64_t target = 0;
    uint64_t checksum = 0;
    QEventLoop loop;
    rig.claimed->SetDataHandler([&](THidDevice *, uint8_t, const uint8_t *data, uint16_t size) {
        checksum += data[size - 1] + size;
        if (++handled == target)
            loop.quit();
    });
    // Flood: keep the device's input buffer topped up from another thread.
    std::thread producer([&] {
        const auto r = reportAt(Clock::now());
        // Refill in bursts: waking the producer for every report would cost more than the hand-over itself.
        while (!stop) {
            if (!rig.device->waitForInputRoom(16, std::chrono::milliseconds(50)))
                continue;
            while (rig.device->pendingInputReports() < 60)
                rig.device->pushInputReport(r);
        }
    });
    const int64_t cpuStart = processCpuMicroseconds();
    for (auto _ : state) {
        target = handled + kBatch;
        loop.exec();
    }
    stop = true;
    producer.join();
    benchmark::DoNotOptimize(checksum);
    state.SetItemsProcessed(int64_t(state.iterations()) * kBatch);
    // CPU of the whole process per report: what the hand-over costs both threads together, load or not.
    state.counters["process_cpu_us_per_report"] =
        double(processCpuMicroseconds() - cpuStart) / (double(state.iterations()) * kBatch);
    state.counters["reports_per_s"] =
        benchmark::Counter(double(state.iterations()) * kBatch, benchmark::Counter::kIsRate);
}

void BM_HidReportLatency(benchmark::State &state)
{
    Rig rig(int(state.range(0)));
    constexpr int kSamples = 5000;
    std::vector<double> latencies;
    latencies.reserve(kSamples * 8);
    std::atomic<int> seen{0};
    QEventLoop loop;
    int goal = 0;
    rig.claimed->SetDataHandler([&](THidDevice *, uint8_t, const uint8_t *data, uint16_t) {
        int64_t ns = 0;
        std::memcpy(&ns, data, sizeof ns);
        latencies.push_back(double((Clock::now().time_since_epoch().count() - ns)) / 1000.0);
        if (seen.fetch_add(1) + 1 == goal)
            loop.quit();
    });
    for (auto _ : state) {
        goal = seen + kSamples;
        // One report at a time: the next is pushed only after the handler ran, so no queueing is measured.
        std::thread producer([&] {
            for (int i = 0; i < kSamples; ++i) {
                const int before = seen;
                rig.device->pushInputReport(reportAt(Clock::now()));
                while (seen == before)
                    std::this_thread::yield();
            }
        });
        loop.exec();
        producer.join();
    }
    std::sort(latencies.begin(), latencies.end());
    auto at = [&](double q) { return latencies[std::min(latencies.size() - 1, size_t(q * double(latencies.size())))]; };
    state.counters["median_us"] = at(0.5);
    state.counters["p99_us"] = at(0.99);
    state.counters["max_us"] = latencies.back();
    state.counters["samples"] = double(latencies.size());
}

// Argument: the dispatcher's spin in microseconds (0 is what the program uses: always sleep and wake).
BENCHMARK(BM_HidReportsPerSecond)->Arg(0)->Arg(20)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);
BENCHMARK(BM_HidReportLatency)->Arg(0)->Arg(20)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
