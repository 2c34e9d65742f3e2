#include "config/configuration.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <utility>
#include <vector>

using namespace torvex;
using testing::ElementsAre;

namespace {

std::vector<std::uint8_t> bytes(const Payload &p) { return {p.data.begin(), p.data.begin() + p.size}; }

struct KeyRow {
    std::string name;
    ParamId id;
    int channel;
    ConfigField field;
};

// Every key in order, written out: per encoder its settings in the order of the instrument's reply, then the
// other parameters a user sets in id order, the output rules one per output and field of its record.
std::vector<KeyRow> expectedKeys()
{
    std::vector<KeyRow> keys;
    const std::pair<const char *, ParamId> encoder[] = {
        {"Mode", ParamId::EncMode},         {"ClearByIndex", ParamId::EncClearByIndex},
        {"GateTime", ParamId::EncGateTime}, {"Resolution", ParamId::EncResolution},
        {"Coeff", ParamId::EncCoeff},       {"Offset", ParamId::EncOffset}};
    for (int e = 0; e < 3; ++e)
        for (const auto &[field, id] : encoder)
            keys.push_back({"Encoder" + std::to_string(e + 1) + "." + field, id, e, ConfigField::Value});
    keys.push_back({"TransmissionMode", ParamId::TransmissionMode, 0, ConfigField::Value});
    keys.push_back({"SendInterval", ParamId::SendInterval, 0, ConfigField::Value});
    keys.push_back({"TriggerFilter", ParamId::TriggerFilter, 0, ConfigField::Value});
    const std::pair<const char *, ConfigField> rule[] = {{"Source", ConfigField::Source},
                                                         {"Condition", ConfigField::Condition},
                                                         {"State", ConfigField::State},
                                                         {"Threshold", ConfigField::Threshold}};
    for (int k = 0; k < 4; ++k)
        for (const auto &[field, kind] : rule)
            keys.push_back({"Output" + std::to_string(k + 1) + "." + field, ParamId::OutputRules, k, kind});
    keys.push_back({"ModbusAddress", ParamId::ModbusAddress, 0, ConfigField::Value});
    keys.push_back({"ModbusBaud", ParamId::ModbusBaud, 0, ConfigField::Value});
    keys.push_back({"TriggerMasterMode", ParamId::TriggerMasterMode, 0, ConfigField::Value});
    for (int s = 0; s < 3; ++s)
        keys.push_back({"Slot" + std::to_string(s + 1) + ".TriggerRegisterType", ParamId::TriggerRegisterType, s,
                        ConfigField::Value});
    keys.push_back({"DotPosition", ParamId::DotPosition, 0, ConfigField::Value});
    keys.push_back({"RedDisplay", ParamId::RedDisplay, 0, ConfigField::Value});
    keys.push_back({"GreenDisplay", ParamId::GreenDisplay, 0, ConfigField::Value});
    keys.push_back({"Beeper", ParamId::Beeper, 0, ConfigField::Value});
    return keys;
}

TEST(Configuration, KeysAreTheCatalogueNamesByChannel)
{
    const auto &keys = configKeys();
    const std::vector<KeyRow> expected = expectedKeys();
    ASSERT_EQ(keys.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        SCOPED_TRACE(expected[i].name);
        EXPECT_EQ(keys[i].name, expected[i].name);
        EXPECT_EQ(keys[i].id, expected[i].id);
        EXPECT_EQ(keys[i].channel, expected[i].channel);
        EXPECT_EQ(keys[i].field, expected[i].field);
    }
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

TEST(Configuration, AnswersFillTheirKeys)
{
    // Reply data of the window's read-back example: encoder 2, per minute, 1000 ms, 1024 pulses, 150, -1. Its
    // decoding is the decoder's test; here a value of each kind lands in its encoder's key.
    const std::vector<std::uint8_t> data{1, 9, 1, 1, 0, 232, 3, 0, 0, 0, 4, 0, 0, 0, 0, 22, 67, 0, 0, 128, 191};
    const auto reply = decodeConfigReply(data);
    ASSERT_TRUE(reply);
    Configuration c;
    applyReply(c, *reply);
    EXPECT_EQ(c.at("Encoder2.Mode"), ConfigValue{std::int32_t{1}});
    EXPECT_EQ(c.at("Encoder2.GateTime"), ConfigValue{std::int32_t{1000}});
    EXPECT_EQ(c.at("Encoder2.Coeff"), ConfigValue{150.0f});
    EXPECT_FALSE(c.at("Encoder1.GateTime")) << "other columns untouched";

    const std::vector<std::uint8_t> slot{1, 14, 2, 3};
    applyReply(c, *decodeConfigReply(slot));
    EXPECT_EQ(c.at("Slot3.TriggerRegisterType"), ConfigValue{std::int32_t{3}});
    EXPECT_THAT(keysOfRequest({9, 1}), testing::SizeIs(6));
    EXPECT_THAT(keysOfRequest({8, 0}), testing::SizeIs(16));
}

TEST(Configuration, TheReadRequestsOfTheReadButtonsFillEveryKey)
{
    // The requests of the Read buttons, one per encoder column and register slot: (id, channel).
    EXPECT_EQ(configReadRequests(),
              (std::vector<ReadRequest>{{9, 0},
                                        {9, 1},
                                        {9, 2},
                                        {5, 0},
                                        {6, 0},
                                        {7, 0},
                                        {8, 0},
                                        {11, 0},
                                        {12, 0},
                                        {13, 0},
                                        {14, 0},
                                        {14, 1},
                                        {14, 2},
                                        {17, 0},
                                        {18, 0},
                                        {19, 0},
                                        {20, 0}}));
    std::vector<bool> covered(configKeys().size());
    for (const ReadRequest &r : configReadRequests()) {
        const auto keys = keysOfRequest(r);
        EXPECT_FALSE(keys.empty()) << int(r.id) << " " << int(r.channel);
        for (size_t k : keys)
            covered[k] = true;
    }
    EXPECT_THAT(covered, testing::Each(true));
}

TEST(Configuration, PayloadsAreTheWriteButtonsBytes)
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

TEST(Configuration, OutputRulesGoTogetherWithZeroThresholdsWhereNothingIsCompared)
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
    // What the payload dropped: the thresholds of outputs 2 and 3, not the 0 of output 4.
    EXPECT_THAT(ignoredThresholds(c),
                ElementsAre(*findConfigKey("Output2.Threshold"), *findConfigKey("Output3.Threshold")));
}

TEST(Configuration, SomeRulesInAFileAreCompletedFromTheInstrument)
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

} // namespace
