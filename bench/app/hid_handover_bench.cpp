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

    Rig()
    {
        sim::SimDeviceSpec spec;
        spec.productName = u"TORVEX";
        spec.caps = THidCaps{65, 65, 0};
        spec.inputBufferCount = 64;
        device = platform->plug(spec);
        controller = std::make_unique<THidDeviceController>(platform, ui);
        QCoreApplication::processEvents();   // start-up refresh
        claimed = controller->ClaimByIndex(0);
    }

    ~Rig()
    {
        claimed->SetDataHandler(nullptr);
        controller.reset();
    }
};

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
    Rig rig;
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
        while (!stop) {
            if (rig.device->pendingInputReports() < 60)
                rig.device->pushInputReport(r);
            else
                std::this_thread::yield();
        }
    });
    for (auto _ : state) {
        target = handled + kBatch;
        loop.exec();
    }
    stop = true;
    producer.join();
    benchmark::DoNotOptimize(checksum);
    state.SetItemsProcessed(int64_t(state.iterations()) * kBatch);
    state.counters["reports_per_s"] = benchmark::Counter(double(state.iterations()) * kBatch, benchmark::Counter::kIsRate);
}

void BM_HidReportLatency(benchmark::State &state)
{
    Rig rig;
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

BENCHMARK(BM_HidReportsPerSecond)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);
BENCHMARK(BM_HidReportLatency)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
