#include "config/config_reply.h"
#include "config/param_catalogue.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

using namespace torvex;

namespace {

TEST(Catalogue, EveryWritableParameterHasOneWriteButtonPerChannelNamedForItsChannel)
{
    std::set<std::string_view> seen;
    int count = 0;
    for (const ParamInfo &p : paramCatalogue()) {
        EXPECT_EQ(p.writable, !p.writeButtons[0].empty()) << p.name;
        for (int ch = 0; p.writable && ch < p.channelCount(); ++ch) {
            ++count;
            EXPECT_TRUE(seen.insert(p.writeButtons[ch]).second) << p.writeButtons[ch];
            // Shared handlers take the channel from the button's name.
            if (p.hasChannels()) {
                EXPECT_EQ(channelFromName(p.writeButtons[ch]), ch) << p.writeButtons[ch];
            }
        }
    }
    EXPECT_EQ(count, 8 * 3 + 11); // seven encoder rows and the register types, eleven single buttons
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

TEST(Catalogue, ReadButtonsAreListedOnceAndAskForWhatEachOfTheirParametersReadsBackThrough)
{
    std::set<std::string_view> names;
    for (const ReadButton &b : readButtonList())
        EXPECT_TRUE(names.insert(b.name).second) << b.name;
    EXPECT_EQ(names.size(), 17u);
    for (const ParamInfo &p : paramCatalogue()) {
        for (int ch = 0; ch < p.channelCount(); ++ch) {
            const std::string_view button = p.readButtons[size_t(ch)];
            if (button.empty())
                continue;
            ASSERT_TRUE(p.readId) << p.name;
            EXPECT_EQ(findReadButton(button), (ReadRequest{*p.readId, static_cast<std::uint8_t>(ch)})) << button;
        }
    }
}

TEST(Names, ChannelAndOutputFromTheName)
{
    EXPECT_EQ(channelFromName("button_time2"), 1);
    EXPECT_EQ(channelFromName("button_trigmastetype_3"), 2);
    EXPECT_EQ(channelFromName("button_encclearC1"), 0);
    EXPECT_FALSE(channelFromName("BitBtn40"));
    EXPECT_FALSE(channelFromName(""));
    EXPECT_EQ(outputFromName("out3_W"), 2);
    EXPECT_EQ(outputFromName("out1_W"), 0);
    EXPECT_FALSE(outputFromName("out5_W"));
    EXPECT_FALSE(outputFromName("out"));
}

} // namespace
