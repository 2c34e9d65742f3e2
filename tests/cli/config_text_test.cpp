#include "cli/config_text.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <vector>

using namespace torvex;
using namespace torvex::cli;
using testing::ElementsAre;
using testing::HasSubstr;

namespace {

std::vector<std::uint8_t> bytes(const Payload &p) { return {p.data.begin(), p.data.begin() + p.size}; }

// A configuration far from the factory one, with values that three decimals could not carry.
Configuration sample()
{
    Configuration c;
    c.set("Encoder1.Mode", std::int32_t{1});
    c.set("Encoder1.ClearByIndex", std::int32_t{1});
    c.set("Encoder1.GateTime", std::int32_t{65535});
    c.set("Encoder1.Resolution", std::int32_t{16383});
    c.set("Encoder1.Coeff", 0.0001f);
    c.set("Encoder1.Offset", -1.0f);
    c.set("Encoder2.Coeff", 150.0f);
    c.set("SendInterval", std::int32_t{1});
    c.set("Slot3.TriggerRegisterType", std::int32_t{5});
    c.set("Output1.Source", std::int32_t{2});
    c.set("Output1.Condition", std::int32_t{1});
    c.set("Output1.State", std::int32_t{1});
    c.set("Output1.Threshold", 123.45f);
    c.set("Output2.Threshold", -9999.999f);
    c.set("ModbusAddress", std::int32_t{247});
    c.set("ModbusBaud", std::int32_t{4});
    return c;
}

void expectSame(const Configuration &a, const Configuration &b)
{
    ASSERT_EQ(a.values.size(), b.values.size());
    for (size_t i = 0; i < a.values.size(); ++i)
        EXPECT_EQ(a.values[i], b.values[i]) << configKeys()[i].name;
}

TEST(ConfigText, KeysAreTheCatalogueNamesByChannel)
{
    const auto &keys = configKeys();
    EXPECT_EQ(keys.size(), 3u * 6 + 4 + 3 + 4 * 4 + 6);
    const auto gate2 = findConfigKey("Encoder2.GateTime");
    ASSERT_TRUE(gate2);
    EXPECT_EQ(keys[*gate2].id, ParamId::EncGateTime);
    EXPECT_EQ(keys[*gate2].channel, 1);
    EXPECT_EQ(findConfigKey("encoder2.gatetime"), gate2) << "letter case is not significant";
    const auto slot = findConfigKey("Slot3.TriggerRegisterType");
    ASSERT_TRUE(slot);
    EXPECT_EQ(keys[*slot].channel, 2);
    EXPECT_FALSE(findConfigKey("Encoder4.GateTime"));
    EXPECT_FALSE(findConfigKey("ModbusStats")) << "counters are not configuration";
}

TEST(ConfigText, IniAndJsonBothComeBackExactly)
{
    const Configuration original = sample();
    for (const std::string &text : {formatIni(original), formatJson(original)}) {
        const ParsedConfig parsed = parseConfigText(text);
        EXPECT_THAT(parsed.errors, testing::IsEmpty()) << text;
        expectSame(parsed.config, original);
    }
}

TEST(ConfigText, RealsShowThreeDecimalsUnlessTheValueNeedsMore)
{
    const Configuration c = sample();
    const std::string ini = formatIni(c);
    EXPECT_THAT(ini, HasSubstr("Encoder2.Coeff = 150.000\n"));
    EXPECT_THAT(ini, HasSubstr("Encoder1.Offset = -1.000\n"));
    EXPECT_THAT(ini, HasSubstr("Output1.Threshold = 123.450\n"));
    EXPECT_THAT(ini, HasSubstr("Encoder1.Coeff = 0.0001\n"));
    EXPECT_THAT(ini, HasSubstr("ModbusAddress = 247\n"));
    EXPECT_THAT(formatJson(c), HasSubstr("\"Encoder1\": {\n    \"Mode\": 1,"));
}

TEST(ConfigText, AnswersFillTheirKeys)
{
    // Reply data of the window's read-back example: encoder 2, per minute, 1000 ms, 1024 pulses, 150, -1.
    const std::vector<std::uint8_t> data{1, 9, 1, 1, 0, 232, 3, 0, 0, 0, 4, 0, 0, 0, 0, 22, 67, 0, 0, 128, 191};
    const auto reply = decodeConfigReply(data);
    ASSERT_TRUE(reply);
    Configuration c;
    applyReply(c, *reply);
    EXPECT_EQ(c.at("Encoder2.Mode"), ConfigValue{std::int32_t{1}});
    EXPECT_EQ(c.at("Encoder2.GateTime"), ConfigValue{std::int32_t{1000}});
    EXPECT_EQ(c.at("Encoder2.Resolution"), ConfigValue{std::int32_t{1024}});
    EXPECT_EQ(c.at("Encoder2.Coeff"), ConfigValue{150.0f});
    EXPECT_EQ(c.at("Encoder2.Offset"), ConfigValue{-1.0f});
    EXPECT_FALSE(c.at("Encoder1.GateTime")) << "other columns untouched";

    const std::vector<std::uint8_t> slot{1, 14, 2, 3};
    applyReply(c, *decodeConfigReply(slot));
    EXPECT_EQ(c.at("Slot3.TriggerRegisterType"), ConfigValue{std::int32_t{3}});
    EXPECT_THAT(keysOfRequest({9, 1}), testing::SizeIs(6));
    EXPECT_THAT(keysOfRequest({8, 0}), testing::SizeIs(16));
}

TEST(ConfigText, EveryReadRequestOfTheWindowIsAskedOnce)
{
    std::vector<std::pair<int, int>> asked;
    for (const ReadRequest &r : configReadRequests())
        asked.emplace_back(r.id, r.channel);
    EXPECT_THAT(asked,
                testing::UnorderedElementsAre(std::pair{9, 0}, std::pair{9, 1}, std::pair{9, 2}, std::pair{8, 0},
                                              std::pair{5, 0}, std::pair{6, 0}, std::pair{7, 0}, std::pair{13, 0},
                                              std::pair{14, 0}, std::pair{14, 1}, std::pair{14, 2}, std::pair{19, 0},
                                              std::pair{18, 0}, std::pair{20, 0}, std::pair{17, 0}, std::pair{11, 0},
                                              std::pair{12, 0}));
    // Together they cover every key of a file.
    std::vector<bool> covered(configKeys().size());
    for (const ReadRequest &r : configReadRequests())
        for (size_t k : keysOfRequest(r))
            covered[k] = true;
    EXPECT_THAT(covered, testing::Each(true));
}

TEST(ConfigText, PayloadsAreTheWriteButtonsBytes)
{
    Configuration c;
    c.set("Encoder1.Coeff", 150.0f);
    c.set("Encoder3.GateTime", std::int32_t{65535});
    c.set("Encoder3.Mode", std::int32_t{1});
    c.set("SendInterval", std::int32_t{1000});
    c.set("ModbusAddress", std::int32_t{247});
    c.set("ModbusBaud", std::int32_t{4});
    const auto writes = planWrites(c);
    ASSERT_EQ(writes.size(), 6u);
    EXPECT_THAT(bytes(writes[0].payload), ElementsAre(3, 0, 0, 0, 22, 67));
    EXPECT_EQ(writes[0].what, "Encoder1.Coeff");
    EXPECT_THAT(bytes(writes[1].payload), ElementsAre(0, 2, 1));
    EXPECT_THAT(bytes(writes[2].payload), ElementsAre(1, 2, 255, 255, 0, 0));
    EXPECT_THAT(bytes(writes[3].payload), ElementsAre(6, 0, 232, 3, 0, 0));
    EXPECT_THAT(bytes(writes[4].payload), ElementsAre(11, 0, 247));
    EXPECT_THAT(bytes(writes[5].payload), ElementsAre(12, 0, 4));
}

TEST(ConfigText, OutputRulesGoTogetherWithZeroThresholdsWhereNothingIsCompared)
{
    Configuration c;
    const std::array<std::array<int, 3>, 4> lists{{{2, 0, 1}, {0, 0, 0}, {1, 0, 1}, {0, 0, 0}}};
    const std::array<float, 4> thresholds{123.45f, 55.0f, 7.0f, 0.0f};
    for (int k = 0; k < 4; ++k) {
        const std::string o = "Output" + std::to_string(k + 1) + ".";
        c.set(o + "Source", std::int32_t{lists[k][0]});
        c.set(o + "Condition", std::int32_t{lists[k][1]});
        c.set(o + "State", std::int32_t{lists[k][2]});
        c.set(o + "Threshold", thresholds[k]);
    }
    const auto writes = planWrites(c);
    ASSERT_EQ(writes.size(), 1u);
    std::vector<std::uint8_t> expected{8, 0, 2, 0, 1, 102, 230, 246, 66, 0, 0, 0, 0, 0, 0, 0, 1, 0, 1, 0, 0, 0, 0};
    expected.resize(44, 0);
    EXPECT_EQ(bytes(writes[0].payload), expected);
    const Configuration after = expectedAfterWrite(c);
    EXPECT_EQ(after.at("Output2.Threshold"), ConfigValue{0.0f});
    EXPECT_EQ(after.at("Output1.Threshold"), ConfigValue{123.45f});
}

TEST(ConfigText, SomeRulesInAFileAreCompletedFromTheInstrument)
{
    Configuration file;
    file.set("Output3.State", std::int32_t{1});
    EXPECT_TRUE(needsCurrentRules(file));
    Configuration current;
    for (const char *key : {"Output1.Source", "Output2.Source", "Output3.Source", "Output4.Source"})
        current.set(key, std::int32_t{4});
    for (const char *key : {"Output1.Condition", "Output2.Condition", "Output3.Condition", "Output4.Condition",
                            "Output1.State", "Output2.State", "Output3.State", "Output4.State"})
        current.set(key, std::int32_t{0});
    for (const char *key : {"Output1.Threshold", "Output2.Threshold", "Output3.Threshold", "Output4.Threshold"})
        current.set(key, 2.5f);
    completeRules(file, current);
    EXPECT_FALSE(needsCurrentRules(file));
    EXPECT_EQ(file.at("Output3.State"), ConfigValue{std::int32_t{1}}) << "the file's own value wins";
    EXPECT_EQ(file.at("Output1.Source"), ConfigValue{std::int32_t{4}});
    EXPECT_FALSE(file.at("Encoder1.GateTime")) << "nothing else is added";
}

struct LimitCase {
    const char *name;
    const char *line;
    const char *refusal; // nullptr: accepted
};

class Limits : public testing::TestWithParam<LimitCase> {};

TEST_P(Limits, OutsideValuesAreRefusedByNameWithTheLimits)
{
    const ParsedConfig parsed = parseConfigText(GetParam().line);
    ASSERT_THAT(parsed.errors, testing::IsEmpty());
    const auto refused = checkLimits(parsed.config);
    if (GetParam().refusal == nullptr)
        EXPECT_THAT(refused, testing::IsEmpty());
    else
        EXPECT_THAT(refused, ElementsAre(GetParam().refusal));
}

INSTANTIATE_TEST_SUITE_P(
    Table, Limits,
    testing::Values(
        LimitCase{"GateTimeAbove", "Encoder2.GateTime = 70000",
                  "Encoder2.GateTime = 70000 is outside the limits 1..65535"},
        LimitCase{"GateTimeZero", "Encoder1.GateTime = 0", "Encoder1.GateTime = 0 is outside the limits 1..65535"},
        LimitCase{"GateTimeTop", "Encoder1.GateTime = 65535", nullptr},
        LimitCase{"ResolutionAbove", "Encoder3.Resolution = 20000",
                  "Encoder3.Resolution = 20000 is outside the limits 1..16383"},
        LimitCase{"FilterZeroAllowed", "TriggerFilter = 0", nullptr},
        LimitCase{"SendIntervalZero", "SendInterval = 0", "SendInterval = 0 is outside the limits 1..9999"},
        LimitCase{"CoeffAtLimit", "Encoder1.Coeff = -10000", nullptr},
        LimitCase{"CoeffAbove", "Encoder1.Coeff = 10000.5",
                  "Encoder1.Coeff = 10000.500 is outside the limits -10000..10000"},
        LimitCase{"ThresholdBelow", "Output4.Threshold = -12345",
                  "Output4.Threshold = -12345.000 is outside the limits -10000..10000"},
        LimitCase{"ModeBeyondList", "Encoder1.Mode = 2", "Encoder1.Mode = 2 is outside the limits 0..1"},
        LimitCase{"SourceBeyondList", "Output2.Source = 8", "Output2.Source = 8 is outside the limits 0..7"},
        LimitCase{"AddressZero", "ModbusAddress = 0", "ModbusAddress = 0 is outside the limits 1..247"},
        LimitCase{"GreenDisplayLast", "GreenDisplay = 10", nullptr},
        LimitCase{"NegativeIndex", "Beeper = -1", "Beeper = -1 is outside the limits 0..1"}),
    [](const testing::TestParamInfo<LimitCase> &p) { return std::string(p.param.name); });

TEST(ConfigText, SyntaxMistakesNameTheirLine)
{
    const ParsedConfig parsed = parseConfigText("; comment\n"
                                                "Encoder1.GateTime = 100 ; trailing comment\n"
                                                "Encoder1.Speed = 5\n"
                                                "Encoder1.Resolution = 1k\n"
                                                "just words\n"
                                                "encoder1.gatetime = 200\n"
                                                "Encoder1.Coeff = 1,5\n"
                                                "Encoder1.Offset = 1e3\n");
    EXPECT_THAT(parsed.errors,
                ElementsAre("line 3: unknown key Encoder1.Speed",
                            "line 4: Encoder1.Resolution: \"1k\" is not a whole number", "line 5: expected KEY = VALUE",
                            "line 6: Encoder1.GateTime is given twice",
                            "line 8: Encoder1.Offset: \"1e3\" is not a number"));
    EXPECT_EQ(parsed.config.at("Encoder1.GateTime"), ConfigValue{std::int32_t{100}});
    EXPECT_EQ(parsed.config.at("Encoder1.Coeff"), ConfigValue{1.5f}) << "a decimal comma is taken as the window does";
}

TEST(ConfigText, JsonMistakes)
{
    EXPECT_THAT(parseConfigText("{\"Encoder1\": {\"GateTime\": \"100\"}}").errors,
                ElementsAre("line 1: Encoder1.GateTime needs a number"));
    EXPECT_THAT(parseConfigText("{\"SendInterval\": 5,}").errors, ElementsAre("line 1: expected \""));
    EXPECT_THAT(parseConfigText("{\"A\": {\"B\": {\"C\": 1}}}").errors,
                ElementsAre("line 1: objects nest only one level"));
    EXPECT_THAT(parseConfigText("{\n\"Encoder1.GateTime\": 7\n} x").errors,
                ElementsAre("line 3: text after the closing }"));
    const ParsedConfig flat = parseConfigText("{\"Encoder1.GateTime\": 7, \"Output1\": {\"Threshold\": -0.5}}");
    EXPECT_THAT(flat.errors, testing::IsEmpty());
    EXPECT_EQ(flat.config.at("Output1.Threshold"), ConfigValue{-0.5f});
}

TEST(ConfigText, DifferencesNameTheKeyAndBothValues)
{
    Configuration written;
    written.set("Encoder2.GateTime", std::int32_t{500});
    written.set("Encoder2.Coeff", 1.5f);
    written.set("Beeper", std::int32_t{1});
    Configuration read;
    read.set("Encoder2.GateTime", std::int32_t{1000});
    read.set("Encoder2.Coeff", 1.5f);
    EXPECT_THAT(
        differences(written, read),
        ElementsAre("Encoder2.GateTime: written 500, read back 1000", "Beeper: written 1, read back: no answer"));
}

} // namespace
