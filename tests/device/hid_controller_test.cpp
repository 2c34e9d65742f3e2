#include "device/hid_controller.h"
#include "sim_hid_platform.h"

#include <gtest/gtest.h>

#include <ostream>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <stdexcept>
#include <thread>
#include <vector>

using namespace std::chrono_literals;
using namespace torvex;
using sim::SimDeviceDescription;
using sim::SimHidDevice;
using sim::SimHidPlatform;

namespace {

SimDeviceDescription device(std::u16string name, uint16_t pid = 1, bool rw = true)
{
    SimDeviceDescription description;
    description.productName = std::move(name);
    description.vendorId = 0x1234;
    description.productId = pid;
    description.readWriteAccess = rw;
    description.caps = THidCaps{65, 65, 0};
    return description;
}

std::vector<uint8_t> report(uint8_t first, size_t size = 65)
{
    std::vector<uint8_t> r(size, 0);
    r[0] = 1;
    r[1] = first;
    for (size_t i = 2; i < size; ++i)
        r[i] = static_cast<uint8_t>(i);
    return r;
}

class ControllerTest : public ::testing::Test {
protected:
    void start()
    {
        controller = std::make_unique<THidDeviceController>(platform, ui);
        controller->OnDeviceChange = [this] { ++deviceChanges; };
        ui->drain(); // the posted start-up notice
    }

    // Serves the UI queue until `pred` holds or the time is up.
    bool pumpUntil(const std::function<bool()> &pred, std::chrono::milliseconds limit = 5s)
    {
        const auto end = std::chrono::steady_clock::now() + limit;
        while (!pred()) {
            if (std::chrono::steady_clock::now() > end)
                return false;
            ui->waitForWork(5ms);
            ui->drain();
        }
        return true;
    }

    THidDevice *claim(int idx)
    {
        THidDevice *d = controller->ClaimByIndex(idx);
        EXPECT_NE(d, nullptr);
        return d;
    }

