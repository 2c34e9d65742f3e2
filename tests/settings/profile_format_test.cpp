#include "settings/profile_format.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace torvex::profile {
namespace {

struct FindCase {
    const char *name;
    std::string content;
    const char *section;
    const char *key;
    std::optional<std::string> expected;
};

void PrintTo(const FindCase &c, std::ostream *os) { *os << c.name; }

class FindValueTest : public ::testing::TestWithParam<FindCase> {};

TEST_P(FindValueTest, ReadsTheFirstMatchingKeyOfTheFirstMatchingSection)
{
    const auto &c = GetParam();
    EXPECT_EQ(findValue(c.content, c.section, c.key), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FindValueTest,
    ::testing::Values(
        FindCase{"plain", "[Options]\r\nMod=5\r\n", "Options", "Mod", "5"},
        FindCase{"lfOnly", "[Options]\nMod=5\n", "Options", "Mod", "5"},
        FindCase{"noFinalBreak", "[Options]\r\nMod=5", "Options", "Mod", "5"},
        FindCase{"caseOfNames", "[oPTIONS]\r\nmOD=5\r\n", "Options", "Mod", "5"},
        FindCase{"spacesAround", "  [ Options ]  \n  Mod  =  5  \n", "Options", "Mod", "5"},
        FindCase{"tabsAround", "[Options]\n\tMod\t=\t5\t\n", "Options", "Mod", "5"},
        FindCase{"doubleQuotes", "[Options]\nFileName=\" a b \"\n", "Options", "FileName", " a b "},
        FindCase{"singleQuotes", "[Options]\nFileName='x'\n", "Options", "FileName", "x"},
        FindCase{"onlyOnePairRemoved", "[Options]\nFileName=\"\"x\"\"\n", "Options", "FileName", "\"x\""},
        FindCase{"mismatchedQuotesKept", "[Options]\nFileName=\"x'\n", "Options", "FileName", "\"x'"},
        FindCase{"loneQuoteKept", "[Options]\nFileName=\"\n", "Options", "FileName", "\""},
        FindCase{"emptyValue", "[Options]\nEncName1=\n", "Options", "EncName1", ""},
        FindCase{"equalsInValue", "[Options]\nFileName=a=b\n", "Options", "FileName", "a=b"},
        FindCase{"missingKey", "[Options]\nMod=5\n", "Options", "Language", std::nullopt},
        FindCase{"keyInOtherSection", "[Other]\nMod=5\n[Options]\n", "Options", "Mod", std::nullopt},
        FindCase{"keyBeforeAnySection", "Mod=5\n[Options]\n", "Options", "Mod", std::nullopt},
        FindCase{"commentIsNoKey", "[Options]\n;Mod=5\n", "Options", "Mod", std::nullopt},
        FindCase{"lineWithoutEquals", "[Options]\nMod\n", "Options", "Mod", std::nullopt},
        // the bare key is the key's first line, so a later one is not read either
        FindCase{"bareKeyComesFirst", "[Options]\nMod\nMod=5\n", "Options", "Mod", std::nullopt},
        FindCase{"unclosedHeaderIsNoSection", "[Options\nMod=5\n", "Options", "Mod", std::nullopt},
        FindCase{"unclosedHeaderDoesNotEndSection", "[Options]\n[Other\nMod=5\n", "Options", "Mod", "5"},
        FindCase{"closedHeaderAfterUnclosedOne", "[Options\nMod=1\n[Options]\nMod=2\n", "Options", "Mod", "2"},
        FindCase{"firstDuplicateWins", "[Options]\nMod=1\nMod=2\n", "Options", "Mod", "1"},
        FindCase{"firstSectionWins", "[Options]\nA=1\n[Options]\nMod=2\n", "Options", "Mod", std::nullopt},
        FindCase{"prefixIsNoMatch", "[Options]\nModX=1\n", "Options", "Mod", std::nullopt},
        FindCase{"emptyFile", "", "Options", "Mod", std::nullopt}),
    [](const auto &param) { return std::string(param.param.name); });

TEST(FindValue, CutsTextAt2047Characters)
{
    const std::string longValue(3000, 'x');
    const auto value = findValue("[Options]\r\nEncName1=" + longValue + "\r\n", "Options", "EncName1");
    ASSERT_TRUE(value);
    EXPECT_EQ(*value, std::string(kMaxValueLength, 'x'));
}

struct SetCase {
    const char *name;
    std::string before;
    const char *key;
    const char *value;
    std::string after;
};

void PrintTo(const SetCase &c, std::ostream *os) { *os << c.name; }

class SetValueTest : public ::testing::TestWithParam<SetCase> {};

TEST_P(SetValueTest, ChangesOnlyWhatTheWriteNeeds)
{
    const auto &c = GetParam();
    EXPECT_EQ(setValue(c.before, "Options", c.key, c.value), c.after);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SetValueTest,
    ::testing::Values(
        SetCase{"newFileGetsCrLf", "", "Mod", "1", "[Options]\r\nMod=1\r\n"},
        SetCase{"replacedInPlace", "[Options]\r\nA=1\r\nMod=7\r\nB=2\r\n", "Mod", "8",
                "[Options]\r\nA=1\r\nMod=8\r\nB=2\r\n"},
        SetCase{"replacedKeepsTheFilesKeySpelling", "[Options]\r\nsavedate=0\r\n", "SaveDate", "1",
                "[Options]\r\nsavedate=1\r\n"},
        SetCase{"replacedKeepsSpellingDropsSpaces", "[options]\nmod = 7 \n", "Mod", "8", "[options]\nmod=8\n"},
        SetCase{"bareKeyReplacedInPlace", "[Options]\r\nSaveDate\r\nSaveTime=1\r\n", "SaveDate", "1",
                "[Options]\r\nSaveDate=1\r\nSaveTime=1\r\n"},
        SetCase{"bareKeyKeepsItsSpelling", "[Options]\n  savedate \nSaveDate=0\n", "SaveDate", "1",
                "[Options]\nsavedate=1\nSaveDate=0\n"},
        SetCase{"bareKeyOnLastLineWithoutBreak", "[Options]\nSaveDate", "SaveDate", "0", "[Options]\nSaveDate=0"},
        SetCase{"unclosedHeaderIsNoSection", "[Options\r\nSaveDate=0\r\n", "SaveDate", "1",
                "[Options\r\nSaveDate=0\r\n[Options]\r\nSaveDate=1\r\n"},
        SetCase{"unclosedHeaderDoesNotEndSection", "[Options]\r\nA=1\r\n[Other\r\nMod=2\r\n\r\n[Next]\r\n", "Mod", "3",
                "[Options]\r\nA=1\r\n[Other\r\nMod=3\r\n\r\n[Next]\r\n"},
        SetCase{"newKeyAfterUnclosedHeaderLine", "[Options]\nA=1\n[Other\n\n[Next]\n", "Mod", "1",
                "[Options]\nA=1\n[Other\nMod=1\n\n[Next]\n"},
        SetCase{"appendedAtEndOfSection", "[Options]\r\nA=1\r\n\r\n[Other]\r\nX=1\r\n", "Mod", "1",
                "[Options]\r\nA=1\r\nMod=1\r\n\r\n[Other]\r\nX=1\r\n"},
        SetCase{"appendedAfterHeaderOfEmptySection", "[Options]\n[Other]\n", "Mod", "1", "[Options]\nMod=1\n[Other]\n"},
        SetCase{"keepsLfEndings", "[Options]\nA=1\n", "Mod", "1", "[Options]\nA=1\nMod=1\n"},
        SetCase{"lastLineWithoutBreak", "[Options]\nA=1", "Mod", "1", "[Options]\nA=1\nMod=1\n"},
        SetCase{"danglingCarriageReturn", "[Options]\r\nA=1\r", "Mod", "1", "[Options]\r\nA=1\r\nMod=1\r\n"},
        SetCase{"replaceKeepsMissingBreak", "[Options]\nMod=1", "Mod", "2", "[Options]\nMod=2"},
        SetCase{"missingSectionAppended", "[Other]\r\nX=1\r\n", "Mod", "1", "[Other]\r\nX=1\r\n[Options]\r\nMod=1\r\n"},
        SetCase{"missingSectionAfterUnterminatedLine", "[Other]\nX=1", "Mod", "1", "[Other]\nX=1\n[Options]\nMod=1\n"},
        SetCase{"commentsAndUnknownKeysKept", "; top\r\n[Options]\r\n; note\r\nUnknown = odd \r\nMod=1\r\n", "Mod", "2",
                "; top\r\n[Options]\r\n; note\r\nUnknown = odd \r\nMod=2\r\n"},
        SetCase{"lineBreaksInValueCannotPlantKeys", "[Options]\n", "EncName1", "a\r\nMod=9",
                "[Options]\nEncName1=a  Mod=9\n"}),
    [](const auto &param) { return std::string(param.param.name); });

TEST(SetValue, RefusesNamesThatWouldBreakTheFile)
{
    for (const char *bad : {"", "a=b", "a\nb", "[x", ";x", " x", "x ", "a]b"}) {
        EXPECT_FALSE(isValidName(bad)) << bad;
        EXPECT_THROW(setValue("", "Options", bad, "1"), std::invalid_argument) << bad;
    }
    EXPECT_TRUE(isValidName("EncName1"));
}

TEST(SetValue, WrittenValueReadsBack)
{
    std::string content = "[Options]\r\nMod=1\r\n";
    content = setValue(content, "Options", "FileName", "C:\\dane\\log.csv");
    content = setValue(content, "Options", "Mod", "-3");
    EXPECT_EQ(findValue(content, "Options", "FileName"), "C:\\dane\\log.csv");
    EXPECT_EQ(findValue(content, "Options", "Mod"), "-3");
}

struct IntegerCase {
    const char *text;
    std::optional<std::int32_t> expected;
};

class ParseIntegerTest : public ::testing::TestWithParam<IntegerCase> {};

TEST_P(ParseIntegerTest, AcceptsOnlyTheIntegerForms)
{
    EXPECT_EQ(parseInteger(GetParam().text), GetParam().expected) << '"' << GetParam().text << '"';
}

INSTANTIATE_TEST_SUITE_P(
    Forms, ParseIntegerTest,
    ::testing::Values(IntegerCase{"abc", std::nullopt}, IntegerCase{"2", 2}, IntegerCase{"0", 0},
                      IntegerCase{"0x10", 16}, IntegerCase{"0X1f", 31}, IntegerCase{"$1F", 31}, IntegerCase{"-7", -7},
                      IntegerCase{"+7", 7}, IntegerCase{"0x", std::nullopt}, IntegerCase{"$", std::nullopt},
                      IntegerCase{"", std::nullopt}, IntegerCase{"-", std::nullopt}, IntegerCase{"12abc", std::nullopt},
                      IntegerCase{"1 2", std::nullopt}, IntegerCase{"0x1G", std::nullopt},
                      IntegerCase{"-0x10", std::nullopt}, IntegerCase{"2147483647", 2147483647},
                      IntegerCase{"-2147483648", INT32_MIN}, IntegerCase{"2147483648", std::nullopt},
                      IntegerCase{"99999999999999999999", std::nullopt}, IntegerCase{"0xFFFFFFFF", -1},
                      IntegerCase{"0x00000000010", 16}, IntegerCase{"0x100000000", std::nullopt}));

} // namespace
} // namespace torvex::profile
