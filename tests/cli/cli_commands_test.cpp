// The commands of torvex-cli end to end in this process: real HID controller, read threads and loop, against
// simulated instruments behind the simulated HID platform.
#include "cli_test_util.h"

#include "instrument/instrument_link.h"
#include "sim_instrument_device.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <atomic>
#include <regex>
#include <span>

#include <csignal>
#include <sys/resource.h>

using namespace cli_test;
using namespace std::chrono_literals;
using testing::HasSubstr;
using torvex::sim::SimDeviceDescription;
using torvex::sim::SimHidPlatform;
using torvex::sim::SimInstrumentDevice;

namespace {

SimDeviceDescription instrumentAt(const std::string &instance)
{
    SimDeviceDescription d = torvex::sim::instrumentDeviceDescription();
    d.instance = instance;
    return d;
}

void setInterval(SimInstrumentDevice &instrument, int ms)
{
    instrument.driver().withInstrument([&](auto &model) { model.parameters().sendInterval = ms; });
}

torvex::sim::Parameters parametersOf(SimInstrumentDevice &instrument)
{
    return instrument.driver().withInstrument([](auto &model) { return model.parameters(); });
}

// The counter column (third) of every line, which must count up from `first` without a gap.
void expectConsecutiveCounters(const std::vector<std::string> &lines, size_t column = 2)
{
    long expected = 0;
    for (const std::string &line : lines) {
        const auto f = fields(line);
        ASSERT_GT(f.size(), column) << line;
        ASSERT_EQ(std::stol(f[column]), expected) << line;
        ++expected;
    }
}

long summaryLines(const std::string &err)
{
    std::smatch m;
    static const std::regex summary("torvex-cli: (\\d+) lines written to ");
    return std::regex_search(err, m, summary) ? std::stol(m[1]) : -1;
}

TEST(CliList, ShowsEveryDeviceWithWhatTellsItApartInEachForm)
{
    auto platform = std::make_shared<SimHidPlatform>();
    SimDeviceDescription locked = instrumentAt("locked");
    locked.readWriteAccess = false;
    platform->plug(locked);
    SimDeviceDescription ok = instrumentAt("ok");
    ok.serialNumber = u"TX0042";
    ok.portPath = "3-1.4";
    SimInstrumentDevice instrument(*platform, ok);
    SimDeviceDescription unnamed;
    unnamed.vendorId = 0x1234;
    unnamed.productId = 0x00AB;
    unnamed.caps = torvex::THidCaps{33, 33, 0};
    unnamed.instance = "unnamed";
    platform->plug(unnamed);

    const Result text = runCli(platform, {"list"});
    EXPECT_EQ(text.code, 0) << text.err;
    EXPECT_EQ(text.out,
              "  NAME                      DEVICE       SERIAL  PORT   VID:PID    IN  OUT\n"
              "* TORVEX                    sim:locked   -       -      F07E:0C01  65   65  no read/write "
              "access: Permission denied\n"
              "* TORVEX                    sim:ok       TX0042  3-1.4  F07E:0C01  65   65\n"
              "  Device VID=1234 PID=00AB  sim:unnamed  -       -      1234:00AB  33   33\n"
              "(* TORVEX instrument)\n"
#ifdef __linux__
              "On Linux the hidraw node needs the udev rule 70-torvex.rules to be opened by your user "
              "(see packaging/linux/README.md).\n"
#endif
    );

    const Result tsv = runCli(platform, {"list", "--format", "tsv"});
    EXPECT_EQ(tsv.out,
              "sim:locked\tTORVEX\tyes\t\t\tF07E\t0C01\t65\t65\tPermission denied\n"
              "sim:ok\tTORVEX\tyes\tTX0042\t3-1.4\tF07E\t0C01\t65\t65\tok\n"
              "sim:unnamed\tDevice VID=1234 PID=00AB\tno\t\t\t1234\t00AB\t33\t33\tok\n");
    EXPECT_EQ(tsv.err, "");

    const Result json = runCli(platform, {"list", "--format", "json"});
    const auto devices = nlohmann::json::parse(json.out);
    ASSERT_EQ(devices.size(), 3u);
    EXPECT_EQ(devices[1]["serial"], "TX0042");
    EXPECT_EQ(devices[1]["port"], "3-1.4");
    EXPECT_EQ(devices[0]["accessProblem"], "Permission denied");
    EXPECT_TRUE(devices[2]["serial"].is_null());

    // Without an instrument a script learns it from the exit code.
    platform->unplug(instrument.device());
    platform->unplug(platform->devices().front());
    const Result none = runCli(platform, {"list", "--format", "tsv"});
    EXPECT_EQ(none.code, torvex::cli::kExitNoInstrument);
    EXPECT_EQ(none.out, "sim:unnamed\tDevice VID=1234 PID=00AB\tno\t\t\t1234\t00AB\t33\t33\tok\n");
}

// A product string is the device's to choose: an escape sequence in it must not reach the terminal raw.
TEST(CliList, ControlCharactersOfADeviceAreShownEscaped)
{
    auto platform = std::make_shared<SimHidPlatform>();
    SimDeviceDescription planted;
    planted.productName = u"Pad\x1b]0;owned\x07\u009b2J";
    planted.serialNumber = u"S\x1b[2J";
    planted.vendorId = 0x1234;
    planted.productId = 0x00AB;
    planted.caps = torvex::THidCaps{33, 33, 0};
    planted.instance = "planted";
    platform->plug(planted);
    const Result text = runCli(platform, {"list"});
    EXPECT_THAT(text.out, HasSubstr("\n Pad\\x1b]0;owned\\x07\\u009b2J  sim:planted  S\\x1b[2J"));
    const Result tsv = runCli(platform, {"list", "--format", "tsv"});
    EXPECT_EQ(tsv.out, "sim:planted\tPad\\x1b]0;owned\\x07\\u009b2J\tno\tS\\x1b[2J\t\t1234\t00AB\t33\t33\tok\n");
}

TEST(CliLog, OneWellFormedLinePerReportAtOneMillisecond)
{
    auto platform = std::make_shared<SimHidPlatform>();
    SimInstrumentDevice instrument(*platform, instrumentAt("fast"));
    setInterval(instrument, 1);
    instrument.start();
    TempDir dir;
    const std::string path = dir.file("fast.csv");
    const Result r = runCli(platform, {"log", path, "--seconds", "3"});
    instrument.stop();
    ASSERT_EQ(r.code, 0) << r.err;

    bool torn = true;
    const auto lines = logLines(path, &torn);
    EXPECT_FALSE(torn);
    EXPECT_EQ(static_cast<long>(lines.size()), summaryLines(r.err)) << r.err;
    // Every report the instrument sent is a line, still waiting in the device's queue, or dropped at the full
    // queue.
    const auto counts = instrument.driver().measurementCounts();
    EXPECT_EQ(lines.size() + instrument.device()->pendingInputReports() + counts.dropped, counts.produced);
    EXPECT_GT(lines.size(), 1000u) << "about 3000 reports in 3 s";
    // All columns, 2 decimals (the instrument's factory decimal point), CR LF already split off.
    static const std::regex line("\\d{1,2}-\\d{1,2}-\\d{4};\\d{1,2}:\\d{1,2}:\\d{1,2}:\\d{1,3};\\d+;0;"
                                 "(-?\\d+\\.\\d{2};){6}((HI|LO);){6}");
    for (const std::string &l : lines)
        ASSERT_TRUE(std::regex_match(l, line)) << l;
    expectConsecutiveCounters(lines);
}

TEST(CliLog, AppendsToAnExistingFileAndTakesColumnsAndModuloFromTheOptions)
{
    auto platform = std::make_shared<SimHidPlatform>();
    SimInstrumentDevice instrument(*platform, instrumentAt("a"));
    setInterval(instrument, 5);
    instrument.start();
    TempDir dir;
    const std::string path = dir.file("log.txt");
    writeFile(path, "earlier line;\r\n");
    const Result r = runCli(platform, {"log", path, "--seconds", "1", "--columns", "cntmod,cnt", "--mod", "3"});
    ASSERT_EQ(r.code, 0) << r.err;
    const auto lines = logLines(path);
    ASSERT_GE(lines.size(), 10u);
    EXPECT_EQ(lines[0], "earlier line;");
    for (size_t i = 1; i < lines.size(); ++i)
        ASSERT_EQ(lines[i], std::to_string(i - 1) + ";" + std::to_string((i - 1) % 3) + ";");
}

TEST(CliLog, WaitsForTheInstrumentToComeBackAndCountsOn)
{
    auto platform = std::make_shared<SimHidPlatform>();
    SimInstrumentDevice instrument(*platform, instrumentAt("plug"));
    setInterval(instrument, 5);
    instrument.start();
    TempDir dir;
    const std::string path = dir.file("plug.csv");
    StopSwitch stop;
    Result r;
    std::thread run([&] { r = runCli(platform, {"log", path, "--columns", "cnt"}, stop.watcher()); });
    ASSERT_TRUE(waitFor([&] { return logLines(path).size() >= 20; }));
    instrument.unplug();
    std::this_thread::sleep_for(300ms);
    const size_t beforeReplug = logLines(path).size();
    instrument.plugBack();
    ASSERT_TRUE(waitFor([&] { return logLines(path).size() >= beforeReplug + 20; }));
    stop.press();
    run.join();
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_THAT(r.err,
                testing::ContainsRegex("the instrument at sim:plug is gone \\([0-9]+ lines so far\\); waiting "
                                       "for it to come back"));
    EXPECT_THAT(r.err, HasSubstr("the instrument at sim:plug is back"));
    expectConsecutiveCounters(logLines(path), 0);
}

// After a replug the system may hand the instrument another's former node: the log follows its serial number,
// never the node.
TEST(CliLog, AReplugFindsTheSameInstrumentWhateverItsNode)
{
    auto platform = std::make_shared<SimHidPlatform>();
    SimDeviceDescription a = instrumentAt("a");
    a.serialNumber = u"TX1";
    SimDeviceDescription b = instrumentAt("b");
    b.serialNumber = u"TX2";
    SimInstrumentDevice first(*platform, a);
    SimInstrumentDevice second(*platform, b);
    // Each shows its own constant position, so every line tells which instrument it came from.
    for (auto [instrument, offset] : {std::pair{&first, 111.0f}, std::pair{&second, 222.0f}}) {
        instrument->driver().withInstrument([offset = offset](auto &model) {
            model.parameters().encoders[0].coeff = 0.0f;
            model.parameters().encoders[0].offset = offset;
        });
        setInterval(*instrument, 5);
        instrument->start();
    }
    TempDir dir;
    const std::string path = dir.file("same.csv");
    StopSwitch stop;
    Result r;
    std::thread run([&] {
        r = runCli(platform, {"log", path, "--device", "sim:a", "--columns", "enc1p"}, stop.watcher());
    });
    ASSERT_TRUE(waitFor([&] { return logLines(path).size() >= 20; }));
    first.unplug();
    second.unplug();
    std::this_thread::sleep_for(300ms);
    second.plugBackAt("a"); // the other instrument takes the node first
    std::this_thread::sleep_for(500ms);
    const size_t whileAway = logLines(path).size();
    first.plugBackAt("b");
    ASSERT_TRUE(waitFor([&] { return logLines(path).size() >= whileAway + 20; }));
    stop.press();
    run.join();
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_THAT(r.err, HasSubstr("the instrument at sim:b (serial TX1) is back"));
    EXPECT_THAT(r.err, testing::Not(HasSubstr("TX2")));
    for (const std::string &line : logLines(path))
        ASSERT_EQ(line, "111.00;") << "every line from the instrument named at the start";
}

// A service starts before the instrument is plugged in: --wait waits for it instead of ending with code 2.
TEST(CliLog, WaitStartsWithTheInstrumentPluggedInLater)
{
    auto platform = std::make_shared<SimHidPlatform>();
    TempDir dir;
    const std::string path = dir.file("later.csv");
    StopSwitch stop;
    Result r;
    std::thread run([&] { r = runCli(platform, {"log", path, "--wait", "--columns", "cnt"}, stop.watcher()); });
    std::this_thread::sleep_for(300ms);
    EXPECT_FALSE(std::filesystem::exists(path));
    SimInstrumentDevice instrument(*platform, instrumentAt("later"));
    setInterval(instrument, 5);
    instrument.start();
    ASSERT_TRUE(waitFor([&] { return logLines(path).size() >= 20; }));
    stop.press();
    run.join();
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_THAT(r.err, HasSubstr("waiting for the instrument (--wait)"));
    const auto lines = logLines(path);
    for (size_t i = 1; i < lines.size(); ++i)
        ASSERT_EQ(std::stol(lines[i]), std::stol(lines[0]) + static_cast<long>(i)) << "every report, in order";
}

TEST(CliLog, ExitOnUnplugEndsWithNoInstrument)
{
    auto platform = std::make_shared<SimHidPlatform>();
    SimInstrumentDevice instrument(*platform, instrumentAt("once"));
    setInterval(instrument, 5);
    instrument.start();
    TempDir dir;
    const std::string path = dir.file("once.csv");
    Result r;
    std::thread run([&] { r = runCli(platform, {"log", path, "--exit-on-unplug", "--seconds", "60"}); });
    ASSERT_TRUE(waitFor([&] { return logLines(path).size() >= 5; }));
    instrument.unplug();
    run.join();
    EXPECT_EQ(r.code, torvex::cli::kExitNoInstrument);
    EXPECT_THAT(r.err, HasSubstr("is gone"));
    EXPECT_EQ(static_cast<long>(logLines(path).size()), summaryLines(r.err));
}

TEST(CliLog, TwoInstrumentsEachLoggedByItsOwnCommand)
{
    auto platform = std::make_shared<SimHidPlatform>();
    SimInstrumentDevice first(*platform, instrumentAt("one"));
    SimInstrumentDevice second(*platform, instrumentAt("two"));
    for (auto *instrument : {&first, &second})
        setInterval(*instrument, 5);
    // Told apart by their decimal places.
    second.driver().withInstrument([](auto &model) { model.parameters().dotPosition = 4; });
    first.start();
    second.start();
    TempDir dir;
    Result r1;
    Result r2;
    std::thread a([&] { r1 = runCli(platform, {"log", dir.file("1.csv"), "--device", "sim:one", "--seconds", "2"}); });
    std::thread b([&] { r2 = runCli(platform, {"log", dir.file("2.csv"), "--device", "sim:two", "--seconds", "2"}); });
    a.join();
    b.join();
    ASSERT_EQ(r1.code, 0) << r1.err;
    ASSERT_EQ(r2.code, 0) << r2.err;
    const auto one = logLines(dir.file("1.csv"));
    const auto two = logLines(dir.file("2.csv"));
    ASSERT_GE(one.size(), 50u);
    ASSERT_GE(two.size(), 50u);
    EXPECT_TRUE(std::regex_match(fields(one.back())[4], std::regex("-?\\d+\\.\\d{2}"))) << one.back();
    EXPECT_TRUE(std::regex_match(fields(two.back())[4], std::regex("-?\\d+\\.\\d{4}"))) << two.back();
    expectConsecutiveCounters(one);
    expectConsecutiveCounters(two);
}

struct RefusalCase {
    const char *name;
    const char *device; // --device, or "" for the first instrument
    bool readWrite;
    const char *message;
};

class CliNoInstrument : public testing::TestWithParam<RefusalCase> {};

TEST_P(CliNoInstrument, SaysWhyAndEndsWithCodeTwo)
{
    auto platform = std::make_shared<SimHidPlatform>();
    SimDeviceDescription keyboard;
    keyboard.productName = u"USB Keyboard";
    keyboard.caps = torvex::THidCaps{9, 2, 0};
    keyboard.instance = "keyboard";
    platform->plug(keyboard);
    SimDeviceDescription instrument = instrumentAt("box");
    instrument.readWriteAccess = GetParam().readWrite;
    if (std::string(GetParam().name) != "NoneAtAll")
        platform->plug(instrument);
    TempDir dir;
    std::vector<std::string> args{"log", dir.file("x.csv")};
    if (*GetParam().device) {
        args.push_back("--device");
        args.push_back(GetParam().device);
    }
    const Result r = runCli(platform, args);
    EXPECT_EQ(r.code, torvex::cli::kExitNoInstrument);
    EXPECT_THAT(r.err, HasSubstr(GetParam().message));
    EXPECT_FALSE(std::filesystem::exists(dir.file("x.csv"))) << "no empty log file left behind";
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CliNoInstrument,
    testing::Values(RefusalCase{"NoneAtAll", "", true, "no TORVEX instrument found"},
                    RefusalCase{"NoSuchPath", "sim:elsewhere", true, "no HID device at sim:elsewhere"},
                    RefusalCase{"NotAnInstrument", "sim:keyboard", true,
                                "sim:keyboard is not a TORVEX instrument (it is \"USB Keyboard\")"},
                    RefusalCase{"NoAccess", "", false,
                                "cannot open the instrument at sim:box for reading and writing: Permission denied"}),
    [](const testing::TestParamInfo<RefusalCase> &p) { return std::string(p.param.name); });

TEST(CliLog, UnwritableFileIsAnIoErrorBeforeAnythingElse)
{
    auto platform = std::make_shared<SimHidPlatform>();
    SimInstrumentDevice instrument(*platform, instrumentAt("i"));
    TempDir dir;
    const Result r = runCli(platform, {"log", dir.file("missing-folder/x.csv")});
    EXPECT_EQ(r.code, torvex::cli::kExitIo);
    EXPECT_THAT(r.err, HasSubstr("x.csv for appending: No such file or directory"));
}

// A disk that fills up in the middle of a line and stays full: the lines wait, the status says so, and at the end
// the part line is cut off the log again and the lines that wait go to a recovery file beside it, named on
// standard error, with exit code 3. A file-size limit stands in for the full disk.
TEST(CliLog, LinesTheFullDiskCannotTakeEndInARecoveryFileAndTheLogInAWholeLine)
{
    auto platform = std::make_shared<SimHidPlatform>();
    SimInstrumentDevice instrument(*platform, instrumentAt("full"));
    setInterval(instrument, 2);
    TempDir dir;
    const std::string path = dir.file("x.csv");
    std::string earlier;
    for (int n = 0; n < 8192; ++n)
        earlier += "old;\r\n"; // 48 KiB of an earlier run
    std::ofstream(path, std::ios::binary) << earlier;
    rlimit saved{};
    getrlimit(RLIMIT_FSIZE, &saved);
    const auto previous = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limit = saved;
    limit.rlim_cur = earlier.size() + 10; // two whole lines and a part of the third still fit
    setrlimit(RLIMIT_FSIZE, &limit);
    instrument.start();
    const Result r = runCli(platform, {"log", path, "--seconds", "3", "--columns", "cnt"});
    instrument.stop();
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previous);

