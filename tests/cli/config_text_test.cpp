#include "cli/config_text.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <sstream>
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
    EXPECT_THAT(ini, HasSubstr("ModbusBaud = 4   ; 115200\n")) << "a list value with its item";
    EXPECT_THAT(ini, HasSubstr("Output1.Source = 2   ; ENKODER [1] (position)\n"));
    EXPECT_THAT(formatJson(c), HasSubstr("\"Encoder1\": {\n    \"Mode\": 1,"));
}

struct LimitCase {
    const char *name;
    const char *line;
    const char *refusal; // nullptr: accepted
};

class Limits : public testing::TestWithParam<LimitCase> {};

// Refused with the value as the user wrote it, whether the value is beyond the key's limits or beyond any value
// of its kind.
TEST_P(Limits, OutsideValuesAreRefusedByNameWithTheLimits)
{
    const ParsedConfig parsed = parseConfigText(GetParam().line);
    std::vector<std::string> refused = parsed.errors;
    for (const std::string &r : checkLimits(parsed))
        refused.push_back(r);
    if (GetParam().refusal == nullptr)
        EXPECT_THAT(refused, testing::IsEmpty());
    else
        EXPECT_THAT(refused, ElementsAre(GetParam().refusal));
}

INSTANTIATE_TEST_SUITE_P(
    Table, Limits,
    testing::Values(LimitCase{"GateTimeAbove", "Encoder2.GateTime = 70000",
                              "Encoder2.GateTime = 70000 is outside the limits 1..65535"},
                    LimitCase{"GateTimeZero", "Encoder1.GateTime = 0",
                              "Encoder1.GateTime = 0 is outside the limits 1..65535"},
                    LimitCase{"GateTimeTop", "Encoder1.GateTime = 65535", nullptr},
                    LimitCase{"ResolutionAbove", "Encoder3.Resolution = 20000",
                              "Encoder3.Resolution = 20000 is outside the limits 1..16383"},
                    LimitCase{"FilterZeroAllowed", "TriggerFilter = 0", nullptr},
                    LimitCase{"SendIntervalZero", "SendInterval = 0", "SendInterval = 0 is outside the limits 1..9999"},
                    LimitCase{"CoeffAtLimit", "Encoder1.Coeff = -10000", nullptr},
                    LimitCase{"CoeffAbove", "Encoder1.Coeff = 10000.5",
                              "Encoder1.Coeff = 10000.5 is outside the limits -10000..10000"},
                    LimitCase{"ThresholdAsWritten", "Output4.Threshold = 99999999999",
                              "Output4.Threshold = 99999999999 is outside the limits -10000..10000"},
                    LimitCase{"WholeBeyondAnyWhole", "Encoder1.GateTime = 99999999999",
                              "line 1: Encoder1.GateTime = 99999999999 is outside the limits 1..65535"},
                    LimitCase{"RealBeyondAnyReal", "Encoder1.Coeff = 1000000000000000000000000000000000000000",
                              "line 1: Encoder1.Coeff = 1000000000000000000000000000000000000000 is outside the "
                              "limits -10000..10000"},
                    LimitCase{"ModeBeyondList", "Encoder1.Mode = 2",
                              "Encoder1.Mode = 2 is not an item of the list: 0 per second, 1 per minute"},
                    LimitCase{"ConditionBeyondList", "Output2.Condition = 5",
                              "Output2.Condition = 5 is not an item of the list: 0 smaller, 1 larger"},
                    LimitCase{"AddressZero", "ModbusAddress = 0", "ModbusAddress = 0 is outside the limits 1..247"},
                    LimitCase{"GreenDisplayLast", "GreenDisplay = 10", nullptr},
                    LimitCase{"NegativeIndex", "Beeper = -1", "Beeper = -1 is not an item of the list: 0 No, 1 Yes"}),
    [](const testing::TestParamInfo<LimitCase> &p) { return std::string(p.param.name); });

struct NumberCase {
    const char *name;
    const char *text;
    const char *key;
    std::optional<ConfigValue> value; // nullopt: refused with `refusal`
    const char *refusal = "";
};