    std::shared_ptr<SimHidPlatform> platform = std::make_shared<SimHidPlatform>();
    std::shared_ptr<ManualUiDispatcher> ui = std::make_shared<ManualUiDispatcher>();
    std::unique_ptr<THidDeviceController> controller;
    int deviceChanges = 0;
};

TEST_F(ControllerTest, StartupNoticeIsPostedAndAlwaysCountsAsAChange)
{
    controller = std::make_unique<THidDeviceController>(platform, ui);
    controller->OnDeviceChange = [this] { ++deviceChanges; };
    EXPECT_EQ(deviceChanges, 0) << "the first scan must wait for the event loop";
    ui->drain();
    EXPECT_EQ(deviceChanges, 1) << "start-up refresh with no device still notifies";

    platform->raiseNotice(); // nothing changed
    ui->drain();
    EXPECT_EQ(deviceChanges, 1);
    controller->DeviceChangeMessage(3, 0); // other event codes are not ours
    auto a = platform->plug(device(u"A"));
    ui->drain();
    EXPECT_EQ(deviceChanges, 2);
    EXPECT_EQ(controller->Count(), 1);
    platform->unplug(a);
    ui->drain();
    EXPECT_EQ(deviceChanges, 3);
    EXPECT_EQ(controller->Count(), 0);
}

// A backend whose change notices come through a descriptor that may stay silent (a udev monitor without a
// udev daemon) asks for a rescan as well: the owner must keep both.
TEST(ControllerNotices, DescriptorAndRescanAreBothWatched)
{
    struct Platform : SimHidPlatform {
        int noticeFd() const override { return 42; }
        void processNotices() override { ++processed; }
        std::chrono::milliseconds rescanInterval() const override { return 2s; }
        int processed = 0;
    };
    struct Dispatcher : ManualUiDispatcher {
        std::unique_ptr<UiWatch> watchReadable(int fd, std::function<void()> fn) override
        {
            watchedFd = fd;
            readable = std::move(fn);
            return std::make_unique<UiWatch>();
        }
        std::unique_ptr<UiWatch> repeatEvery(std::chrono::milliseconds interval, std::function<void()> fn) override
        {
            rescanEvery = interval;
            rescan = std::move(fn);
            return std::make_unique<UiWatch>();
        }
        int watchedFd = -1;
        std::function<void()> readable;
        std::chrono::milliseconds rescanEvery{0};
        std::function<void()> rescan;
    };
    auto platform = std::make_shared<Platform>();
    auto ui = std::make_shared<Dispatcher>();
    THidDeviceController controller(platform, ui);
    ui->drain();
    ASSERT_EQ(ui->watchedFd, 42);
    ui->readable();
    EXPECT_EQ(platform->processed, 1);
    ASSERT_EQ(ui->rescanEvery, 2s);
    platform->plug(device(u"A"));
    ui->drain(); // the simulated platform's own notice
    EXPECT_EQ(controller.Count(), 1);
    platform->setDeviceChangeSink(nullptr); // a change nobody announces: only the rescan finds it
    platform->plug(device(u"B", 2));
    ui->rescan();
    EXPECT_EQ(controller.Count(), 2);
}

// Where a device may hold a query for seconds (Windows), the scan runs off the UI thread: reports of the
// device in use keep being handed over while another device answers slowly, and the list then arrives whole,
// its names read beforehand.
TEST_F(ControllerTest, SlowDeviceQueryDoesNotHoldTheUiThread)
{
    platform->setQueriesMayBlock(true);
    auto fast = platform->plug(device(u"TORVEX"));
    start();
    ASSERT_TRUE(pumpUntil([&] { return controller->Count() == 1; }));
    THidDevice *d = claim(0);
    std::atomic<int> handled{0};
    d->SetDataHandler([&](THidDevice *, uint8_t, const uint8_t *, uint16_t) { ++handled; });

    auto slow = device(u"slow", 2);
    slow.productStringDelay = 1500ms;
    const auto plugged = std::chrono::steady_clock::now();
    platform->plug(slow);
    auto worst = 0ms;
    for (int i = 0; i < 20; ++i) {
        const int before = handled;
        const auto pushed = std::chrono::steady_clock::now();
        fast->pushInputReport(report(static_cast<uint8_t>(i)));
        ASSERT_TRUE(pumpUntil([&] { return handled > before; }, 3s));
        worst = std::max(
            worst, std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - pushed));
        std::this_thread::sleep_for(20ms);
    }
    EXPECT_LT(std::chrono::steady_clock::now() - plugged, 1500ms) << "the reports were not measured during the scan";
    EXPECT_LT(worst, 100ms);

    ASSERT_TRUE(pumpUntil([&] { return controller->Count() == 2; }));
    std::vector<std::u16string> names;
    controller->OnEnumerate = [&](THidDevice *dev, int) {
        const auto asked = std::chrono::steady_clock::now();
        names.push_back(dev->ProductName());
        EXPECT_LT(std::chrono::steady_clock::now() - asked, 100ms) << "asked the device again";
        return true;
    };
    controller->Enumerate();
    EXPECT_EQ(names, (std::vector<std::u16string>{u"TORVEX", u"slow"}));
}

// A system that sends a burst of notices for one plug-in gets one scan for them, after the delay.
TEST_F(ControllerTest, NoticesWithinTheMergeDelayGiveOneScan)
{
    platform->setQueriesMayBlock(true, 200ms);
    start();
    ASSERT_TRUE(pumpUntil([&] { return deviceChanges == 1; }));
    const size_t before = platform->listCalls();
    const auto first = std::chrono::steady_clock::now();
    platform->plug(device(u"A"));
    for (int i = 0; i < 4; ++i) {
        std::this_thread::sleep_for(30ms);
        platform->raiseNotice();
        ui->drain();
    }
    ASSERT_TRUE(pumpUntil([&] { return controller->Count() == 1; }));
    EXPECT_GE(std::chrono::steady_clock::now() - first, 200ms);
    pumpUntil([] { return false; }, 300ms);
    EXPECT_EQ(platform->listCalls() - before, 1u);
    EXPECT_EQ(deviceChanges, 2);
}

TEST_F(ControllerTest, UnavailablePlatformListsNothingAndNeverNotifies)
{
    platform->setAvailable(false);
    platform->plug(device(u"A"));
    start();
    controller->DeviceChangeMessage(kDeviceNodesChanged, 0);
    EXPECT_EQ(deviceChanges, 0);
    EXPECT_EQ(controller->Count(), 0);
    EXPECT_EQ(ui->pendingCount(), 0u);
}