    EXPECT_EQ(r.code, torvex::cli::kExitIo) << r.err;
    EXPECT_THAT(r.err,
                testing::ContainsRegex("cannot write to .*x.csv \\(File too large\\): [1-9][0-9]* lines "
                                       "waiting for it, 0 lines lost\n"));
    bool torn = true;
    std::vector<std::string> logged = logLines(path, &torn);
    EXPECT_FALSE(torn) << "the log ends in a whole line";
    ASSERT_GE(logged.size(), 8192u);
    EXPECT_EQ(logged.size(), 8192u + 2) << "the lines that fitted whole";
    logged.erase(logged.begin(), logged.begin() + 8192);
    const auto rescued = logLines(dir.file("x.recovered.csv"));
    EXPECT_GT(rescued.size(), 100u);
    logged.insert(logged.end(), rescued.begin(), rescued.end());
    expectConsecutiveCounters(logged, 0);
    EXPECT_THAT(r.err,
                HasSubstr("; the " + std::to_string(rescued.size()) + " lines waiting for it were saved to "
                          + dir.file("x.recovered.csv") + "\n"));
    EXPECT_EQ(summaryLines(r.err), 2);
}

TEST(CliWatch, PlainLinesWithNamesAndUnitsFromTheSettingsFile)
{
    auto platform = std::make_shared<SimHidPlatform>();
    SimInstrumentDevice instrument(*platform, instrumentAt("w"));
    setInterval(instrument, 10);
    instrument.start();
    TempDir dir;
    const std::string settings = dir.file("config.ini");
    writeFile(settings, "[Options]\r\nEncName1=Wheel\r\nEncUnit1=mm\r\nEncUnit3=m\r\n");
    const Result r = runCli(platform, {"watch", "--settings", settings, "--seconds", "2"});
    ASSERT_EQ(r.code, 0) << r.err;
    std::istringstream out(r.out);
    std::vector<std::string> lines;
    for (std::string line; std::getline(out, line);)
        lines.push_back(line);
    ASSERT_GE(lines.size(), 4u) << "about 4 refreshes a second";
    static const std::regex shape(
        "\\d{2}-\\d{2}-\\d{4} \\d{2}:\\d{2}:\\d{2} \\| Wheel -?\\d+\\.\\d{2} \\[mm\\] "
        "-?\\d+\\.\\d{2} \\[mm/sec\\] \\| Encoder 2 .* \\[\\.\\.\\./sec\\] \\| Encoder 3 "
        ".*\\[m/sec\\] \\| OUT1 (HI|LO).* \\| TRIG1 (HI|LO)  TRIG2 (HI|LO) \\| \\d+ reports/s");
    for (const std::string &line : lines)
        EXPECT_TRUE(std::regex_match(line, shape)) << line;
    EXPECT_THAT(lines.back(), testing::Not(HasSubstr("| 0 reports/s"))) << "reports arrive at 100 a second";
}

