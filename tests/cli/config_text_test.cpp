#include "cli/config_text.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <vector>

using namespace torvex;
using namespace torvex::cli;
using testing::ElementsAre;
using testing::HasSubstr;

namespace {

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