TEST_F(ControllerTest, DevicesThatCannotBeOpenedOrIdentifiedAreLeftOut)
{
    auto unopenable = device(u"X");
    unopenable.openable = false;
    auto anonymous = device(u"Y");
    anonymous.identifiable = false;
    platform->plug(unopenable);
    platform->plug(anonymous);
    platform->plug(device(u"Z", 7, false)); // query-only is still listed
    start();
    ASSERT_EQ(controller->Count(), 1);
    EXPECT_EQ(controller->Device(0)->ProductId(), 7);
    EXPECT_FALSE(controller->Device(0)->ReadWriteAccess());
}

TEST_F(ControllerTest, PositionsClaimsAndReleases)
{
    auto a = platform->plug(device(u"A", 1));
    auto b = platform->plug(device(u"B", 2));
    auto c = platform->plug(device(u"C", 3));
    start();

    std::vector<std::pair<std::u16string, int>> seen;
    controller->OnEnumerate = [&](THidDevice *d, int idx) {
        seen.emplace_back(d->ProductName(), idx);
        return true;
    };
    EXPECT_EQ(controller->Enumerate(), 3);
    EXPECT_EQ(seen, (std::vector<std::pair<std::u16string, int>>{{u"A", 0}, {u"B", 1}, {u"C", 2}}));

    THidDevice *claimedB = claim(1);
    EXPECT_EQ(controller->ClaimByIndex(1), nullptr) << "already claimed";
    EXPECT_EQ(controller->ClaimByIndex(3), nullptr);
    EXPECT_EQ(controller->ClaimByIndex(-1), nullptr);
    THidDevice *claimedC = claim(2);

    // An unclaimed device that leaves is dropped at once; a newcomer goes to the end.
    platform->unplug(a);
    auto d = platform->plug(device(u"D", 4));
    ui->drain();
    ASSERT_EQ(controller->Count(), 3);
    EXPECT_EQ(controller->Device(0), claimedB);
    EXPECT_EQ(controller->Device(2)->ProductId(), 4);

    // Released while present: a fresh unclaimed object for the same instance at the same position.
    const std::string instanceB = claimedB->PnPInfo().DeviceInstance;
    claimedB->SetThreadSleepTime(250);
    claimedB->Release();
    ASSERT_EQ(controller->Count(), 3);
    EXPECT_EQ(controller->Device(0)->PnPInfo().DeviceInstance, instanceB);
    EXPECT_FALSE(controller->Device(0)->IsCheckedOut());
    EXPECT_EQ(controller->Device(0)->ThreadSleepTime(), 250);

    // Claimed and unplugged: stays listed, marked gone, until released; then the list is one shorter.
    int unplugCalls = 0;
    claimedC->SetUnplugHandler([&](THidDevice *dev) {
        EXPECT_EQ(dev, claimedC);
        ++unplugCalls;
    });
    platform->unplug(c);
    ui->drain();
    platform->raiseNotice();
    ui->drain();
    EXPECT_EQ(unplugCalls, 1);
    ASSERT_EQ(controller->Count(), 3);
    EXPECT_FALSE(claimedC->IsPluggedIn());
    seen.clear();
    EXPECT_EQ(controller->Enumerate(), 2) << "gone devices are not visited";
    claimedC->Release();
    EXPECT_EQ(controller->Count(), 2);

    // Re-plugging a device keeps nothing of the old object but its instance.
    platform->plug(c);
    ui->drain();
    EXPECT_EQ(controller->Count(), 3);
    EXPECT_EQ(controller->Device(2)->PnPInfo().DeviceInstance, c->pnpInfo().DeviceInstance);
    (void)d;
}

TEST_F(ControllerTest, EnumerationStopsOnFalseAndOnlyClaimedDevicesStayAccessible)
{
    platform->plug(device(u"A"));
    platform->plug(device(u"B"));
    start();
    int calls = 0;
    controller->OnEnumerate = [&](THidDevice *, int) { return ++calls < 1; };
    EXPECT_EQ(controller->Enumerate(), 1);

    // Outside an enumeration an unclaimed device cannot be read from, and its name is not cached as empty.
    THidDevice *b = controller->Device(1);
    EXPECT_EQ(b->ProductName(), u"");
    EXPECT_EQ(b->Caps().InputReportLength, 0);
    uint32_t written = 1;
    const auto out = report(0);
    EXPECT_FALSE(b->WriteReport(out.data(), 65, written));
    EXPECT_EQ(written, 0u);
    claim(1);
    EXPECT_EQ(b->ProductName(), u"B");
    EXPECT_EQ(b->Caps().InputReportLength, 65);
}