// For programs: every measurement report is a line, counted by the instrument's own count, none left out.
TEST(CliWatch, CsvHasALinePerReportWithTheDecimalCommaQuoted)
{
    auto platform = std::make_shared<SimHidPlatform>();
    SimInstrumentDevice instrument(*platform, instrumentAt("w"));
    setInterval(instrument, 5);
    instrument.start();
    const Result r = runCli(platform, {"watch", "--format", "csv", "--decimal-separator", ",", "--seconds", "1"});
    instrument.stop();
    ASSERT_EQ(r.code, 0) << r.err;
    std::istringstream out(r.out);
    std::vector<std::string> lines;
    for (std::string line; std::getline(out, line);)
        lines.push_back(line);
    ASSERT_GE(lines.size(), 50u);
    EXPECT_EQ(lines[0],
              "time,count,instrument clock,\"Encoder 1 position\",\"Encoder 1 velocity\",\"Encoder 2 "
              "position\",\"Encoder 2 velocity\",\"Encoder 3 position\",\"Encoder 3 velocity\",out1,out2,"
              "out3,out4,trig1,trig2");
    static const std::regex shape("\\d{4}-\\d{2}-\\d{2}T\\d{2}:\\d{2}:\\d{2}\\.\\d{3},(\\d+),[-0-9: ]+"
                                  "(,\"-?\\d+,\\d{2}\"){6}(,[01]){6}");
    // Numbered from 0, as the log numbers its lines.
    for (size_t i = 1; i < lines.size(); ++i) {
        std::smatch m;
        ASSERT_TRUE(std::regex_match(lines[i], m, shape)) << lines[i];
        ASSERT_EQ(std::stoul(m[1]), i - 1) << "one line per report, in order";
    }
}

