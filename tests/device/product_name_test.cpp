#include "device/product_name.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace torvex;

namespace {

struct Utf8Case {
    const char *name;
    std::string bytes;
    std::u16string expected;
};

class ProductStringFromUtf8 : public testing::TestWithParam<Utf8Case> {};

} // namespace

TEST_P(ProductStringFromUtf8, Decodes) { EXPECT_EQ(productStringFromUtf8(GetParam().bytes), GetParam().expected); }

// Expected units written out by hand from the code points.
INSTANTIATE_TEST_SUITE_P(
    Sysfs, ProductStringFromUtf8,
    testing::Values(Utf8Case{"Ascii", "TORVEX", u"TORVEX"},
                    Utf8Case{"TwoByte", "Licznik \xC5\xBC\xC3\xB3\xC5\x82ty", u"Licznik \u017C\u00F3\u0142ty"},
                    Utf8Case{"ThreeByte", "\xE2\x82\xAC", std::u16string{0x20AC}},
                    Utf8Case{"FourByteToPair", "\xF0\x9F\x98\x80", std::u16string{0xD83D, 0xDE00}},
                    Utf8Case{"HighestCodePoint", "\xF4\x8F\xBF\xBF", std::u16string{0xDBFF, 0xDFFF}},
                    Utf8Case{"StrayContinuation", "A\x80Z", u"A\uFFFDZ"},
                    Utf8Case{"InvalidLead", "\xFF\xFE", u"\uFFFD\uFFFD"},
                    Utf8Case{"CutAtTheEnd", "AB\xE2\x82", u"AB\uFFFD"},
                    Utf8Case{"CutByNextCharacter", "\xE2\x82X", u"\uFFFDX"},
                    Utf8Case{"CutByTheLastCharacter",
                             "X\xE2\x82"
                             "A",
                             u"X\uFFFDA"},
                    Utf8Case{"EncodedSurrogate", "\xED\xA0\x80", u"\uFFFD"},
                    Utf8Case{"BeyondUnicode", "\xF4\x90\x80\x80", u"\uFFFD"},
                    // Overlong forms spell a character with more bytes than it needs; read as that character they would
                    // let a name pass for another (or hide a NUL in it).
                    Utf8Case{"OverlongTwoByteLetter", "\xC1\x94ORVEX", u"\uFFFDORVEX"},
                    Utf8Case{"OverlongTwoByteNul", "TORVEX\xC0\x80", u"TORVEX\uFFFD"},
                    Utf8Case{"OverlongThreeByte", "\xE0\x81\x94ORVEX", u"\uFFFDORVEX"},
                    Utf8Case{"OverlongFourByte", "\xF0\x80\x81\x94ORVEX", u"\uFFFDORVEX"}),
    [](const testing::TestParamInfo<Utf8Case> &p) { return std::string(p.param.name); });

TEST(ProductStringFromUtf16, EndsAtTheFirstNulOrTheBufferEnd)
{
    const std::vector<char16_t> withNul{u'T', u'O', 0, u'X'};
    EXPECT_EQ(productStringFromUtf16(withNul), u"TO");
    const std::vector<char16_t> full(kProductNameUnits, u'a');
    EXPECT_EQ(productStringFromUtf16(full), std::u16string(kProductNameUnits, u'a'));
    EXPECT_EQ(productStringFromUtf16({}), u"");
}

TEST(ProductNameFromString, CutAtNulAndLengthAndNeverLeavesHalfAPair)
{
    EXPECT_EQ(productNameFromString(u"TORVEX"), u"TORVEX");
    EXPECT_EQ(productNameFromString(std::u16string(u"TORVEX\0junk", 11)), u"TORVEX");
    EXPECT_EQ(productNameFromString(std::u16string(300, u'n')), std::u16string(kProductNameUnits, u'n'));

    std::u16string split(kProductNameUnits - 1, u'a');
    split += {0xD83D, 0xDE00};
    EXPECT_EQ(productNameFromString(split), std::u16string(kProductNameUnits - 1, u'a') + u"\uFFFD")
        << "the cut falls between the two halves of a pair";

    EXPECT_EQ(productNameFromString(std::u16string{u'A', 0xDE00, u'B', 0xD83D}), u"A\uFFFDB\uFFFD");
    EXPECT_EQ(productNameFromString(std::u16string{0xD83D, 0xDE00}), (std::u16string{0xD83D, 0xDE00}));
}

TEST(DeviceListLabel, NameOrVendorAndProductInUpperCaseHex)
{
    EXPECT_EQ(deviceListLabel(u"TORVEX", 0x1234, 0xABCD), "TORVEX");
    EXPECT_EQ(deviceListLabel(u"Licznik \u0105\u20ac", 1, 2), "Licznik \xC4\x85\xE2\x82\xAC");
    EXPECT_EQ(deviceListLabel(std::u16string{0xD83D, 0xDE00, u'a', 0xD800}, 1, 2),
              "\xF0\x9F\x98\x80"
              "a\xEF\xBF\xBD");
    EXPECT_EQ(deviceListLabel(u"", 0x04D8, 0xF00B), "Device VID=04D8 PID=F00B");
    EXPECT_EQ(deviceListLabel(u"", 0, 0xFFFF), "Device VID=0000 PID=FFFF");
}