TEST_F(ControllerTest, ProductNameIsReadOnceCutAtNulAndEmptyWhenUnreadable)
{
    auto withNul = device(std::u16string(u"TORVEX\0junk", 11));
    auto unreadable = device(u"hidden");
    unreadable.productStringReadable = false;
    platform->plug(withNul);
    platform->plug(unreadable);
    start();
    EXPECT_EQ(claim(0)->ProductName(), u"TORVEX");
    EXPECT_EQ(claim(1)->ProductName(), u"");
}

struct StartCase {
    const char *name;
    bool readWrite;
    bool claimFirst;
    bool expectThread;
};

// Names only: the default would print the bytes of the whole case.
void PrintTo(const StartCase &c, std::ostream *os) { *os << c.name; }

class StartConditions : public ControllerTest, public ::testing::WithParamInterface<StartCase> {};

TEST_P(StartConditions, ReadThreadRunsOnlyWhenAllConditionsHold)
{
    const StartCase &c = GetParam();
    platform->plug(device(u"A", 1, c.readWrite));
    start();
    THidDevice *d = controller->Device(0);
    if (c.claimFirst)
        claim(0);
    const THidDataEvent handler = [](THidDevice *, uint8_t, const uint8_t *, uint16_t) {};
    d->SetDataHandler(handler);
    EXPECT_FALSE(c.claimFirst ? false : d->HasReadThread()) << "not claimed: no thread";
    if (!c.claimFirst)
        claim(0); // claiming a device whose handler is set starts the thread
    EXPECT_EQ(d->HasReadThread(), c.expectThread);

    // Setting a handler again while a thread runs starts no second one.
    THidDeviceReadThread *first = d->ReadThread();
    d->SetDataHandler(handler);
    EXPECT_EQ(d->ReadThread(), first);
    d->SetDataHandler(nullptr);
    EXPECT_FALSE(d->HasReadThread());
}

INSTANTIATE_TEST_SUITE_P(Controller, StartConditions,
                         ::testing::Values(StartCase{"claimedReadWrite", true, true, true},
                                           StartCase{"claimAfterHandler", true, false, true},
                                           StartCase{"noReadWriteAccess", false, true, false},
                                           StartCase{"noAccessClaimAfter", false, false, false}),
                         [](const auto &param) { return std::string(param.param.name); });

// A device that takes a while to open for reading, as on a busy system.
class SlowOpeningPlatform : public SimHidPlatform {
public:
    std::unique_ptr<HidReader> openReader(const THidPnPInfo &info, uint32_t &error) override
    {
        std::this_thread::sleep_for(200ms);
        return SimHidPlatform::openReader(info, error);
    }
};

TEST_F(ControllerTest, SettingTheHandlerReturnsWithTheDeviceOpenForReading)
{
    platform = std::make_shared<SlowOpeningPlatform>();
    auto sim = platform->plug(device(u"TORVEX"));
    start();
    THidDevice *d = claim(0);
    d->SetDataHandler([](THidDevice *, uint8_t, const uint8_t *, uint16_t) {});
    // The reply to a request sent now has a reader to go to (Windows keeps nothing for a handle not yet open).
    EXPECT_EQ(sim->openReaders(), 1u);
    d->SetDataHandler(nullptr);
}

