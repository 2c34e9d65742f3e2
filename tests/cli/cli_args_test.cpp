#include "cli/cli_args.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

using namespace torvex::cli;

namespace {

std::vector<std::string_view> words(const std::string &line, std::vector<std::string> &storage)
{
    std::istringstream in(line);
    storage.clear();
    for (std::string w; in >> w;)
        storage.push_back(w);
    return {storage.begin(), storage.end()};
}

ParsedArguments parse(const std::string &line)
{
    std::vector<std::string> storage;
    return parseArguments(words(line, storage));
}

struct UsageCase {
    const char *name;
    const char *line;
    const char *errorPart; // nullptr: accepted
};

class ArgumentTable : public testing::TestWithParam<UsageCase> {};

TEST_P(ArgumentTable, AcceptsOrRefusesWithAReason)
{
    const ParsedArguments parsed = parse(GetParam().line);
    if (GetParam().errorPart == nullptr) {
        EXPECT_EQ(parsed.error, "") << GetParam().line;
    } else {
        EXPECT_NE(parsed.error.find(GetParam().errorPart), std::string::npos)
            << GetParam().line << " gave: " << parsed.error;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, ArgumentTable,
    testing::Values(UsageCase{"Nothing", "", "no command"}, UsageCase{"UnknownCommand", "status", "unknown command"},
                    UsageCase{"List", "list", nullptr}, UsageCase{"DemoZero", "list --demo=0", "1 to 16"},
                    UsageCase{"LogNeedsFile", "log --seconds 5", "needs a FILE"},
                    UsageCase{"LogFull", "log out.csv --device /dev/hidraw3 --seconds 5 --columns cnt,enc1p --mod 4",
                              nullptr},
                    UsageCase{"ModTooBig", "log out.csv --mod 100000000", "1 to 99999999"},
                    UsageCase{"SecondsNotANumber", "log out.csv --seconds soon", "whole number"},
                    UsageCase{"UnknownColumn", "log out.csv --columns cnt,speed", "comma-separated"},
                    UsageCase{"TwoFiles", "log a.csv b.csv", "unexpected argument b.csv"},
                    UsageCase{"OptionOfAnotherCommand", "list --device /dev/hidraw0", "does not apply to list"},
                    UsageCase{"VerifyOnGet", "config get --verify", "does not apply to config get"},
                    UsageCase{"ConfigAlone", "config", "get, set or keys"},
                    UsageCase{"ConfigGetJson", "config get --format json --timeout 200", nullptr},
                    UsageCase{"BadFormat", "config get --format xml", "ini or json"},
                    UsageCase{"OptionTwice", "watch --seconds 1 --seconds 2", "given twice"},
                    UsageCase{"FlagWithValue", "config set f --verify=yes", "takes no value"},
                    UsageCase{"MissingValueAtEnd", "watch --device", "--device needs a device"},
                    UsageCase{"ValueThatIsAnOption", "log x.csv --device --wait", "--device needs a device"},
                    UsageCase{"OptionBeforeTheCommand", "--demo list", "--demo goes after the command"},
                    UsageCase{"ListTsv", "list --format tsv", nullptr},
                    UsageCase{"WatchFormatOfConfig", "watch --format ini", "text or csv or json"},
                    UsageCase{"DecimalSeparator", "log x.csv --decimal-separator ;", "needs , or ."},
                    UsageCase{"Assignments", "config set Beeper=1 Encoder2.GateTime=5 --skip ModbusAddress", nullptr},
                    UsageCase{"FileAndAssignment", "config set a.ini Beeper=1", "unexpected argument Beeper=1"},
                    UsageCase{"PathWithEquals", "config set ./a=b.ini", nullptr},
                    UsageCase{"HelpOfNoCommand", "help frob", "no command frob"},
                    UsageCase{"UnknownOption", "watch --colour", "unknown option --colour"},
                    UsageCase{"Version", "--version", nullptr}),
    [](const testing::TestParamInfo<UsageCase> &p) { return std::string(p.param.name); });

TEST(Arguments, ValuesReachTheOptions)
{
    const ParsedArguments p =
        parse("log out.csv --device sim:demo-2 --seconds 7 --mod 12 --settings config.ini --exit-on-unplug --demo=2");
    ASSERT_EQ(p.error, "");
    const CliOptions &o = p.options;
    EXPECT_EQ(o.command, Command::Log);
    EXPECT_EQ(o.file, "out.csv");
    EXPECT_EQ(o.device, "sim:demo-2");
    EXPECT_EQ(o.duration, std::chrono::seconds(7));
    EXPECT_EQ(o.modulo, 12);
    EXPECT_EQ(o.settings, "config.ini");
    EXPECT_TRUE(o.exitOnUnplug);
    EXPECT_EQ(o.demo, 2);
    EXPECT_FALSE(o.columns.has_value()) << "columns left to the settings file or the default";
}

TEST(Arguments, ConfigSetTellsAFileFromAssignments)
{
    const ParsedArguments file = parse("config set ./a=b.ini --skip ModbusAddress --skip Beeper");
    ASSERT_EQ(file.error, "");
    EXPECT_EQ(file.options.file, "./a=b.ini");
    EXPECT_EQ(file.options.skip, (std::vector<std::string>{"ModbusAddress", "Beeper"}));
    const ParsedArguments pairs = parse("config set Beeper=1 Encoder2.GateTime=5");
    ASSERT_EQ(pairs.error, "");
    EXPECT_EQ(pairs.options.file, "");
    EXPECT_EQ(pairs.options.assignments, (std::vector<std::string>{"Beeper=1", "Encoder2.GateTime=5"}));
}

struct HelpCase {
    const char *name;
    const char *line;
    const char *part; // in the help text
};

class HelpTable : public testing::TestWithParam<HelpCase> {};

// Each way of asking gives the help of the command asked about, and nothing else happens.
TEST_P(HelpTable, ShowsTheCommandsOwnHelp)
{
    const ParsedArguments parsed = parse(GetParam().line);
    EXPECT_EQ(parsed.error, "");
    EXPECT_THAT(parsed.help, testing::HasSubstr(GetParam().part));
}

INSTANTIATE_TEST_SUITE_P(
    Table, HelpTable,
    testing::Values(HelpCase{"TopLevelNamesDeviceAndDemo", "--help", "--demo[=N]"},
                    HelpCase{"TopLevelDevice", "--help", "--device DEVICE"},
                    HelpCase{"ConfigHelpIsConfigs", "config --help", "usage: torvex-cli config get|set|keys"},
                    HelpCase{"HelpCommand", "help config set", "--skip KEY"},
                    HelpCase{"CommandHelp", "log --help", "--decimal-separator"},
                    HelpCase{"HelpWithAnErrorBeside", "log --help --mod 0", "usage: torvex-cli log FILE"}),
    [](const testing::TestParamInfo<HelpCase> &p) { return std::string(p.param.name); });

TEST(Arguments, DemoIntervalAloneMeansOneSimulatedInstrumentAndZeroFloods)
{
    const ParsedArguments p = parse("log out.csv --demo-interval 0");
    ASSERT_EQ(p.error, "");
    EXPECT_EQ(p.options.demo, 1);
    EXPECT_TRUE(p.options.demoFlood);
}

TEST(Columns, ListTicksOnlyItsColumnsWhateverTheOrder)
{
    const auto c = parseColumns("output,enc3v,cntmod,date");
    ASSERT_TRUE(c);
    EXPECT_TRUE(c->date);
    EXPECT_FALSE(c->time);
    EXPECT_FALSE(c->count);
    EXPECT_TRUE(c->countModulo);
    EXPECT_EQ(c->position, (std::array<bool, 3>{false, false, false}));
    EXPECT_EQ(c->velocity, (std::array<bool, 3>{false, false, true}));
    EXPECT_TRUE(c->outputs);
}

TEST(Columns, AllNoneAndMistakes)
{
    const auto all = parseColumns("all");
    ASSERT_TRUE(all);
    EXPECT_TRUE(all->date && all->time && all->count && all->countModulo && all->outputs && all->position[2]);
    const auto none = parseColumns("none");
    ASSERT_TRUE(none);
    EXPECT_FALSE(none->date || none->time || none->count || none->countModulo || none->outputs || none->velocity[0]);
    EXPECT_FALSE(parseColumns("cnt,,date"));
    EXPECT_FALSE(parseColumns("CNT"));
    EXPECT_FALSE(parseColumns(""));
}

} // namespace