// A refused FILE, as README's exit codes have it, with the reason.
TEST(CliWatch, MissingSettingsFileIsARefusedFile)
{
    auto platform = std::make_shared<SimHidPlatform>();
    for (const std::string command : {"watch", "log"}) {
        std::vector<std::string> args{command, "--settings", "/nonexistent/config.ini"};
        if (command == "log")
            args.insert(args.begin() + 1, "-");
        const Result r = runCli(platform, args);
        EXPECT_EQ(r.code, torvex::cli::kExitUsage) << command;
        EXPECT_EQ(r.err,
                  "torvex-cli: cannot read the settings file /nonexistent/config.ini: No such file or directory\n")
            << command;
    }
}

// A configuration far from the factory one, in every parameter the files carry.
void changeEverything(torvex::sim::Parameters &p)
{
    for (int k = 0; k < 3; ++k) {
        auto &e = p.encoders[k];
        e.mode = static_cast<std::uint8_t>(k % 2 == 0);
        e.clearByIndex = static_cast<std::uint8_t>(k == 1);
        e.gateTime = 65535 - k;
        e.resolution = 1 + k;
        e.coeff = 0.0001f * static_cast<float>(k + 1);
        e.offset = -2.5f - static_cast<float>(k);
    }
    p.transmissionMode = 2;
    p.sendInterval = 9999;
    p.triggerFilter = 0;
    p.outputs = {{{7, 1, 1, -9999.999f}, {1, 1, 1, 0.0f}, {3, 0, 1, 123.45f}, {0, 0, 0, 0.0f}}};
    p.modbusAddress = 247;
    p.modbusBaud = 4;
    p.triggerMasterMode = 1;
    p.triggerRegisterType = {5, 4, 3};
    p.dotPosition = 5;
    p.redDisplay = 1;
    p.greenDisplay = 10;
    p.beeper = 1;
}