TEST_F(ControllerTest, ReportsArriveOneAtATimeInOrderOnTheUiThreadWithIdStripped)
{
    auto sim = platform->plug(device(u"TORVEX"));
    start();
    THidDevice *d = claim(0);
    constexpr int kReports = 200;
    std::vector<int> order;
    std::atomic<bool> inHandler{false};
    bool concurrent = false;
    bool badLayout = false;
    const auto uiThread = std::this_thread::get_id();
    d->SetDataHandler([&](THidDevice *dev, uint8_t id, const uint8_t *data, uint16_t size) {
        concurrent |= inHandler.exchange(true) || std::this_thread::get_id() != uiThread || dev != d;
        badLayout |= id != 1 || size != 64 || data[1] != 2 || data[63] != 64;
        order.push_back(data[0]);
        inHandler = false;
    });
    std::thread producer([&] {
        for (int i = 0; i < kReports; ++i) {
            while (sim->pendingInputReports() > 32)
                std::this_thread::yield();
            sim->pushInputReport(report(static_cast<uint8_t>(i)));
        }
    });
    EXPECT_TRUE(pumpUntil([&] { return order.size() == kReports; }));
    producer.join();
    d->SetDataHandler(nullptr);
    EXPECT_FALSE(concurrent);
    EXPECT_FALSE(badLayout) << "65-byte report: id byte apart, Size 64, Data at the byte after it";
    for (int i = 0; i < static_cast<int>(order.size()); ++i)
        ASSERT_EQ(order[static_cast<size_t>(i)], i % 256);
    EXPECT_EQ(sim->readsPending(), 0u);
}

TEST_F(ControllerTest, StopWithReadPendingEndsAtOnceAndLeavesNoReadPending)
{
    auto sim = platform->plug(device(u"TORVEX"));
    start();
    THidDevice *d = claim(0);
    d->SetThreadSleepTime(10000);
    d->SetDataHandler([](THidDevice *, uint8_t, const uint8_t *, uint16_t) {});
    ASSERT_TRUE(pumpUntil([&] { return sim->readsPending() == 1; }));
    const auto begin = std::chrono::steady_clock::now();
    d->SetDataHandler(nullptr);
    EXPECT_LT(std::chrono::steady_clock::now() - begin, 5s) << "must not wait out the 10 s slice";
    EXPECT_EQ(sim->readsPending(), 0u);
    EXPECT_EQ(sim->openReaders(), 0u);
}

TEST_F(ControllerTest, StopWhileAHandOverIsPendingDeliversItAndDoesNotDeadlock)
{
    auto sim = platform->plug(device(u"TORVEX"));
    start();
    THidDevice *d = claim(0);
    std::vector<int> got;
    d->SetDataHandler([&](THidDevice *, uint8_t, const uint8_t *data, uint16_t) { got.push_back(data[0]); });
    sim->pushInputReport(report(42));
    ASSERT_TRUE(ui->waitForWork(5s)); // the read thread now blocks in its hand-over
    d->SetDataHandler(nullptr);
    EXPECT_EQ(got, std::vector<int>{42});
    EXPECT_FALSE(d->HasReadThread());
    sim->pushInputReport(report(43));
    std::this_thread::sleep_for(20ms);
    ui->drain();
    EXPECT_EQ(got, std::vector<int>{42}) << "nothing arrives after the stop";
}

TEST_F(ControllerTest, ThrowingHandlerReleasesTheReadThreadAndTheErrorReachesTheUiThread)
{
    auto sim = platform->plug(device(u"TORVEX"));
    start();
    THidDevice *d = claim(0);
    std::vector<int> got;
    d->SetDataHandler([&](THidDevice *, uint8_t, const uint8_t *data, uint16_t) {
        got.push_back(data[0]);
        if (data[0] == 1)
            throw std::runtime_error("bad report");
    });
    sim->pushInputReport(report(1));
    sim->pushInputReport(report(2));
    bool thrown = false;
    const auto end = std::chrono::steady_clock::now() + 5s;
    while (got.size() < 2 && std::chrono::steady_clock::now() < end) {
        ui->waitForWork(5ms);
        try {
            ui->drain();
        } catch (const std::runtime_error &e) {
            thrown = std::string(e.what()) == "bad report";
        }
    }
    EXPECT_EQ(got, (std::vector<int>{1, 2}));
    EXPECT_TRUE(thrown);

    // Thrown while the UI thread waits for the stop: the stop completes and the error comes out after it.
    d->SetDataHandler([](THidDevice *, uint8_t, const uint8_t *, uint16_t) { throw std::runtime_error("late"); });
    sim->pushInputReport(report(3));
    ASSERT_TRUE(ui->waitForWork(5s));
    EXPECT_THROW(d->SetDataHandler(nullptr), std::runtime_error);
    EXPECT_FALSE(d->HasReadThread());
}

