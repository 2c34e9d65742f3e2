#include "device/hand_over_dispatcher.h"

#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <thread>
#include <vector>

using namespace std::chrono_literals;
using torvex::ManualUiDispatcher;

namespace {

TEST(HandOverDispatcher, ServeUntilRunsHandOversButLeavesPostedWorkForTheLoop)
{
    ManualUiDispatcher ui;
    std::vector<int> order;
    ui.post([&] { order.push_back(1); }); // e.g. a device-change notice: must not re-enter a stop
    std::atomic<bool> handedOver{false};
    std::thread worker([&] {
        ui.invoke([&] { order.push_back(2); });
        handedOver = true;
    });
    ui.serveUntil([&] { return handedOver.load(); });
    worker.join();
    EXPECT_EQ(order, std::vector<int>{2});
    EXPECT_EQ(ui.drain(), 1u);
    EXPECT_EQ(order, (std::vector<int>{2, 1}));
}

TEST(HandOverDispatcher, ThrowingItemReleasesItsCallerAndTheRestStayQueued)
{
    ManualUiDispatcher ui;
    std::atomic<int> released{0};
    std::thread worker([&] {
        ui.invoke([] { throw std::runtime_error("first"); });
        ++released;
    });
    ASSERT_TRUE(ui.waitForWork(5s));
    int later = 0;
    ui.post([&] { ++later; });
    EXPECT_THROW(ui.drain(), std::runtime_error);
    worker.join();
    EXPECT_EQ(released.load(), 1);
    EXPECT_EQ(later, 0);
    EXPECT_TRUE(ui.waitForWork(0ms)) << "the item behind the failing one is still there";
    ui.drain();
    EXPECT_EQ(later, 1);
}

TEST(HandOverDispatcher, SpinningModeKeepsOrderAndReleasesEveryCaller)
{
    ManualUiDispatcher ui;
    ui.setSpin(50us, 5ms);
    constexpr int kItems = 500;
    std::vector<int> order;
    std::atomic<bool> done{false};
    std::thread worker([&] {
        for (int i = 0; i < kItems; ++i)
            ui.invoke([&order, i] { order.push_back(i); });
        done = true;
    });
    const auto end = std::chrono::steady_clock::now() + 10s;
    while (!done && std::chrono::steady_clock::now() < end) {
        ui.waitForWork(5ms);
        ui.drain();
    }
    worker.join();
    ASSERT_EQ(order.size(), size_t(kItems));
    for (int i = 0; i < kItems; ++i)
        ASSERT_EQ(order[size_t(i)], i);
}

} // namespace
