#include "device/hid_controller.h"
#include "device/loop_dispatcher.h"

#include "sim_instrument_device.h"

#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <thread>
#include <vector>

#ifndef _WIN32
#include <unistd.h>
#endif

using namespace std::chrono_literals;
using torvex::LoopDispatcher;

namespace {

TEST(LoopDispatcher, HandOverRunsOnTheLoopThreadAndReleasesItsCaller)
{
    LoopDispatcher loop;
    const auto loopThread = std::this_thread::get_id();
    std::thread::id ranOn;
    std::atomic<bool> returned{false};
    std::thread worker([&] {
        loop.invoke([&] { ranOn = std::this_thread::get_id(); });
        returned = true;
        loop.wake();
    });
    EXPECT_EQ(loop.runFor(10s, [&] { return returned.load(); }), LoopDispatcher::RunEnd::Condition);
    worker.join();
    EXPECT_EQ(ranOn, loopThread);
}

TEST(LoopDispatcher, WorkFromAnotherThreadWakesALoopWithoutDeadline)
{
    LoopDispatcher loop;
    std::vector<int> order;
    std::thread worker([&] {
        std::this_thread::sleep_for(20ms);
        loop.post([&] { order.push_back(1); });
        loop.post([&] { order.push_back(2); });
        loop.quit();
    });
    // No deadline: only the wake-ups can end this run.
    EXPECT_EQ(loop.run(), LoopDispatcher::RunEnd::Quit);
    worker.join();
    loop.runFor(0ms); // whatever the quit overtook
    EXPECT_EQ(order, (std::vector<int>{1, 2}));
}

TEST(LoopDispatcher, QuitBeforeRunEndsTheNextRunOnce)
{
    LoopDispatcher loop;
    loop.quit();
    EXPECT_EQ(loop.run(), LoopDispatcher::RunEnd::Quit);
    EXPECT_EQ(loop.runFor(1ms), LoopDispatcher::RunEnd::Deadline);
}

TEST(LoopDispatcher, TimersRepeatUntilTheirWatchIsDestroyedEvenFromInsideTheCallback)
{
    LoopDispatcher loop;
    int ticks = 0;
    std::unique_ptr<torvex::UiWatch> timer;
    timer = loop.repeatEvery(5ms, [&] {
        if (++ticks == 3)
            timer.reset();
    });
    ASSERT_NE(timer, nullptr);
    // No deadline on the ticks themselves: a loaded machine may run them late, never too often.
    EXPECT_EQ(loop.runFor(10s, [&] { return ticks == 3; }), LoopDispatcher::RunEnd::Condition);
    loop.runFor(50ms);
    EXPECT_EQ(ticks, 3);
}

TEST(LoopDispatcher, ExceptionLeavesTheRunAndTheLoopGoesOn)
{
    LoopDispatcher loop;
    int later = 0;
    loop.post([] { throw std::runtime_error("handler failed"); });
    loop.post([&] { ++later; });
    EXPECT_THROW(loop.runFor(1s), std::runtime_error);
    EXPECT_EQ(loop.runFor(1s, [&] { return later == 1; }), LoopDispatcher::RunEnd::Condition);
}

#ifndef _WIN32
TEST(LoopDispatcher, ReadableDescriptorCallsItsWatch)
{
    LoopDispatcher loop;
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    int calls = 0;
    auto watch = loop.watchReadable(fds[0], [&] {
        char byte;
        ASSERT_EQ(::read(fds[0], &byte, 1), 1);
        ++calls;
    });
    ASSERT_NE(watch, nullptr);
    std::thread writer([&] { ASSERT_EQ(::write(fds[1], "x", 1), 1); });
    EXPECT_EQ(loop.runFor(10s, [&] { return calls == 1; }), LoopDispatcher::RunEnd::Condition);
    writer.join();
    watch.reset();
    ASSERT_EQ(::write(fds[1], "y", 1), 1);
    loop.runFor(20ms);
    EXPECT_EQ(calls, 1) << "a destroyed watch is not called";
    ::close(fds[0]);
    ::close(fds[1]);
}
#endif

// The controller, its read thread and the simulated instrument driven by nothing but this loop.
TEST(LoopDispatcher, DrivesTheHidControllerFromStartUpNoticeToReports)
{
    auto platform = std::make_shared<torvex::sim::SimHidPlatform>();
    torvex::sim::SimInstrumentDevice instrument(*platform);
    auto loop = std::make_shared<LoopDispatcher>();
    torvex::THidDeviceController controller(platform, loop);
    bool changed = false;
    controller.OnDeviceChange = [&] { changed = true; };
    ASSERT_EQ(loop->runFor(10s, [&] { return changed; }), LoopDispatcher::RunEnd::Condition);

    torvex::THidDevice *device = controller.ClaimByIndex(0);
    ASSERT_NE(device, nullptr);
    const auto loopThread = std::this_thread::get_id();
    int reports = 0;
    bool onLoopThread = true;
    device->SetDataHandler([&](torvex::THidDevice *, uint8_t, const uint8_t *, uint16_t size) {
        onLoopThread = onLoopThread && std::this_thread::get_id() == loopThread && size == 64;
        ++reports;
    });
    instrument.driver().withInstrument([](auto &model) { model.parameters().sendInterval = 1; });
    instrument.start();
    EXPECT_EQ(loop->runFor(10s, [&] { return reports >= 20; }), LoopDispatcher::RunEnd::Condition);
    device->SetDataHandler(nullptr); // stops the read thread while serving its last hand-over
    instrument.stop();
    EXPECT_TRUE(onLoopThread);
}

} // namespace