void expectSameConfiguration(const torvex::sim::Parameters &a, const torvex::sim::Parameters &b)
{
    for (int k = 0; k < 3; ++k) {
        SCOPED_TRACE("encoder " + std::to_string(k + 1));
        EXPECT_EQ(a.encoders[k].mode, b.encoders[k].mode);
        EXPECT_EQ(a.encoders[k].clearByIndex, b.encoders[k].clearByIndex);
        EXPECT_EQ(a.encoders[k].gateTime, b.encoders[k].gateTime);
        EXPECT_EQ(a.encoders[k].resolution, b.encoders[k].resolution);
        EXPECT_EQ(a.encoders[k].coeff, b.encoders[k].coeff);
        EXPECT_EQ(a.encoders[k].offset, b.encoders[k].offset);
    }
    EXPECT_EQ(a.transmissionMode, b.transmissionMode);
    EXPECT_EQ(a.sendInterval, b.sendInterval);
    EXPECT_EQ(a.triggerFilter, b.triggerFilter);
    for (int k = 0; k < 4; ++k) {
        SCOPED_TRACE("output " + std::to_string(k + 1));
        EXPECT_EQ(a.outputs[k].source, b.outputs[k].source);
        EXPECT_EQ(a.outputs[k].condition, b.outputs[k].condition);
        EXPECT_EQ(a.outputs[k].state, b.outputs[k].state);
        EXPECT_EQ(a.outputs[k].threshold, b.outputs[k].threshold);
    }
    EXPECT_EQ(a.modbusAddress, b.modbusAddress);
    EXPECT_EQ(a.modbusBaud, b.modbusBaud);
    EXPECT_EQ(a.triggerMasterMode, b.triggerMasterMode);
    EXPECT_EQ(a.triggerRegisterType, b.triggerRegisterType);
    EXPECT_EQ(a.dotPosition, b.dotPosition);
    EXPECT_EQ(a.redDisplay, b.redDisplay);
    EXPECT_EQ(a.greenDisplay, b.greenDisplay);
    EXPECT_EQ(a.beeper, b.beeper);
}

