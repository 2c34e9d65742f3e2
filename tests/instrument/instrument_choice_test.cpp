// Which listed device becomes the instrument in use, by the front end's policy and the user's selection.
#include "instrument/instrument_link.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

using namespace torvex;
using Outcome = Choice::Outcome;

namespace {

ListedDevice torvexAt(std::string path, bool claimFailed = false)
{
    ListedDevice d;
    d.label = "TORVEX";
    d.path = std::move(path);
    d.instrument = true;
    d.claimFailed = claimFailed;
    return d;
}

ListedDevice torvexWith(std::string path, std::string serial, std::string port)
{
    ListedDevice d = torvexAt(std::move(path));
    d.serial = std::move(serial);
    d.port = std::move(port);
    return d;
}

ListedDevice keyboardAt(std::string path)
{
    ListedDevice d;
    d.label = "USB Keyboard";
    d.path = std::move(path);
    return d;
}

struct ChoiceCase {
    const char *name;
    std::vector<ListedDevice> devices;
    ChoicePolicy policy;
    std::string selected; // --device; empty: none
    Outcome outcome;
    std::size_t chosen = 0;                 // Chosen, NotAnInstrument
    std::vector<std::size_t> instruments{}; // the usable instruments listed
};

class InstrumentChoice : public testing::TestWithParam<ChoiceCase> {};

} // namespace

