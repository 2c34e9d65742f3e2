#include "device/hid_controller.h"
#include "qt_ui_dispatcher.h"
#include "sim_hid_platform.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <atomic>
#include <stdexcept>
#include <thread>

using namespace torvex;

namespace {

bool spinUntil(const std::function<bool()> &pred, int ms = 5000)
{
    QElapsedTimer timer;
    timer.start();
    while (!pred()) {
        if (timer.elapsed() > ms)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return true;
}

TEST(QtUiDispatcher, HandOversRunOnTheEventLoopAndErrorsGoToTheHandler)
{
    auto ui = std::make_shared<QtUiDispatcher>();
    int errors = 0;
    ui->setErrorHandler([&] {
        try {
            throw;
        } catch (const std::runtime_error &) {
            ++errors;
        }
    });
    const auto uiThread = std::this_thread::get_id();
    std::atomic<int> ran{0};
    bool onUiThread = true;
    std::atomic<bool> workerDone{false};
    std::thread worker([&] {
        for (int i = 0; i < 50; ++i)
            ui->invoke([&] {
                onUiThread &= std::this_thread::get_id() == uiThread;
                ++ran;
            });
        ui->invoke([] { throw std::runtime_error("handler failed"); }); // must not block the worker
        workerDone = true;
    });
    EXPECT_TRUE(spinUntil([&] { return workerDone.load(); }));
    worker.join();
    EXPECT_EQ(ran.load(), 50);
    EXPECT_TRUE(onUiThread);
    EXPECT_EQ(errors, 1);
}

TEST(QtUiDispatcher, ControllerStartsFromTheLoopAndWatchesTheRescanTimer)
{
    auto platform = std::make_shared<sim::SimHidPlatform>();
    auto ui = std::make_shared<QtUiDispatcher>();
    auto device = platform->plug(sim::SimDeviceDescription{});
    THidDeviceController controller(platform, ui);
    int changes = 0;
    controller.OnDeviceChange = [&] { ++changes; };
    EXPECT_EQ(changes, 0);
    EXPECT_TRUE(spinUntil([&] { return changes == 1; }));
    platform->unplug(device); // notice from this thread, refresh from the loop
    EXPECT_TRUE(spinUntil([&] { return changes == 2; }));

    int ticks = 0;
    auto watch = ui->repeatEvery(std::chrono::milliseconds(10), [&] { ++ticks; });
    EXPECT_TRUE(spinUntil([&] { return ticks >= 2; }));
    watch.reset();
    const int stopped = ticks;
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < 40)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    EXPECT_EQ(ticks, stopped);
}

} // namespace