class CliConfigCloning : public testing::TestWithParam<const char *> {};

TEST_P(CliConfigCloning, GetFromOneInstrumentSetOnAnotherMakesThemEqual)
{
    auto platform = std::make_shared<SimHidPlatform>();
    SimInstrumentDevice source(*platform, instrumentAt("source"));
    SimInstrumentDevice target(*platform, instrumentAt("target"));
    source.driver().withInstrument([](auto &model) { changeEverything(model.parameters()); });
    source.start();
    target.start();

    const Result got = runCli(platform, {"config", "get", "--device", "sim:source", "--format", GetParam()});
    ASSERT_EQ(got.code, 0) << got.err;
    EXPECT_THAT(got.out,
                HasSubstr(std::string(GetParam()) == "ini" ? "Encoder2.GateTime = 65534" : "\"GateTime\": 65534"));
    TempDir dir;
    const std::string file = dir.file("backup");
    writeFile(file, got.out);

    const auto factory = parametersOf(target);
    const Result set = runCli(platform, {"config", "set", file, "--device", "sim:target", "--verify"});
    EXPECT_EQ(set.code, 0) << set.err << set.out;
    EXPECT_THAT(set.err, HasSubstr("verified"));
    EXPECT_EQ(set.out, "") << "no difference to list";
    expectSameConfiguration(parametersOf(source), parametersOf(target));
    EXPECT_NE(factory.sendInterval, parametersOf(target).sendInterval) << "the target did change";
}

INSTANTIATE_TEST_SUITE_P(Forms, CliConfigCloning, testing::Values("ini", "json"),
                         [](const testing::TestParamInfo<const char *> &p) { return std::string(p.param); });

TEST(CliConfig, OutOfRangeValuesAreRefusedByNameAndNothingIsSent)
{
    auto platform = std::make_shared<SimHidPlatform>();
    SimInstrumentDevice instrument(*platform, instrumentAt("i"));
    instrument.start();
    TempDir dir;
    const std::string file = dir.file("bad.ini");
    writeFile(file, "Beeper = 1\nEncoder2.GateTime = 70000\nOutput1.Threshold = 10000.5\n");
    const Result r = runCli(platform, {"config", "set", file});
    EXPECT_EQ(r.code, torvex::cli::kExitUsage);
    EXPECT_THAT(r.err, HasSubstr("Encoder2.GateTime = 70000 is outside the limits 1..65535"));
    EXPECT_THAT(r.err, HasSubstr("Output1.Threshold = 10000.5 is outside the limits -10000..10000"));
    EXPECT_THAT(r.err, HasSubstr("nothing was sent"));
    EXPECT_THAT(instrument.device()->writtenReports(), testing::IsEmpty());
    EXPECT_EQ(parametersOf(instrument).beeper, 0);
}

// Cloning onto the instruments of one MODBUS line keeps each one's address.
TEST(CliConfig, SkippedKeysAreNotSent)
{
    auto platform = std::make_shared<SimHidPlatform>();
    SimInstrumentDevice instrument(*platform, instrumentAt("i"));
    instrument.start();
    const auto before = parametersOf(instrument);
    const Result r = runCli(platform, {"config", "set", "-", "--skip", "ModbusAddress", "--verify"}, {},
                            "ModbusAddress = 9\nBeeper = 1\n");
    EXPECT_EQ(r.code, 0) << r.err << r.out;
    EXPECT_EQ(parametersOf(instrument).modbusAddress, before.modbusAddress);
    EXPECT_EQ(parametersOf(instrument).beeper, 1);
}