TEST_F(ControllerTest, DeviceFailingEveryReadWaitsASliceBetweenTries)
{
    auto sim = platform->plug(device(u"TORVEX"));
    sim->setReadStartError(31);
    start();
    THidDevice *d = claim(0);
    std::vector<uint32_t> errors;
    d->SetDataErrorHandler([&](THidDevice *, uint32_t error) { errors.push_back(error); });
    d->SetThreadSleepTime(20);
    d->SetDataHandler([](THidDevice *, uint8_t, const uint8_t *, uint16_t) {});
    const auto begin = std::chrono::steady_clock::now();
    pumpUntil([] { return false; }, 300ms);
    const auto elapsed =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - begin);
    d->SetDataHandler(nullptr);
    ASSERT_FALSE(errors.empty());
    EXPECT_EQ(errors.front(), 31u);
    EXPECT_LE(sim->readStarts(), static_cast<size_t>(elapsed.count() / 20 + 3)) << "retries must not spin";
    EXPECT_EQ(d->ReadThread(), nullptr);

    // Reads work again once the device recovers.
    sim->setReadStartError(0);
    int reports = 0;
    d->SetDataHandler([&](THidDevice *, uint8_t, const uint8_t *, uint16_t) { ++reports; });
    sim->pushInputReport(report(1));
    EXPECT_TRUE(pumpUntil([&] { return reports == 1; }));
    d->SetDataHandler(nullptr);
}

TEST_F(ControllerTest, UnplugWhileReadingStopsTheThreadAndCallsTheUnplugHandlerOnce)
{
    auto sim = platform->plug(device(u"TORVEX"));
    platform->plug(device(u"other", 2));
    start();
    THidDevice *d = claim(0);
    int unplugs = 0;
    int removals = 0;
    controller->OnRemoval = [&](THidDevice *dev) { removals += dev == d; };
    d->SetUnplugHandler([&](THidDevice *) { ++unplugs; });
    d->SetDataHandler([](THidDevice *, uint8_t, const uint8_t *, uint16_t) {});
    ASSERT_TRUE(pumpUntil([&] { return sim->readsPending() == 1; }));
    platform->unplug(sim);
    ASSERT_TRUE(pumpUntil([&] { return deviceChanges == 2; }));
    EXPECT_EQ(unplugs, 1);
    EXPECT_EQ(removals, 1);
    EXPECT_FALSE(d->HasReadThread());
    EXPECT_EQ(sim->openReaders(), 0u);
    uint32_t written = 0;
    const auto out = report(0);
    EXPECT_FALSE(d->WriteReport(out.data(), 65, written));
    d->SetDataHandler(nullptr);
    d->Release();
    EXPECT_EQ(controller->Count(), 1);
}

// Unplugged and plugged again before the notices are handled (or a resume from sleep): the system lists the
// device as before, but the handles of the old connection are dead. Their failure replaces the device.
TEST_F(ControllerTest, DeadHandleAfterAFastReplugReplacesTheDevice)
{
    auto sim = platform->plug(device(u"TORVEX"));
    start();
    THidDevice *d = claim(0);
    int unplugs = 0;
    THidDevice *arrived = nullptr;
    controller->OnArrival = [&](THidDevice *dev) { arrived = dev; };
    d->SetUnplugHandler([&](THidDevice *) { ++unplugs; });
    d->SetDataHandler([](THidDevice *, uint8_t, const uint8_t *, uint16_t) {});
    ASSERT_TRUE(pumpUntil([&] { return sim->readsPending() == 1; }));
    platform->unplug(sim);
    platform->plug(sim);
    ASSERT_TRUE(pumpUntil([&] { return unplugs == 1 && arrived != nullptr; }));
    d->SetDataHandler(nullptr);
    d->Release();

    THidDevice *again = claim(0);
    ASSERT_EQ(again, arrived);
    int reports = 0;
    again->SetDataHandler([&](THidDevice *, uint8_t, const uint8_t *, uint16_t) { ++reports; });
    sim->pushInputReport(report(1));
    EXPECT_TRUE(pumpUntil([&] { return reports == 1; }));
}

