// One desk with two TORVEX, for both front ends: the window connects to the one it lists last, as it always
// has; torvex-cli will not pick one for the user, lists both and uses the one --device names.
#include "window_fixture.h"

#include "cli/cli_test_util.h"
#include "sim_instrument_device.h"

#include <QTest>

#include <gmock/gmock.h>

#include <memory>

using testing::HasSubstr;
using torvex::sim::SimInstrumentDevice;

namespace {

class TwoInstruments : public WindowFixture {
protected:
    void TearDown() override
    {
        WindowFixture::TearDown(); // the window lets go of its devices first
        instruments.clear();
    }

    SimInstrumentDevice &add(const std::string &instance, int sendInterval)
    {
        auto description = torvex::sim::instrumentDeviceDescription();
        description.instance = instance;
        instruments.push_back(std::make_unique<SimInstrumentDevice>(*platform, description));
        instruments.back()->driver().withInstrument(
            [&](auto &model) { model.parameters().sendInterval = sendInterval; });
        instruments.back()->start();
        return *instruments.back();
    }

    std::shared_ptr<torvex::sim::SimHidPlatform> platform = std::make_shared<torvex::sim::SimHidPlatform>();
    std::vector<std::unique_ptr<SimInstrumentDevice>> instruments;
};

} // namespace

TEST_F(TwoInstruments, WindowTakesTheLastListedCliRefusesToGuessAndUsesTheOneNamed)
{
    SimInstrumentDevice &one = add("one", 100);
    SimInstrumentDevice &two = add("two", 250);
    options().hidPlatform = platform;
    TFMain &w = window();
    ASSERT_TRUE(QTest::qWaitFor([&] { return w.Connected(); }, 5000));
    ASSERT_EQ(w.listedDevices().size(), 2u);
    EXPECT_EQ(w.CurrentDevice(), w.listedDevices().back());

    const cli_test::Result refused = cli_test::runCli(platform, {"watch", "--seconds", "1"});
    EXPECT_EQ(refused.code, torvex::cli::kExitNoInstrument);
    EXPECT_THAT(refused.err, HasSubstr("2 TORVEX instruments found:"));
    EXPECT_THAT(refused.err, HasSubstr("\n  sim:one  TORVEX"));
    EXPECT_THAT(refused.err, HasSubstr("\n  sim:two  TORVEX"));
    EXPECT_THAT(refused.err, HasSubstr("--device"));
    EXPECT_TRUE(one.device()->writtenReports().empty() && two.device()->writtenReports().empty());

    const cli_test::Result named = cli_test::runCli(platform, {"config", "get", "--device", "sim:two"});
    EXPECT_EQ(named.code, 0) << named.err;
    EXPECT_THAT(named.out, HasSubstr("SendInterval = 250\n"));
    EXPECT_TRUE(one.device()->writtenReports().empty()) << "nothing was asked of the other one";
}