TEST(CliConfig, SomeOutputRulesKeepTheOthersTheInstrumentHas)
{
    auto platform = std::make_shared<SimHidPlatform>();
    SimInstrumentDevice instrument(*platform, instrumentAt("i"));
    instrument.driver().withInstrument([](auto &model) {
        model.parameters().outputs = {{{2, 1, 1, 5.5f}, {5, 0, 1, -1.0f}, {0, 0, 0, 0.0f}, {1, 0, 1, 0.0f}}};
    });
    instrument.start();
    TempDir dir;
    const std::string file = dir.file("rule.ini");
    writeFile(file, "Output3.Source = 4\nOutput3.Threshold = 42.25\n");
    const Result r = runCli(platform, {"config", "set", file, "--verify"});
    EXPECT_EQ(r.code, 0) << r.err << r.out;
    const auto outputs = parametersOf(instrument).outputs;
    EXPECT_EQ(outputs[0].threshold, 5.5f);
    EXPECT_EQ(outputs[1].source, 5);
    EXPECT_EQ(outputs[2].source, 4);
    EXPECT_EQ(outputs[2].threshold, 42.25f);
    EXPECT_EQ(outputs[3].state, 1);
}

TEST(CliConfig, UnansweredRequestsAreReportedNotInvented)
{
    auto platform = std::make_shared<SimHidPlatform>();
    // The instrument's device with nothing behind it: it takes every report and answers none.
    const auto mute = platform->plug(instrumentAt("mute"));
    const Result r = runCli(platform, {"config", "get", "--timeout", "30"});
    EXPECT_EQ(r.code, torvex::cli::kExitIo);
    EXPECT_THAT(r.err,
                HasSubstr("no answer to read request 9, channel 1 (Encoder2.Mode, Encoder2.ClearByIndex, "
                          "Encoder2.GateTime, Encoder2.Resolution, Encoder2.Coeff, Encoder2.Offset)"));
    EXPECT_THAT(r.out, testing::Not(testing::ContainsRegex("\n[A-Za-z0-9.]+ = ")));
}

// A backup replaces the previous one only when it is whole: a run that fails leaves the old one readable.
TEST(CliConfig, BackupFileIsWrittenWholeOrLeftAsItWas)
{
    auto platform = std::make_shared<SimHidPlatform>();
    TempDir dir;
    const std::string backup = dir.file("backup.ini");
    writeFile(backup, "Beeper = 1\n");

    const auto mute = platform->plug(instrumentAt("mute")); // answers nothing
    const Result partial = runCli(platform, {"config", "get", "-o", backup, "--timeout", "30"});
    EXPECT_EQ(partial.code, torvex::cli::kExitIo);
    EXPECT_THAT(partial.err, HasSubstr("no answer to read request 9, channel 1 (Encoder2.Mode"));
    EXPECT_THAT(partial.err,
                HasSubstr("torvex-cli: " + backup
                          + " was left as it was, since some values had no "
                            "answer\n"));
    EXPECT_EQ(readFile(backup), "Beeper = 1\n");

    SimInstrumentDevice second(*platform, instrumentAt("second"));
    const Result several = runCli(platform, {"config", "get", "-o", backup});
    EXPECT_EQ(several.code, torvex::cli::kExitNoInstrument);
    EXPECT_EQ(readFile(backup), "Beeper = 1\n");
    platform->unplug(second.device());

    platform->unplug(mute);
    SimInstrumentDevice instrument(*platform, instrumentAt("i"));
    instrument.start();
    const Result printed = runCli(platform, {"config", "get"});
    const Result written = runCli(platform, {"config", "get", "-o", backup});
    EXPECT_EQ(written.code, 0) << written.err;
    EXPECT_EQ(written.out, "");
    EXPECT_THAT(printed.out, HasSubstr("Encoder2.GateTime = "));
    EXPECT_EQ(readFile(backup), printed.out);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.file("")), {}), 1) << "no temporary file left";
}

// Unplugged half-way: said once, with what the instrument took before it went, instead of a line for every
// value the check could not read.
TEST(CliConfig, AnInstrumentThatGoesAwayIsSaidOnceWithWhatWasWritten)
{
    auto platform = std::make_shared<SimHidPlatform>();
    SimInstrumentDevice instrument(*platform, instrumentAt("i"));
    instrument.start();
    // The instrument takes two writes; the third finds it on its way out.
    std::atomic<int> writes = 0;
    instrument.device()->setOutputHandler([&](std::span<const std::uint8_t> report) {
        if (++writes <= 2)
            instrument.driver().handleOutputReport(report);
    });
    std::thread unplug([&] {
        waitFor([&] { return writes >= 3; });
        platform->unplug(instrument.device());
    });
    const auto started = std::chrono::steady_clock::now();
    const Result r = runCli(platform,
                            {"config", "set", "Beeper=1", "SendInterval=50", "TriggerFilter=3", "RedDisplay=1",
                             "--verify", "--timeout", "20000"});
    unplug.join();
    EXPECT_LT(std::chrono::steady_clock::now() - started, 10s) << "no wait for an answer from an unplugged one";
    EXPECT_EQ(r.code, torvex::cli::kExitNoInstrument) << r.err;
    EXPECT_THAT(r.err,
                testing::EndsWith("; 2 of 4 writes acknowledged before it went (SendInterval, TriggerFilter), "
                                  "the others not done\n"));
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    EXPECT_EQ(r.out, "");
}