TEST_P(InstrumentChoice, FollowsThePolicyAndTheSelection)
{
    const ChoiceCase &c = GetParam();
    const Choice choice = chooseInstrument(c.devices, c.policy, DeviceSelector{c.selected});
    EXPECT_EQ(choice.outcome, c.outcome);
    if (c.outcome == Outcome::Chosen || c.outcome == Outcome::NotAnInstrument) {
        EXPECT_EQ(choice.chosen, c.chosen);
    }
    if (c.selected.empty()) {
        EXPECT_EQ(choice.instruments, c.instruments);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, InstrumentChoice,
    testing::Values(
        ChoiceCase{"OneAmongOtherDevices",
                   {keyboardAt("k"), torvexAt("a")},
                   ChoicePolicy::OnlyOne,
                   "",
                   Outcome::Chosen,
                   1,
                   {1}},
        ChoiceCase{"SeveralAreRefusedWithoutASelection",
                   {torvexAt("a"), keyboardAt("k"), torvexAt("b")},
                   ChoicePolicy::OnlyOne,
                   "",
                   Outcome::Several,
                   0,
                   {0, 2}},
        ChoiceCase{"SeveralLastListedWins",
                   {torvexAt("a"), keyboardAt("k"), torvexAt("b")},
                   ChoicePolicy::LastListed,
                   "",
                   Outcome::Chosen,
                   2,
                   {0, 2}},
        ChoiceCase{"OneWhoseClaimFailedIsNeverUsed",
                   {torvexAt("a"), torvexAt("b", true)},
                   ChoicePolicy::LastListed,
                   "",
                   Outcome::Chosen,
                   0,
                   {0}},
        ChoiceCase{"None", {keyboardAt("k")}, ChoicePolicy::OnlyOne, "", Outcome::NoInstrument},
        ChoiceCase{"NothingListed", {}, ChoicePolicy::LastListed, "", Outcome::NoInstrument},
        ChoiceCase{
            "SelectedOneOfSeveral", {torvexAt("a"), torvexAt("b")}, ChoicePolicy::OnlyOne, "a", Outcome::Chosen, 0},
        ChoiceCase{"SelectedKeyboard",
                   {torvexAt("a"), keyboardAt("k")},
                   ChoicePolicy::OnlyOne,
                   "k",
                   Outcome::NotAnInstrument,
                   1},
        ChoiceCase{"SelectedPathNotListed", {torvexAt("a")}, ChoicePolicy::OnlyOne, "z", Outcome::NoSuchDevice},
        ChoiceCase{"SelectedBySerial",
                   {torvexWith("a", "TX1", "1-1"), torvexWith("b", "TX2", "1-2")},
                   ChoicePolicy::OnlyOne,
                   "TX2",
                   Outcome::Chosen,
                   1},
        ChoiceCase{"SelectedByPort",
                   {torvexWith("a", "", "1-1"), torvexWith("b", "", "1-2")},
                   ChoicePolicy::OnlyOne,
                   "1-1",
                   Outcome::Chosen,
                   0},
        ChoiceCase{"OneSerialOnTwoInstrumentsIsNoChoice",
                   {torvexWith("a", "0001", "1-1"), torvexWith("b", "0001", "1-2")},
                   ChoicePolicy::LastListed,
                   "0001",
                   Outcome::Several},
        ChoiceCase{
            "EmptySerialsNeverMatch", {torvexWith("a", "", "")}, ChoicePolicy::OnlyOne, "x", Outcome::NoSuchDevice}),
    [](const testing::TestParamInfo<ChoiceCase> &p) { return std::string(p.param.name); });

// After a replug the system hands out nodes afresh; what was chosen once must be found by what stays.
TEST(DeviceSelector, TheSameInstrumentIsFoundAgainByWhatStaysWithIt)
{
    const ListedDevice first = torvexWith("/dev/hidraw0", "TX1", "1-1");
    const std::vector<ListedDevice> swapped{torvexWith("/dev/hidraw0", "TX2", "1-2"),
                                            torvexWith("/dev/hidraw1", "TX1", "1-3")};
    const Choice bySerial = chooseInstrument(swapped, ChoicePolicy::OnlyOne, DeviceSelector::sameInstrumentAs(first));
    EXPECT_EQ(bySerial.outcome, Outcome::Chosen);
    EXPECT_EQ(bySerial.chosen, 1u) << "another port, the same serial number";

    const std::vector<ListedDevice> noSerials{torvexWith("/dev/hidraw0", "", "1-2"),
                                              torvexWith("/dev/hidraw1", "", "1-1")};
    const Choice byPort = chooseInstrument(noSerials, ChoicePolicy::OnlyOne,
                                           DeviceSelector::sameInstrumentAs(torvexWith("/dev/hidraw0", "", "1-1")));
    EXPECT_EQ(byPort.outcome, Outcome::Chosen);
    EXPECT_EQ(byPort.chosen, 1u);

    const Choice gone = chooseInstrument(std::vector<ListedDevice>{torvexWith("/dev/hidraw0", "TX2", "1-1")},
                                         ChoicePolicy::OnlyOne, DeviceSelector::sameInstrumentAs(first));
    EXPECT_EQ(gone.outcome, Outcome::NoSuchDevice) << "another instrument in its port is not it";
}

TEST(DeviceSelector, ALinkNamesTheNodeItPointsToNow)
{
#ifdef _WIN32
    GTEST_SKIP() << "device links are a udev thing";
#endif
    const std::filesystem::path dir = std::filesystem::temp_directory_path() / "torvex-choice-link-test";
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    for (const char *node : {"hidraw0", "hidraw1"})
        std::ofstream(dir / node) << "";
    const std::filesystem::path link = dir / "torvex-left";
    std::filesystem::create_symlink(dir / "hidraw1", link);
    const std::vector<ListedDevice> devices{torvexAt(std::filesystem::canonical(dir / "hidraw0").string()),
                                            torvexAt(std::filesystem::canonical(dir / "hidraw1").string())};
    EXPECT_EQ(chooseInstrument(devices, ChoicePolicy::OnlyOne, DeviceSelector{link.string()}).chosen, 1u);
    // As udev does on a replug: the link now points at the other node.
    std::filesystem::remove(link);
    std::filesystem::create_symlink(dir / "hidraw0", link);
    EXPECT_EQ(chooseInstrument(devices, ChoicePolicy::OnlyOne, DeviceSelector{link.string()}).chosen, 0u);
    std::filesystem::remove_all(dir);
}