class Numbers : public testing::TestWithParam<NumberCase> {};

// Every number JSON allows, in either form; a whole-number key takes an exponent form only where it is whole.
TEST_P(Numbers, ExponentFormsAreNumbersWithinTheKeysRules)
{
    const ParsedConfig parsed = parseConfigText(GetParam().text);
    std::vector<std::string> refused = parsed.errors;
    for (const std::string &r : checkLimits(parsed))
        refused.push_back(r);
    if (GetParam().value) {
        EXPECT_THAT(refused, testing::IsEmpty());
        EXPECT_EQ(parsed.config.at(GetParam().key), GetParam().value);
    } else {
        EXPECT_THAT(refused, ElementsAre(GetParam().refusal));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, Numbers,
    testing::Values(
        NumberCase{"JsonSmallReal", "{\"Encoder1\": {\"Coeff\": 1e-05}}", "Encoder1.Coeff", ConfigValue{0.00001f}},
        NumberCase{"IniCapitalE", "Encoder1.Coeff = 2.5E+3", "Encoder1.Coeff", ConfigValue{2500.0f}},
        NumberCase{"RealTooSmallForAFloat", "Encoder1.Offset = -1e-60", "Encoder1.Offset", ConfigValue{-0.0f}},
        NumberCase{"RealTooLargeForAFloat", "Encoder1.Offset = 1e39", "Encoder1.Offset", std::nullopt,
                   "line 1: Encoder1.Offset = 1e39 is outside the limits -10000..10000"},
        NumberCase{"JsonWhole", "{\"SendInterval\": 1E3}", "SendInterval", ConfigValue{std::int32_t{1000}}},
        NumberCase{"WholeWithFraction", "Encoder1.GateTime = 1.5e1", "Encoder1.GateTime",
                   ConfigValue{std::int32_t{15}}},
        NumberCase{"WholeNegativeExponent", "Encoder1.GateTime = 1200e-2", "Encoder1.GateTime",
                   ConfigValue{std::int32_t{12}}},
        NumberCase{"NotWhole", "Encoder1.GateTime = 1.25e1", "Encoder1.GateTime", std::nullopt,
                   "line 1: Encoder1.GateTime: \"1.25e1\" is not a whole number"},
        NumberCase{"NotWholeSmall", "Encoder1.GateTime = 1e-3", "Encoder1.GateTime", std::nullopt,
                   "line 1: Encoder1.GateTime: \"1e-3\" is not a whole number"},
        NumberCase{"WholeTooLarge", "Encoder1.GateTime = 1e10", "Encoder1.GateTime", std::nullopt,
                   "line 1: Encoder1.GateTime = 1e10 is outside the limits 1..65535"},
        NumberCase{"WholeOutsideLimits", "Encoder1.GateTime = 7e4", "Encoder1.GateTime", std::nullopt,
                   "Encoder1.GateTime = 7e4 is outside the limits 1..65535"},
        NumberCase{"ListItemByName", "Beeper = Yes", "Beeper", std::nullopt,
                   "line 1: Beeper = Yes is not an item of the list: 0 No, 1 Yes"}),
    [](const testing::TestParamInfo<NumberCase> &p) { return std::string(p.param.name); });

TEST(ConfigText, SyntaxMistakesNameTheirLine)
{
    const ParsedConfig parsed = parseConfigText("; comment\n"
                                                "Encoder1.GateTime = 100 ; trailing comment\n"
                                                "Encoder1.Speed = 5\n"
                                                "Encoder1.Resolution = 1k\n"
                                                "just words\n"
                                                "encoder1.gatetime = 200\n"
                                                "Encoder1.Coeff = 1,5\n"
                                                "Encoder1.Offset = 1e\n");
    EXPECT_THAT(parsed.errors,
                ElementsAre("line 3: unknown key Encoder1.Speed (torvex-cli config keys lists them)",
                            "line 4: Encoder1.Resolution: \"1k\" is not a whole number", "line 5: expected KEY = VALUE",
                            "line 6: Encoder1.GateTime is given twice",
                            "line 8: Encoder1.Offset: \"1e\" is not a number"));
    EXPECT_EQ(parsed.config.at("Encoder1.GateTime"), ConfigValue{std::int32_t{100}});
    EXPECT_EQ(parsed.config.at("Encoder1.Coeff"), ConfigValue{1.5f}) << "a decimal comma is taken as the window does";
}

// Some other file given by mistake: the first refusals are kept to be shown, the rest only counted.
TEST(ConfigText, AFileOfMistakesKeepsTheFirstTwentyAndCountsTheRest)
{
    std::string text;
    for (int i = 0; i < 25; ++i)
        text += "not a key\n";
    const ParsedConfig parsed = parseConfigText(text);
    ASSERT_EQ(parsed.errors.size(), 20u);
    EXPECT_EQ(parsed.errors.back(), "line 20: expected KEY = VALUE");
    EXPECT_EQ(parsed.errorsNotKept, 5u);
}

TEST(ConfigText, JsonMistakes)
{
    EXPECT_THAT(parseConfigText("{\"Encoder1\": {\"GateTime\": \"100\"}}").errors,
                ElementsAre("Encoder1.GateTime needs a number"));
    EXPECT_THAT(parseConfigText("{\"SendInterval\": 5,}").errors,
                ElementsAre(testing::StartsWith("line 1, column 20: syntax error")));
    EXPECT_THAT(parseConfigText("{\"A\": {\"B\": {\"C\": 1}}}").errors, ElementsAre("objects nest only one level"));
    EXPECT_THAT(parseConfigText("{\n\"Encoder1.GateTime\": 7\n} x").errors,
                ElementsAre(testing::StartsWith("line 3, column 3: syntax error")));
    EXPECT_THAT(parseConfigText("{\"Beeper\": 1, \"Beeper\": 0}").errors, ElementsAre("Beeper is given twice"));
    const ParsedConfig flat = parseConfigText("{\"Encoder1.GateTime\": 7, \"Output1\": {\"Threshold\": -0.5}}");
    EXPECT_THAT(flat.errors, testing::IsEmpty());
    EXPECT_EQ(flat.config.at("Output1.Threshold"), ConfigValue{-0.5f});
}

// Windows editors put a byte order mark before UTF-8 text.
TEST(ConfigText, AByteOrderMarkIsNoPartOfTheFirstKey)
{
    for (const char *text : {"\xEF\xBB\xBF"
                             "Beeper = 1\n",
                             "\xEF\xBB\xBF{\"Beeper\": 1}"}) {
        const ParsedConfig parsed = parseConfigText(text);
        EXPECT_THAT(parsed.errors, testing::IsEmpty()) << text;
        EXPECT_EQ(parsed.config.at("Beeper"), ConfigValue{std::int32_t{1}}) << text;
    }
}

// Windows editors also save "Unicode" (UTF-16): refused by its name instead of read as keys full of NUL bytes.
TEST(ConfigText, WideEncodingsAreRefusedByName)
{
    using namespace std::string_literals;
    for (const auto &[text, encoding] : {std::pair{"\xFF\xFE"
                                                   "B\0e\0"s,
                                                   "UTF-16"},
                                         std::pair{"\xFE\xFF\0B\0e"s, "UTF-16"},
                                         std::pair{"\xFF\xFE\0\0"
                                                   "B\0\0\0"s,
                                                   "UTF-32"},
                                         std::pair{"\0\0\xFE\xFF\0\0\0B"s, "UTF-32"}})
        EXPECT_THAT(parseConfigText(text).errors,
                    ElementsAre("is "s + encoding
                                + " text (its byte order mark says so), which torvex-cli does not read: save it as "
                                  "UTF-8"));
}

TEST(ConfigText, SkipTakesAKeyOrAGroup)
{
    const auto names = [](const std::vector<std::size_t> &keys) {
        std::vector<std::string> out;
        for (std::size_t i : keys)
            out.push_back(configKeys()[i].name);
        return out;
    };
    EXPECT_THAT(names(findKeyOrGroup("output1")),
                ElementsAre("Output1.Source", "Output1.Condition", "Output1.State", "Output1.Threshold"));
    EXPECT_THAT(names(findKeyOrGroup("Beeper")), ElementsAre("Beeper"));
    EXPECT_THAT(findKeyOrGroup("Output"), testing::IsEmpty());
    EXPECT_THAT(findKeyOrGroup("Output1.Sourc"), testing::IsEmpty());
}

TEST(ConfigText, AssignmentsAreLinesOfTheIniForm)
{
    const ParsedConfig parsed = parseAssignments({"Encoder2.GateTime=500", "beeper = 1", "Slot9.X=1", "Beeper=0"});
    EXPECT_THAT(parsed.errors,
                ElementsAre("unknown key Slot9.X (torvex-cli config keys lists them)", "Beeper is given twice"));
    EXPECT_EQ(parsed.config.at("Encoder2.GateTime"), ConfigValue{std::int32_t{500}});
}

TEST(ConfigText, AFileThatCannotBeReadSaysWhy)
{
    std::string text;
    std::string reason;
    EXPECT_FALSE(readConfigFile(std::filesystem::temp_directory_path().string(), nullptr, text, reason));
    EXPECT_EQ(reason, "is a folder");
    EXPECT_FALSE(readConfigFile("/nonexistent/backup.ini", nullptr, text, reason));
    EXPECT_EQ(reason, "No such file or directory");
    std::istringstream in("Beeper = 1\n");
    EXPECT_TRUE(readConfigFile("-", &in, text, reason));
    EXPECT_EQ(text, "Beeper = 1\n");

    // No configuration is that large: read no further than the limit, be it a file, endless or standard input.
    const char *const tooLarge = "it is larger than 1 MiB, which no configuration file is (config get writes under "
                                 "10 kB)";
    EXPECT_FALSE(readConfigFile("/dev/zero", nullptr, text, reason));
    EXPECT_EQ(reason, tooLarge);
    std::istringstream large(std::string(1024 * 1024 + 1, '\n'));
    EXPECT_FALSE(readConfigFile("-", &large, text, reason));
    EXPECT_EQ(reason, tooLarge);
    std::istringstream largest(std::string(1024 * 1024, '\n'));
    EXPECT_TRUE(readConfigFile("-", &largest, text, reason));
}

// A threshold only counts where the output's source compares; what the write drops is named, with the value
// the file asked for or the instrument held.
TEST(ConfigText, IgnoredThresholdsAreNamedWithTheirSource)
{
    const ParsedConfig asked = parseConfigText("Output1.Threshold = 50\nOutput2.Threshold = 0\n"
                                               "Output3.Threshold = 7.50\nOutput3.Source = 3\n");
    Configuration written = asked.config;
    written.set("Output1.Source", std::int32_t{0});
    written.set("Output2.Source", std::int32_t{1});
    written.set("Output4.Source", std::int32_t{0});
    written.set("Output4.Threshold", 3.0f); // the instrument's own, not asked for: the write clears it
    EXPECT_THAT(ignoredValues(asked, written),
                ElementsAre("Output1.Threshold = 50 ignored: Output1.Source 0 does not compare",
                            "Output4.Threshold 3.000 cleared: Output4.Source 0 does not compare"));
}

TEST(ConfigText, DifferencesNameTheKeyWhatWasAskedAndWhatTheInstrumentHolds)
{
    const ParsedConfig asked = parseConfigText("Encoder2.GateTime = 500\nEncoder2.Coeff = 1.5\nOutput1.Threshold = 50\n"
                                               "Beeper = 1\n");
    Configuration read;
    read.set("Encoder2.GateTime", std::int32_t{1000});
    read.set("Encoder2.Coeff", 1.5f);
    read.set("Output1.Threshold", 0.0f);
    EXPECT_THAT(differences(asked, read),
                ElementsAre("Encoder2.GateTime: asked for 500, the instrument holds 1000",
                            "Output1.Threshold: asked for 50, the instrument holds 0.000",
                            "Beeper: asked for 1, the instrument holds nothing it would tell (no answer)"));
}

} // namespace