TEST_F(ControllerTest, WriteReportWritesExactlyTheGivenBytesAndReportsFailureByResult)
{
    auto sim = platform->plug(device(u"TORVEX"));
    auto readOnly = platform->plug(device(u"ro", 2, false));
    start();
    THidDevice *d = claim(0);
    THidDevice *ro = claim(1);
    auto out = report(9);
    uint32_t written = 0;
    EXPECT_TRUE(d->WriteReport(out.data(), 65, written));
    EXPECT_EQ(written, 65u);
    ASSERT_EQ(sim->writtenReports().size(), 1u);
    EXPECT_EQ(sim->writtenReports()[0], out);

    EXPECT_FALSE(d->WriteReport(out.data(), 64, written)) << "the system refuses a wrong length";
    sim->setWriteFails(true);
    EXPECT_FALSE(d->WriteReport(out.data(), 65, written));
    EXPECT_EQ(written, 0u);
    sim->setWriteFails(false);
    sim->setWriteTimesOut(true);
    EXPECT_FALSE(d->WriteReport(out.data(), 65, written)) << "a write the device did not take in time";
    EXPECT_EQ(written, 0u);
    EXPECT_FALSE(ro->WriteReport(out.data(), 65, written)) << "no read/write access";
    EXPECT_TRUE(readOnly->writtenReports().empty());
}

TEST_F(ControllerTest, SleepTimeRangeAndControllerDefault)
{
    platform->plug(device(u"A"));
    platform->plug(device(u"B"));
    start();
    THidDevice *a = controller->Device(0);
    THidDevice *b = controller->Device(1);
    for (const auto &[value, expected] : std::vector<std::pair<int, int>>{
             {9, 100}, {10, 10}, {10000, 10000}, {10001, 10000}, {-5, 10000}, {100, 100}}) {
        a->SetThreadSleepTime(value);
        EXPECT_EQ(a->ThreadSleepTime(), expected) << value;
    }
    b->SetThreadSleepTime(500);
    controller->SetDevThreadSleepTime(40); // only devices still at the old default follow
    EXPECT_EQ(a->ThreadSleepTime(), 40);
    EXPECT_EQ(b->ThreadSleepTime(), 500);
    controller->SetDevThreadSleepTime(1); // out of range for devices: they keep theirs
    EXPECT_EQ(controller->DevThreadSleepTime(), 1);
    EXPECT_EQ(a->ThreadSleepTime(), 40);
    platform->plug(device(u"C"));
    ui->drain();
    EXPECT_EQ(controller->Device(2)->ThreadSleepTime(), 100) << "new devices always start at 100";
}

TEST_F(ControllerTest, DestroyingTheControllerWithAHandOverPendingEndsAndCallsNoDataHandler)
{
    auto sim = platform->plug(device(u"TORVEX"));
    start();
    THidDevice *d = claim(0);
    int reports = 0;
    int unplugs = 0;
    d->SetUnplugHandler([&](THidDevice *) { ++unplugs; });
    d->SetDataHandler([&](THidDevice *, uint8_t, const uint8_t *, uint16_t) { ++reports; });
    sim->pushInputReport(report(1));
    ASSERT_TRUE(ui->waitForWork(5s));
    controller.reset();
    EXPECT_EQ(reports, 0);
    EXPECT_EQ(unplugs, 1);
    EXPECT_EQ(sim->openReaders(), 0u);
    platform->plug(device(u"late")); // no sink any more
    ui->drain();
}

TEST_F(ControllerTest, HandlerMayClearItsOwnDataHandler)
{
    auto sim = platform->plug(device(u"TORVEX"));
    start();
    THidDevice *d = claim(0);
    int reports = 0;
    d->SetDataHandler([&](THidDevice *dev, uint8_t, const uint8_t *, uint16_t) {
        ++reports;
        dev->SetDataHandler(nullptr);
    });
    sim->pushInputReport(report(1));
    sim->pushInputReport(report(2));
    EXPECT_TRUE(pumpUntil([&] { return reports == 1; }));
    std::this_thread::sleep_for(20ms);
    ui->drain();
    EXPECT_EQ(reports, 1);
    EXPECT_FALSE(d->HasReadThread());
    d->Release();
}

} // namespace
