#include "config/config_reply.h"

#include "test_names.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace torvex;

namespace {

const NumberFormat kComma{",", "\u00a0"};
const NumberFormat kDot{".", ","};

// Replies arrive in the 64 data bytes of an input report; pad the examples the way the instrument does.
std::vector<std::uint8_t> report(std::vector<std::uint8_t> data, std::size_t size = 64)
{
    data.resize(std::max(size, data.size()), 0);
    return data;
}

// The value a reply shows: parameter, channel (of the rules, the output) and field.
struct Expected {
    ParamId id;
    std::uint8_t channel;
    ConfigField field;
    ValueUpdate::Kind kind;
    int index;
    std::string text;
};

void expectUpdates(const ReplyEffects &fx, const std::vector<Expected> &expected)
{
    ASSERT_EQ(fx.updates.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(fx.updates[i].id, expected[i].id);
        EXPECT_EQ(fx.updates[i].channel, expected[i].channel);
        EXPECT_EQ(fx.updates[i].field, expected[i].field);
        EXPECT_EQ(fx.updates[i].kind, expected[i].kind);
        if (expected[i].kind == ValueUpdate::Kind::Select) {
            EXPECT_EQ(fx.updates[i].index, expected[i].index);
        } else {
            EXPECT_EQ(fx.updates[i].text, expected[i].text);
        }
    }
}

constexpr auto Sel = ValueUpdate::Kind::Select;
constexpr auto Txt = ValueUpdate::Kind::SetText;
constexpr auto V = ConfigField::Value;
using enum ParamId;

ReplyEffects effectsOf(const std::vector<std::uint8_t> &data, const NumberFormat &format = kComma)
{
    const auto reply = decodeConfigReply(data);
    EXPECT_TRUE(reply.has_value());
    return reply ? replyEffects(*reply, format) : ReplyEffects{};
}

struct ReplyCase {
    const char *name;
    std::vector<std::uint8_t> data;
    const NumberFormat *format;
    std::vector<Expected> updates;
};

class ReplyTable : public testing::TestWithParam<ReplyCase> {};

TEST_P(ReplyTable, SetsTheControlsInOrder)
{
    expectUpdates(effectsOf(report(GetParam().data), *GetParam().format), GetParam().updates);
}

const std::vector<std::uint8_t> kEncoder2Block{1, 9, 1, 1, 0, 232, 3, 0, 0, 0, 4, 0, 0, 0, 0, 22, 67, 0, 0, 128, 191};

// The window tests cover the everyday examples; these are the order of the updates and the odd values.
INSTANTIATE_TEST_SUITE_P(
    Table, ReplyTable,
    testing::Values(
        ReplyCase{"Encoder2Block",
                  kEncoder2Block,
                  &kComma,
                  {{EncMode, 1, V, Sel, 1, ""},
                   {EncClearByIndex, 1, V, Sel, 0, ""},
                   {EncGateTime, 1, V, Txt, 0, "1000"},
                   {EncResolution, 1, V, Txt, 0, "1024"},
                   {EncCoeff, 1, V, Txt, 0, "150,000"},
                   {EncOffset, 1, V, Txt, 0, "-1,000"}}},
        ReplyCase{"Encoder1OddValues",
                  {1, 9, 0, 7, 2, 255, 255, 255, 255, 0, 0, 0, 128, 0, 0, 128, 127, 0, 0, 192, 127},
                  &kComma,
                  {{EncMode, 0, V, Sel, -1, ""},
                   {EncClearByIndex, 0, V, Sel, -1, ""},
                   {EncGateTime, 0, V, Txt, 0, "-1"},
                   {EncResolution, 0, V, Txt, 0, "-2147483648"},
                   {EncCoeff, 0, V, Txt, 0, "INF"},
                   {EncOffset, 0, V, Txt, 0, "NAN"}}},
        ReplyCase{"AddressZero", {1, 11, 0, 0}, &kComma, {{ModbusAddress, 0, V, Sel, -1, ""}}},
        ReplyCase{"Address248", {1, 11, 0, 248}, &kComma, {{ModbusAddress, 0, V, Sel, -1, ""}}},
        ReplyCase{"ChannelOfTransmissionModeIgnored", {1, 5, 7, 2}, &kComma, {{TransmissionMode, 0, V, Sel, 2, ""}}},
        ReplyCase{"NegativeFilter", {1, 7, 0, 251, 255, 255, 255}, &kComma, {{TriggerFilter, 0, V, Txt, 0, "-5"}}}),
    [](const auto &row) { return std::string(row.param.name); });

TEST(RulesReply, FillsAllFourOutputsAndAsksForTheEnableRule)
{
    std::vector<std::uint8_t> data{1, 8, 0, 2, 1, 1, 102, 230, 246, 66};
    data.insert(data.end(), {0, 0, 0, 0, 0, 0, 0});
    data.insert(data.end(), {7, 0, 1, 0, 0, 0x80, 0xbf});
    data.insert(data.end(), {9, 2, 3, 0, 0, 0x80, 0x7f});
    for (const NumberFormat *format : {&kComma, &kDot}) {
        const ReplyEffects fx = effectsOf(report(data), *format);
        const bool comma = format == &kComma;
        expectUpdates(fx,
                      {{OutputRules, 0, ConfigField::Source, Sel, 2, ""},
                       {OutputRules, 0, ConfigField::Condition, Sel, 1, ""},
                       {OutputRules, 0, ConfigField::State, Sel, 1, ""},
                       {OutputRules, 0, ConfigField::Threshold, Txt, 0, comma ? "123,450" : "123.450"},
                       {OutputRules, 1, ConfigField::Source, Sel, 0, ""},
                       {OutputRules, 1, ConfigField::Condition, Sel, 0, ""},
                       {OutputRules, 1, ConfigField::State, Sel, 0, ""},
                       {OutputRules, 1, ConfigField::Threshold, Txt, 0, comma ? "0,000" : "0.000"},
                       {OutputRules, 2, ConfigField::Source, Sel, 7, ""},
                       {OutputRules, 2, ConfigField::Condition, Sel, 0, ""},
                       {OutputRules, 2, ConfigField::State, Sel, 1, ""},
                       {OutputRules, 2, ConfigField::Threshold, Txt, 0, comma ? "-1,000" : "-1.000"},
                       {OutputRules, 3, ConfigField::Source, Sel, -1, ""},
                       {OutputRules, 3, ConfigField::Condition, Sel, -1, ""},
                       {OutputRules, 3, ConfigField::State, Sel, -1, ""},
                       {OutputRules, 3, ConfigField::Threshold, Txt, 0, "INF"}});
        EXPECT_TRUE(fx.refreshOutputEnable);
    }
}

TEST(StatsReply, NineBigEndianCountersAsSignedLines)
{
    std::vector<std::uint8_t> data{1, 15, 0};
    for (int i = 0; i < 9; ++i)
        data.insert(data.end(), {0, 0, static_cast<std::uint8_t>(i), 1});
    data[3] = 0, data[4] = 0, data[5] = 0, data[6] = 1;             // BC = 1
    data[35] = 255, data[36] = 255, data[37] = 255, data[38] = 255; // ID = -1
    const ReplyEffects fx = effectsOf(report(data));
    ASSERT_TRUE(fx.stats);
    EXPECT_EQ((*fx.stats)[0], 1);
    EXPECT_EQ((*fx.stats)[8], -1);
    EXPECT_TRUE(fx.updates.empty());
    const std::vector<std::string> expected{"=====MODBUS STAT=====",
                                            "BC:  1",
                                            "FRA: 257",
                                            "FRC: 513",
                                            "TC:  769",
                                            "FE:  1025",
                                            "ORE: 1281",
                                            "NE:  1537",
                                            "PE:  1793",
                                            "ID:  -1"};
    EXPECT_EQ(fx.memoLines, expected);
}

struct IgnoredCase {
    const char *why;
    std::vector<std::uint8_t> data;
};

class IgnoredReply : public testing::TestWithParam<IgnoredCase> {};

TEST_P(IgnoredReply, DecodesToNothing) { EXPECT_FALSE(decodeConfigReply(GetParam().data)) << GetParam().why; }

std::vector<std::uint8_t> truncated(std::vector<std::uint8_t> data, std::size_t size)
{
    data.resize(size);
    return data;
}

INSTANTIATE_TEST_SUITE_P(
    Table, IgnoredReply,
    testing::Values(IgnoredCase{"stats on channel 1", report({1, 15, 1})},
                    IgnoredCase{"id 10 is only written", report({1, 10, 0, 1})},
                    IgnoredCase{"id 16 is read through id 9", report({1, 16, 0, 1})},
                    IgnoredCase{"id 0", report({1, 0, 0, 1})}, IgnoredCase{"id 4", report({1, 4, 0, 1})},
                    IgnoredCase{"id 21", report({1, 21, 0, 1})}, IgnoredCase{"id 255", report({1, 255, 0, 1})},
                    IgnoredCase{"encoder channel 3", report({1, 9, 3})},
                    IgnoredCase{"register slot 3", report({1, 14, 3, 1})},
                    IgnoredCase{"register slot 255", report({1, 14, 255, 1})},
                    IgnoredCase{"not a configuration reply", report({0, 5, 0, 1})}, IgnoredCase{"empty", {}},
                    IgnoredCase{"header only", {1, 5}}, IgnoredCase{"byte body missing", {1, 5, 0}},
                    IgnoredCase{"int32 one byte short", {1, 6, 0, 232, 3, 0}},
                    IgnoredCase{"encoder block one byte short", truncated(kEncoder2Block, 20)},
                    IgnoredCase{"rules one byte short", truncated(report({1, 8, 0}), 30)},
                    IgnoredCase{"stats one byte short", truncated(report({1, 15, 0}), 38)}),
    [](const auto &row) { return camelName(row.param.why); });

TEST(ReplyLength, ExactLayoutIsEnough)
{
    EXPECT_TRUE(decodeConfigReply(kEncoder2Block));
    EXPECT_TRUE(decodeConfigReply(truncated(report({1, 8, 0}), 31)));
    EXPECT_TRUE(decodeConfigReply(truncated(report({1, 15, 0}), 39)));
    EXPECT_TRUE(decodeConfigReply(std::vector<std::uint8_t>{1, 20, 0, 1}));
}

} // namespace
