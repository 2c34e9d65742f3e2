#include "config/write_payload.h"

#include "test_names.h"

#include <gtest/gtest.h>

#include <map>
#include <ostream>
#include <string>
#include <vector>

using namespace torvex;

namespace {

const NumberFormat kPolish{",", "\u00a0"};

std::vector<int> bytesOf(const Payload &p) { return {p.bytes().begin(), p.bytes().end()}; }

struct WriteTarget {
    const ParamInfo *param = nullptr;
    std::uint8_t channel = 0;
};

// The parameter and channel of the Write buttons the cases name, from the window's button table.
WriteTarget writeTarget(std::string_view button)
{
    static const std::map<std::string_view, std::pair<ParamId, std::uint8_t>> kButtons{
        {"button_encmode2", {ParamId::EncMode, 1}},
        {"button_encmode3", {ParamId::EncMode, 2}},
        {"button_time1", {ParamId::EncGateTime, 0}},
        {"button_time2", {ParamId::EncGateTime, 1}},
        {"button_resolution3", {ParamId::EncResolution, 2}},
        {"button_enccoeff1", {ParamId::EncCoeff, 0}},
        {"button_encoffset2", {ParamId::EncOffset, 1}},
        {"BitBtn45", {ParamId::SendInterval, 0}},
        {"BitBtn55", {ParamId::TriggerFilter, 0}},
        {"BitBtn7", {ParamId::ModbusAddress, 0}},
        {"BitBtn16", {ParamId::ModbusBaud, 0}},
        {"BitBtn20", {ParamId::GreenDisplay, 0}},
        {"BitBtn24", {ParamId::Beeper, 0}},
        {"button_trigmastetype_2", {ParamId::TriggerRegisterType, 1}},
    };
    const auto found = kButtons.find(button);
    return found == kButtons.end() ? WriteTarget{} : WriteTarget{&param(found->second.first), found->second.second};
}

// A Write button, as the window sees it: the button's name decides parameter and channel.
struct NumberCase {
    const char *button;
    std::string text;
    std::vector<int> payload; // empty: nothing sent
    FieldMark mark;
    const char *correctedText;
};

class NumberWriteTest : public testing::TestWithParam<NumberCase> {};

TEST_P(NumberWriteTest, SendsLimitedValueAndMarksField)
{
    const NumberCase &c = GetParam();
    const WriteTarget target = writeTarget(c.button);
    ASSERT_NE(target.param, nullptr) << c.button;
    const NumberWrite w = planNumberWrite(*target.param, target.channel, c.text, kPolish);
    EXPECT_EQ(w.field.mark, c.mark);
    EXPECT_EQ(w.field.correctedText, c.correctedText);
    if (c.payload.empty()) {
        EXPECT_FALSE(w.payload.has_value());
    } else {
        ASSERT_TRUE(w.payload.has_value());
        EXPECT_EQ(bytesOf(*w.payload), c.payload);
    }
}

// The window tests cover the everyday examples; these are the boundaries.
INSTANTIATE_TEST_SUITE_P(
    Table, NumberWriteTest,
    testing::Values(
        NumberCase{"button_time1", "1", {1, 0, 1, 0, 0, 0}, FieldMark::Keep, ""},
        NumberCase{"button_time2", "65535", {1, 1, 255, 255, 0, 0}, FieldMark::Keep, ""},
        NumberCase{"button_time1", "3000000000", {}, FieldMark::Error, ""},
        NumberCase{"button_time1", "-2147483648", {1, 0, 1, 0, 0, 0}, FieldMark::Corrected, "1"},
        NumberCase{"button_resolution3", "-7", {2, 2, 1, 0, 0, 0}, FieldMark::Corrected, "1"},
        NumberCase{"BitBtn45", "10000", {6, 0, 0x0f, 0x27, 0, 0}, FieldMark::Corrected, "9999"},
        NumberCase{"BitBtn55", "0", {7, 0, 0, 0, 0, 0}, FieldMark::Keep, ""},
        NumberCase{"BitBtn55", "123456", {7, 0, 0x0f, 0x27, 0, 0}, FieldMark::Corrected, "9999"},
        NumberCase{"button_enccoeff1", "10000", {3, 0, 0, 0x40, 0x1c, 0x46}, FieldMark::Keep, ""},
        NumberCase{"button_enccoeff1", "9999,9995", {3, 0, 0xff, 0x3f, 0x1c, 0x46}, FieldMark::Keep, ""},
        NumberCase{"button_enccoeff1", "-10000,5", {3, 0, 0xff, 0x3f, 0x1c, 0xc6}, FieldMark::Corrected, "-9999,999"},
        // Rounds to the float 10000, which is not above the limit.
        NumberCase{"button_enccoeff1", "10000,0004", {3, 0, 0, 0x40, 0x1c, 0x46}, FieldMark::Keep, ""},
        NumberCase{"button_encoffset2",
                   "1" + std::string(50, '0'),
                   {4, 1, 0xff, 0x3f, 0x1c, 0x46},
                   FieldMark::Corrected,
                   "9999,999"}),
    [](const auto &row) { return std::string(row.param.button) + "_" + testName(row.param.text); });

struct ListCase {
    const char *button;
    int index;
    std::vector<int> payload; // empty: nothing sent
};

class ListWriteTest : public testing::TestWithParam<ListCase> {};

TEST_P(ListWriteTest, SendsIndexOrNothingWithoutSelection)
{
    const ListCase &c = GetParam();
    const WriteTarget target = writeTarget(c.button);
    ASSERT_NE(target.param, nullptr) << c.button;
    const auto p = listWritePayload(*target.param, target.channel, c.index);
    if (c.payload.empty()) {
        EXPECT_FALSE(p.has_value());
    } else {
        ASSERT_TRUE(p.has_value());
        EXPECT_EQ(bytesOf(*p), c.payload);
    }
}

INSTANTIATE_TEST_SUITE_P(Table, ListWriteTest,
                         testing::Values(ListCase{"button_encmode3", 1, {0, 2, 1}}, ListCase{"BitBtn7", 0, {11, 0, 1}},
                                         ListCase{"BitBtn7", 246, {11, 0, 247}},
                                         ListCase{"button_trigmastetype_2", 5, {14, 1, 5}},
                                         // No selection: neither 255 nor the MODBUS broadcast address 0.
                                         ListCase{"BitBtn7", -1, {}}, ListCase{"BitBtn20", -1, {}},
                                         ListCase{"button_encmode2", -1, {}}, ListCase{"BitBtn16", 5, {}}),
                         [](const auto &row) {
                             const int index = row.param.index;
                             return std::string(row.param.button) + "_"
                                 + (index < 0 ? std::string("none") : std::to_string(index));
                         });

std::array<RuleInput, kOutputCount> exampleRules()
{
    return {{{2, 0, 1, "123,45"}, {0, 0, 0, ""}, {1, 0, 1, ""}, {0, 0, 0, ""}}};
}

TEST(RulesWrite, LettersInThresholdOfAnEncoderSourceSendNothing)
{
    auto rules = exampleRules();
    rules[0].thresholdText = "12345";
    rules[2] = {4, 1, 0, "abc"};
    const RulesWrite w = planRulesWrite(rules, kPolish);
    EXPECT_FALSE(w.payload);
    EXPECT_EQ(w.thresholds[0].mark, FieldMark::Corrected);
    EXPECT_EQ(w.thresholds[0].correctedText, "9999,999");
    EXPECT_EQ(w.thresholds[2].mark, FieldMark::Error);
    EXPECT_EQ(w.thresholds[3].mark, FieldMark::Keep);
    for (int k = 0; k < kOutputCount; ++k)
        EXPECT_EQ(w.unselected[k], RuleListMarks{}) << "a threshold error marks no list";
}

TEST(RulesWrite, CorrectedThresholdIsSent)
{
    auto rules = exampleRules();
    rules[3] = {7, 1, 0, "-20000"};
    const RulesWrite w = planRulesWrite(rules, kPolish);
    ASSERT_TRUE(w.payload);
    EXPECT_EQ(w.thresholds[3].correctedText, "-9999,999");
    const auto b = bytesOf(*w.payload);
    EXPECT_EQ(std::vector<int>(b.begin() + 23, b.begin() + 30), (std::vector<int>{7, 1, 0, 0xff, 0x3f, 0x1c, 0xc6}));
}

// Lists without a selection: the condition and state lists of a source that compares nothing are disabled and
// send 255; an enabled list without a selection stops the write and is named for the window to mark.
struct NoSelectionCase {
    const char *name;
    std::array<RuleInput, kOutputCount> rules;
    std::vector<int> records; // bytes 2..29 of the payload; empty: nothing sent
    int markedOutput = -1;
    RuleListMarks marks{};
};

void PrintTo(const NoSelectionCase &c, std::ostream *os) { *os << c.name; }

class RulesNoSelectionTest : public testing::TestWithParam<NoSelectionCase> {};

TEST_P(RulesNoSelectionTest, DisabledListsSend255EnabledOnesStopTheWrite)
{
    const NoSelectionCase &c = GetParam();
    const RulesWrite w = planRulesWrite(c.rules, kPolish);
    for (int k = 0; k < kOutputCount; ++k)
        EXPECT_EQ(w.unselected[k], k == c.markedOutput ? c.marks : RuleListMarks{}) << "output " << k;
    if (c.records.empty()) {
        EXPECT_FALSE(w.payload);
        return;
    }
    ASSERT_TRUE(w.payload);
    std::vector<int> expected{8, 0};
    expected.insert(expected.end(), c.records.begin(), c.records.end());
    expected.resize(44, 0);
    EXPECT_EQ(bytesOf(*w.payload), expected);
}

const std::vector<int> kOff{0, 255, 255, 0, 0, 0, 0}; // source 0, both lists without selection

INSTANTIATE_TEST_SUITE_P(
    Table, RulesNoSelectionTest,
    testing::Values(
        // What an instrument with erased rule memory replies: source 0, condition and state 0xFF.
        NoSelectionCase{"ErasedRulesAfterReply",
                        {{{0, -1, -1, "0,000"}, {0, -1, -1, "0,000"}, {0, -1, -1, "0,000"}, {0, -1, -1, "0,000"}}},
                        [] {
                            std::vector<int> r;
                            for (int k = 0; k < 4; ++k)
                                r.insert(r.end(), kOff.begin(), kOff.end());
                            return r;
                        }()},
        NoSelectionCase{"AlwaysActiveWithoutStateOrCondition",
                        {{{1, -1, -1, "x"}, {0, 0, -1, ""}, {1, 1, 0, ""}, {0, -1, 1, ""}}},
                        {1, 255, 255, 0, 0, 0, 0, 0, 0, 255, 0, 0, 0, 0, 1, 1, 0, 0, 0, 0, 0, 0, 255, 1, 0, 0, 0, 0}},
        NoSelectionCase{"IndexBeyondADisabledListIsNoSelection",
                        {{{0, 2, 7, ""}, {0, 0, 0, ""}, {0, 0, 0, ""}, {0, 0, 0, ""}}},
                        {0, 255, 255, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
        NoSelectionCase{"EnabledConditionWithoutSelection",
                        {{{0, -1, -1, ""}, {2, -1, 1, "1"}, {0, 0, 0, ""}, {0, 0, 0, ""}}},
                        {},
                        1,
                        {false, true, false}},
        NoSelectionCase{"EnabledConditionAndStateWithoutSelection",
                        {{{7, -1, -1, "1"}, {0, 0, 0, ""}, {0, 0, 0, ""}, {0, 0, 0, ""}}},
                        {},
                        0,
                        {false, true, true}},
        NoSelectionCase{"EnabledStateBeyondItsList",
                        {{{0, 0, 0, ""}, {0, 0, 0, ""}, {0, 0, 0, ""}, {3, 1, 2, "1"}}},
                        {},
                        3,
                        {false, false, true}},
        NoSelectionCase{"SourceWithoutSelection",
                        {{{0, 0, 0, ""}, {0, 0, 0, ""}, {-1, -1, -1, "abc"}, {0, 0, 0, ""}}},
                        {},
                        2,
                        {true, false, false}},
        // The first output that cannot be sent stops the write: later ones are neither marked nor read.
        NoSelectionCase{"FirstStopWins",
                        {{{2, 0, -1, "1"}, {-1, 0, 0, ""}, {2, -1, 0, "1"}, {0, 0, 0, ""}}},
                        {},
                        0,
                        {false, false, true}}),
    [](const auto &param) { return std::string(param.param.name); });

TEST(RulesWrite, ListsAreCheckedBeforeTheThreshold)
{
    auto rules = exampleRules();
    rules[1] = {5, -1, 0, "abc"};
    const RulesWrite w = planRulesWrite(rules, kPolish);
    EXPECT_FALSE(w.payload);
    EXPECT_EQ(w.unselected[1], (RuleListMarks{false, true, false}));
    EXPECT_EQ(w.thresholds[1].mark, FieldMark::Keep); // not read, so not marked as an error either
}

TEST(RulesPayload, FixedSourcesNeverCarryAThreshold)
{
    const Payload p = outputRulesPayload({{{0, 1, 1, 5.0f}, {1, 0, 0, -3.0f}, {2, 0, 0, 1.0f}, {7, 1, 1, 2.0f}}});
    ASSERT_EQ(p.size, 44u);
    const auto b = bytesOf(p);
    EXPECT_EQ(std::vector<int>(b.begin() + 5, b.begin() + 9), (std::vector<int>{0, 0, 0, 0}));
    EXPECT_EQ(std::vector<int>(b.begin() + 12, b.begin() + 16), (std::vector<int>{0, 0, 0, 0}));
    EXPECT_EQ(std::vector<int>(b.begin() + 19, b.begin() + 23), (std::vector<int>{0, 0, 0x80, 0x3f}));
}

} // namespace
