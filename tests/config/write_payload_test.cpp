#include "config/write_payload.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace torvex;

namespace {

const NumberFormat kPolish{",", "\u00a0"};

std::vector<int> bytesOf(const Payload &p) { return {p.bytes().begin(), p.bytes().end()}; }

// A Write button, as the window sees it: the button's name decides parameter and channel.
struct NumberCase {
    const char *button;
    const char *text;
    std::vector<int> payload; // empty: nothing sent
    FieldMark mark;
    const char *correctedText;
};

class NumberWriteTest : public testing::TestWithParam<NumberCase> {};

TEST_P(NumberWriteTest, SendsLimitedValueAndMarksField)
{
    const NumberCase &c = GetParam();
    const auto target = findWriteButton(c.button);
    ASSERT_TRUE(target.has_value()) << c.button;
    const NumberWrite w = planNumberWrite(*target->param, target->channel, c.text, kPolish);
    EXPECT_EQ(w.field.mark, c.mark);
    EXPECT_EQ(w.field.correctedText, c.correctedText);
    if (c.payload.empty()) {
        EXPECT_FALSE(w.payload.has_value());
    } else {
        ASSERT_TRUE(w.payload.has_value());
        EXPECT_EQ(bytesOf(*w.payload), c.payload);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, NumberWriteTest,
    testing::Values(
        NumberCase{"button_time1", "0", {1, 0, 1, 0, 0, 0}, FieldMark::Corrected, "1"},
        NumberCase{"button_time3", "70000", {1, 2, 255, 255, 0, 0}, FieldMark::Corrected, "65535"},
        NumberCase{"button_time2", "1000", {1, 1, 232, 3, 0, 0}, FieldMark::Keep, ""},
        NumberCase{"button_time1", "", {}, FieldMark::Error, ""},
        NumberCase{"button_time1", "12x", {}, FieldMark::Error, ""},
        NumberCase{"button_time1", "3000000000", {}, FieldMark::Error, ""},
        NumberCase{"button_resolution1", "20000", {2, 0, 0xff, 0x3f, 0, 0}, FieldMark::Corrected, "16383"},
        NumberCase{"button_resolution3", "-7", {2, 2, 1, 0, 0, 0}, FieldMark::Corrected, "1"},
        NumberCase{"BitBtn45", "0", {6, 0, 1, 0, 0, 0}, FieldMark::Corrected, "1"},
        NumberCase{"BitBtn45", "1000", {6, 0, 232, 3, 0, 0}, FieldMark::Keep, ""},
        NumberCase{"BitBtn45", "10000", {6, 0, 0x0f, 0x27, 0, 0}, FieldMark::Corrected, "9999"},
        NumberCase{"BitBtn55", "-5", {7, 0, 0, 0, 0, 0}, FieldMark::Corrected, "0"},
        NumberCase{"BitBtn55", "0", {7, 0, 0, 0, 0, 0}, FieldMark::Keep, ""},
        NumberCase{"BitBtn55", "123456", {7, 0, 0x0f, 0x27, 0, 0}, FieldMark::Corrected, "9999"},
        NumberCase{"button_enccoeff1", "150", {3, 0, 0, 0, 22, 67}, FieldMark::Keep, ""},
        NumberCase{"button_enccoeff2", "12345", {3, 1, 0xff, 0x3f, 0x1c, 0x46}, FieldMark::Corrected, "9999,999"},
        NumberCase{"button_enccoeff1", "-10000", {3, 0, 0, 0x40, 0x1c, 0xc6}, FieldMark::Keep, ""},
        NumberCase{"button_enccoeff1", "10000", {3, 0, 0, 0x40, 0x1c, 0x46}, FieldMark::Keep, ""},
        NumberCase{"button_enccoeff1", "10000,5", {3, 0, 0xff, 0x3f, 0x1c, 0x46}, FieldMark::Corrected,
                   "9999,999"},
        NumberCase{"button_enccoeff1", "-10000,5", {3, 0, 0xff, 0x3f, 0x1c, 0xc6}, FieldMark::Corrected,
                   "-9999,999"},
        NumberCase{"button_enccoeff3", "1,5", {3, 2, 0, 0, 0xc0, 0x3f}, FieldMark::Keep, ""},
        NumberCase{"button_enccoeff3", "1.5", {3, 2, 0, 0, 0xc0, 0x3f}, FieldMark::Keep, ""},
        NumberCase{"button_encoffset2", "-1", {4, 1, 0, 0, 0x80, 0xbf}, FieldMark::Keep, ""},
        NumberCase{"button_encoffset1", "abc", {}, FieldMark::Error, ""}));

TEST(NumberWrite, RealJustAboveTheLimitPassesUnchangedWhenItRoundsToTheLimit)
{
    // 10000.0004 rounds to the float 10000, which is not above the limit.
    const NumberWrite w = planNumberWrite(param(ParamId::EncCoeff), 0, "10000,0004", kPolish);
    EXPECT_EQ(w.field.mark, FieldMark::Keep);
    ASSERT_TRUE(w.payload);
    EXPECT_EQ(bytesOf(*w.payload), (std::vector<int>{3, 0, 0, 0x40, 0x1c, 0x46}));
}

struct ListCase {
    const char *button;
    int index;
    std::vector<int> payload; // empty: nothing sent
};

class ListWriteTest : public testing::TestWithParam<ListCase> {};

TEST_P(ListWriteTest, SendsIndexOrNothingWithoutSelection)
{
    const ListCase &c = GetParam();
    const auto target = findWriteButton(c.button);
    ASSERT_TRUE(target.has_value()) << c.button;
    const auto p = listWritePayload(*target->param, target->channel, c.index);
    if (c.payload.empty()) {
        EXPECT_FALSE(p.has_value());
    } else {
        ASSERT_TRUE(p.has_value());
        EXPECT_EQ(bytesOf(*p), c.payload);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, ListWriteTest,
    testing::Values(ListCase{"button_encmode3", 1, {0, 2, 1}}, ListCase{"button_encmode1", 0, {0, 0, 0}},
                    ListCase{"button_encclearC2", 1, {16, 1, 1}}, ListCase{"BitBtn53", 2, {5, 0, 2}},
                    ListCase{"BitBtn7", 0, {11, 0, 1}}, ListCase{"BitBtn7", 246, {11, 0, 247}},
                    ListCase{"BitBtn16", 4, {12, 0, 4}}, ListCase{"BitBtn9", 1, {13, 0, 1}},
                    ListCase{"button_trigmastetype_3", 5, {14, 2, 5}}, ListCase{"BitBtn18", 5, {17, 0, 5}},
                    ListCase{"BitBtn22", 1, {18, 0, 1}}, ListCase{"BitBtn20", 10, {19, 0, 10}},
                    ListCase{"BitBtn24", 1, {20, 0, 1}},
                    // No selection: neither 255 nor the MODBUS broadcast address 0.
                    ListCase{"BitBtn7", -1, {}}, ListCase{"BitBtn20", -1, {}}, ListCase{"button_encmode2", -1, {}},
                    ListCase{"BitBtn16", 5, {}}));

TEST(CommandWrite, ClearPositionSendsIdAndChannel)
{
    const auto target = findWriteButton("button_encclear2");
    ASSERT_TRUE(target);
    EXPECT_EQ(bytesOf(commandPayload(static_cast<std::uint8_t>(target->param->id), target->channel)),
              (std::vector<int>{10, 1}));
}

std::array<RuleInput, kOutputCount> exampleRules()
{
    return {{{2, 0, 1, "123,45"}, {0, 0, 0, ""}, {1, 0, 1, ""}, {0, 0, 0, ""}}};
}

TEST(RulesWrite, FullExampleGivesThe44BytePayload)
{
    const RulesWrite w = planRulesWrite(exampleRules(), kPolish);
    ASSERT_TRUE(w.payload);
    std::vector<int> expected{8, 0, 2, 0, 1, 102, 230, 246, 66, 0, 0, 0, 0, 0, 0, 0, 1, 0, 1, 0, 0, 0, 0};
    expected.resize(44, 0);
    EXPECT_EQ(bytesOf(*w.payload), expected);
    EXPECT_EQ(w.thresholds[0].mark, FieldMark::Keep);
    EXPECT_EQ(w.thresholds[1].mark, FieldMark::Normal);
    EXPECT_EQ(w.thresholds[2].mark, FieldMark::Normal);
}

TEST(RulesWrite, LettersInThresholdOfAFixedSourceAreNotRead)
{
    auto rules = exampleRules();
    rules[1] = {1, 1, 1, "abc"};
    const RulesWrite w = planRulesWrite(rules, kPolish);
    ASSERT_TRUE(w.payload);
    EXPECT_EQ(w.thresholds[1].mark, FieldMark::Normal);
    const auto b = bytesOf(*w.payload);
    EXPECT_EQ(std::vector<int>(b.begin() + 9, b.begin() + 16), (std::vector<int>{1, 1, 1, 0, 0, 0, 0}));
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

TEST(RulesWrite, ListWithoutSelectionSendsNothing)
{
    for (int field = 0; field < 3; ++field) {
        auto rules = exampleRules();
        int *slot[] = {&rules[2].source, &rules[2].condition, &rules[2].state};
        *slot[field] = -1;
        EXPECT_FALSE(planRulesWrite(rules, kPolish).payload) << field;
    }
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
