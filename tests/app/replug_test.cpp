// Many unplug/replug cycles of the instrument under the real window while reports flow: every cycle
// reconnects, and the process holds the same descriptors, threads and heap afterwards.
#include "demo_devices.h"
#include "process_probe.h"
#include "tfmain.h"

#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <cstdio>

namespace {

using namespace torvex::sim;

constexpr int kCycles = 200;
constexpr int kWaitMs = 10000;

TEST(Replug, TwoHundredCyclesWithReportsFlowingLeaveNothingBehind)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    auto platform = std::make_shared<SimHidPlatform>();
    const auto instrument = plugDemoDevices(*platform);
    instrument->driver().withInstrument([](Instrument &i) { i.parameters().sendInterval = 1; });
    instrument->start();
    TFMainOptions options;
    options.settingsPath = dir.filePath(QStringLiteral("config.ini"));
    options.hidPlatform = platform;
    auto window = std::make_unique<TFMain>(options);

    // Out, wait for the window to see it, back in, wait for a report through the new connection.
    auto cycle = [&] {
        instrument->unplug();
        if (!QTest::qWaitFor([&] { return !window->Connected(); }, kWaitMs))
            return false;
        const uint32_t before = window->Measurement.MeasurementCount;
        instrument->plugBack();
        return QTest::qWaitFor([&] { return window->Connected() && window->Measurement.MeasurementCount > before + 1; },
                               kWaitMs);
    };
    ASSERT_TRUE(QTest::qWaitFor([&] { return window->Connected(); }, kWaitMs));
    for (int n = 0; n < 5; ++n) // what is made once (caches, the first thread of a kind) is made now
        ASSERT_TRUE(cycle());
    const torvex::soak::ProcessSample before = torvex::soak::sampleProcess();
    ASSERT_TRUE(before.available);

    for (int n = 0; n < kCycles; ++n)
        ASSERT_TRUE(cycle()) << "cycle " << n << " did not reconnect";

    const torvex::soak::ProcessSample after = torvex::soak::sampleProcess();
    EXPECT_EQ(after.openFiles, before.openFiles);
    EXPECT_EQ(after.threads, before.threads);
    const auto grown = static_cast<long long>(after.heapBytes) - static_cast<long long>(before.heapBytes);
    std::printf("heap (%s): %zu before, %zu after %d cycles\n", torvex::soak::heapCounter().c_str(), before.heapBytes,
                after.heapBytes, kCycles);
    // Reports in the device's queue come and go (at most 64 of 65 bytes); a device object or a read thread
    // left behind per cycle would be far more than this.
    EXPECT_LT(grown, 16 * 1024) << "heap grew by " << grown << " bytes over " << kCycles << " cycles";
}

} // namespace
