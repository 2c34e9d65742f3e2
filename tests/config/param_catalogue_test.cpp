#include "config/config_reply.h"
#include "config/param_catalogue.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

using namespace torvex;

namespace {

// The instrument's parameter table, written out: id, name, channels, how the value travels, the limits checked
// before a write (for lists the number of items), whether it is written, and where its value comes back.
struct ParamRow {
    int id;
    const char *name;
    ChannelRule channels;
    Encoding encoding;
    int minValue;
    int maxValue;
    int listSize;
    bool writable;
    std::optional<int> readId;
    int replyOffset;
};

constexpr auto None = ChannelRule::None;
constexpr auto Enc = ChannelRule::Encoder;
constexpr auto Slot = ChannelRule::RegisterSlot;
constexpr std::nullopt_t kNoRead = std::nullopt;

// clang-format off
const ParamRow kParameters[] = {
    {0, "EncMode", Enc, Encoding::ListIndex, 0, 0, 2, true, 9, 3},
    {1, "EncGateTime", Enc, Encoding::Int32, 1, 65535, 0, true, 9, 5},
    {2, "EncResolution", Enc, Encoding::Int32, 1, 16383, 0, true, 9, 9},
    {3, "EncCoeff", Enc, Encoding::Float32, 0, 0, 0, true, 9, 13},
    {4, "EncOffset", Enc, Encoding::Float32, 0, 0, 0, true, 9, 17},
    {5, "TransmissionMode", None, Encoding::ListIndex, 0, 0, 3, true, 5, 3},
    {6, "SendInterval", None, Encoding::Int32, 1, 9999, 0, true, 6, 3},
    {7, "TriggerFilter", None, Encoding::Int32, 0, 9999, 0, true, 7, 3},
    {8, "OutputRules", None, Encoding::OutputRules, 0, 0, 0, true, 8, 3},
    {9, "EncoderBlock", Enc, Encoding::EncoderBlock, 0, 0, 0, false, 9, 3},
    {10, "EncClearPosition", Enc, Encoding::Command, 0, 0, 0, true, kNoRead, 0},
    {11, "ModbusAddress", None, Encoding::Address, 0, 0, 247, true, 11, 3},
    {12, "ModbusBaud", None, Encoding::ListIndex, 0, 0, 5, true, 12, 3},
    {13, "TriggerMasterMode", None, Encoding::ListIndex, 0, 0, 2, true, 13, 3},
    {14, "TriggerRegisterType", Slot, Encoding::ListIndex, 0, 0, 6, true, 14, 3},
    {15, "ModbusStats", None, Encoding::Counters, 0, 0, 0, false, 15, 3},
    {16, "EncClearByIndex", Enc, Encoding::ListIndex, 0, 0, 2, true, 9, 4},
    {17, "DotPosition", None, Encoding::ListIndex, 0, 0, 6, true, 17, 3},
    {18, "RedDisplay", None, Encoding::ListIndex, 0, 0, 2, true, 18, 3},
    {19, "GreenDisplay", None, Encoding::ListIndex, 0, 0, 11, true, 19, 3},
    {20, "Beeper", None, Encoding::ListIndex, 0, 0, 2, true, 20, 3},
};
// clang-format on

TEST(Catalogue, HoldsTheInstrumentsParameterTable)
{
    ASSERT_EQ(paramCatalogue().size(), std::size(kParameters));
    for (const ParamRow &row : kParameters) {
        SCOPED_TRACE(row.name);
        const ParamInfo *p = findParam(static_cast<std::uint8_t>(row.id));
        ASSERT_NE(p, nullptr);
        EXPECT_EQ(static_cast<int>(p->id), row.id);
        EXPECT_EQ(p->name, row.name);
        EXPECT_EQ(p->channelRule, row.channels);
        EXPECT_EQ(p->encoding, row.encoding);
        if (row.encoding == Encoding::Int32) {
            EXPECT_EQ(p->minValue, row.minValue);
            EXPECT_EQ(p->maxValue, row.maxValue);
        }
        EXPECT_EQ(p->listSize, row.listSize);
        EXPECT_EQ(p->writable, row.writable);
        EXPECT_EQ(p->readId ? std::optional<int>(*p->readId) : std::nullopt, row.readId);
        if (row.readId) {
            EXPECT_EQ(p->replyOffset, row.replyOffset);
        }
    }
    EXPECT_EQ(findParam(21), nullptr);
}

TEST(Catalogue, EveryReadRequestIsAnsweredByTheDecoder)
{
    for (const ParamInfo &p : paramCatalogue()) {
        if (!p.readId)
            continue;
        EXPECT_GT(replyLength(*p.readId), p.replyOffset) << p.name;
        EXPECT_EQ(replyLength(static_cast<std::uint8_t>(p.id)) != 0, *p.readId == static_cast<std::uint8_t>(p.id))
            << p.name;
    }
}

} // namespace