// The instrument keeps no threshold for an output whose source compares nothing: --verify checks what it holds
// against what the file asked for, so a dropped value fails the command however the write went.
TEST(CliConfig, AThresholdTheInstrumentDropsIsNamedAndFailsTheVerification)
{
    auto platform = std::make_shared<SimHidPlatform>();
    SimInstrumentDevice instrument(*platform, instrumentAt("i"));
    instrument.start();
    const Result r = runCli(platform, {"config", "set", "Output1.Source=0", "Output1.Threshold=50", "--verify"});
    EXPECT_EQ(r.code, torvex::cli::kExitIo) << r.err << r.out;
    EXPECT_THAT(r.err, HasSubstr("Output1.Threshold = 50 ignored: Output1.Source 0 does not compare"));
    EXPECT_THAT(r.out + r.err, HasSubstr("Output1.Threshold: asked for 50, the instrument holds 0.000"));
    EXPECT_THAT(r.err, testing::Not(HasSubstr("verified")));
    EXPECT_EQ(parametersOf(instrument).outputs[0].threshold, 0.0f);
}

// A stop request ends a command that waits for an instrument that does not answer at once, not after every
// request has waited out its --timeout.
class CliConfigStop : public testing::TestWithParam<std::vector<std::string>> {};

TEST_P(CliConfigStop, EndsWithinASecondOfTheRequest)
{
    auto platform = std::make_shared<SimHidPlatform>();
    // The instrument's device with nothing behind it: it takes every report and answers none.
    const auto mute = platform->plug(instrumentAt("mute"));
    StopSwitch stop;
    Result r;
    std::thread run([&] { r = runCli(platform, GetParam(), stop.watcher()); });
    std::this_thread::sleep_for(300ms);
    const auto pressed = std::chrono::steady_clock::now();
    stop.press();
    run.join();
    EXPECT_LT(std::chrono::steady_clock::now() - pressed, 1s);
    EXPECT_EQ(r.code, 128 + 2) << r.err;
    EXPECT_THAT(r.err, HasSubstr("stopped"));
    EXPECT_THAT(r.out, testing::Not(testing::ContainsRegex("\n[A-Za-z0-9.]+ = "))) << "no half configuration";
}

INSTANTIATE_TEST_SUITE_P(Commands, CliConfigStop,
                         testing::Values(std::vector<std::string>{"config", "get", "--timeout", "60000"},
                                         std::vector<std::string>{"config", "set", "Beeper=1", "--timeout", "60000"}),
                         [](const testing::TestParamInfo<std::vector<std::string>> &p) {
                             return p.param[1] == "get" ? std::string("Get") : std::string("Set");
                         });

// The backend gives up a write the device does not take (on Windows after a second): said as such, not as a
// missing acknowledgement.
TEST(CliConfig, WriteNotTakenInTimeIsAFailedWriteWithItsReason)
{
    auto platform = std::make_shared<SimHidPlatform>();
    SimInstrumentDevice instrument(*platform, instrumentAt("stuck"));
    instrument.start();
    instrument.device()->setWriteTimesOut(true);
    const Result r = runCli(platform, {"config", "set", "Beeper=1", "--timeout", "30"});
    EXPECT_EQ(r.code, torvex::cli::kExitIo);
    EXPECT_THAT(r.err, HasSubstr("Beeper: not written: the instrument took no report for a second"));
    EXPECT_THAT(r.err, HasSubstr("0 of 1 writes acknowledged"));
}

TEST(CliConfig, UnacknowledgedWritesAreAnIoError)
{
    auto platform = std::make_shared<SimHidPlatform>();
    // The instrument's device with nothing behind it: it takes every report and answers none.
    const auto mute = platform->plug(instrumentAt("mute"));
    TempDir dir;
    const std::string file = dir.file("one.ini");
    writeFile(file, "Beeper = 1\n");
    const Result r = runCli(platform, {"config", "set", file, "--timeout", "30"});
    EXPECT_EQ(r.code, torvex::cli::kExitIo);
    EXPECT_THAT(r.err, HasSubstr("Beeper: no acknowledgement from the instrument"));
    EXPECT_THAT(r.err, HasSubstr("0 of 1 writes acknowledged"));
    ASSERT_EQ(mute->writtenReports().size(), 1u);
    const auto report = mute->writtenReports()[0];
    EXPECT_EQ(report.size(), 65u);
    EXPECT_EQ((std::vector<std::uint8_t>(report.begin(), report.begin() + 5)),
              (std::vector<std::uint8_t>{1, 2, 20, 0, 1}));
}

} // namespace
