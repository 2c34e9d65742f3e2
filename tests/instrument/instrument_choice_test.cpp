// Which listed device becomes the instrument in use, by the front end's policy and the user's selection.
#include "instrument/instrument_link.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

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
        ChoiceCase{"SelectedPathNotListed", {torvexAt("a")}, ChoicePolicy::OnlyOne, "z", Outcome::NoSuchDevice}),
    [](const testing::TestParamInfo<ChoiceCase> &p) { return std::string(p.param.name); });
