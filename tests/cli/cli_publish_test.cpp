// torvex-cli publish, the real executable against a real broker (mosquitto, started here): every report
// arrives, two instruments share a broker, the status is "offline" however the program ends, and a refused
// password ends the command before anything is recorded.
#ifdef TORVEX_PUBLISH

#include "cli/cli_args.h"
#include "cli/publish_setup.h"
#include "test_broker.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <csignal>
#include <fstream>
#include <map>
#include <regex>
#include <set>

using namespace broker_test;
using namespace torvex::cli;
using namespace std::chrono_literals;
using testing::HasSubstr;

namespace {

std::vector<std::string> publishArgs(const TestBroker &broker, const std::string &name,
                                     const std::vector<std::string> &more)
{
    std::vector<std::string> args{TORVEX_CLI_EXECUTABLE,
                                  "publish",
                                  "mqtt://127.0.0.1:" + std::to_string(broker.port()) + "/plant",
                                  "--name",
                                  name,
                                  "--demo",
                                  "--demo-interval",
                                  "1"};
    args.insert(args.end(), more.begin(), more.end());
    return args;
}

long publishedCount(const std::string &output)
{
    std::smatch m;
    static const std::regex summary("torvex-cli: (\\d+) reports published to ");
    return std::regex_search(output, m, summary) ? std::stol(m[1]) : -1;
}

// Per instrument (topic), the counters that arrived without duplicates; false on a gap or a step back.
struct Arrived {
    std::map<std::string, long> next;
    std::set<std::string> runs;
    std::string fault;
};
Arrived arrived(const Subscriber &subscriber)
{
    Arrived result;
    for (const std::string &line : subscriber.lines()) {
        const std::string topic = line.substr(0, line.find(' '));
        const auto batch = nlohmann::json::parse(line.substr(line.find(' ') + 1));
        result.runs.insert(batch["run"].get<std::string>());
        long &next = result.next[topic];
        for (const auto &report : batch["reports"]) {
            const long counter = report["counter"].get<long>();
            if (counter > next && result.fault.empty())
                result.fault = topic + ": " + std::to_string(counter) + " after " + std::to_string(next - 1);
            next = std::max(next, counter + 1);
        }
    }
    return result;
}

std::string uniqueName(const char *base) { return base + std::to_string(::getpid()); }

ParsedArguments parse(std::vector<std::string_view> words) { return parseArguments(words); }

std::optional<PublishPlan> plan(CliOptions::Publish options, std::string &error,
                                std::optional<std::string> environmentPassword = std::nullopt)
{
    return planPublish(
        options, [&](const char *) { return environmentPassword; }, error);
}

} // namespace

TEST(CliPublishArguments, RefusedBeforeAnythingIsOpened)
{
    const std::pair<std::vector<std::string_view>, const char *> refused[] = {
        {{"publish"}, "needs the broker's URL"},
        {{"publish", "mqtts://b/p", "--cert", "c.pem"}, "--cert and --key go together"},
        {{"publish", "mqtt://b/p", "--batch-ms", "5"}, "10 to 10000"},
        {{"publish", "mqtt://b/p", "--password", "secret"}, "unknown option --password"},
        {{"log", "x.csv", "--name", "press-4"}, "go with --publish URL"},
    };
    for (const auto &[words, reason] : refused)
        EXPECT_THAT(parse(words).error, HasSubstr(reason)) << words.size();

    const ParsedArguments all = parse({"publish", "mqtts://u@b/p", "--name", "press-4", "--cafile", "ca.pem", "--cert",
                                       "c.pem", "--key", "k.pem", "--insecure", "--batch-ms", "250", "--wait"});
    ASSERT_EQ(all.error, "");
    const CliOptions::Publish &p = all.options.publish;
    EXPECT_EQ(p.url, "mqtts://u@b/p");
    EXPECT_EQ(p.name, "press-4");
    EXPECT_EQ(p.caFile, "ca.pem");
    EXPECT_EQ(p.certFile, "c.pem");
    EXPECT_EQ(p.keyFile, "k.pem");
    EXPECT_TRUE(p.insecure);
    EXPECT_EQ(p.batch, 250ms);

    std::string error;
    auto options = [](const char *url, auto change) {
        CliOptions::Publish o;
        o.url = url;
        change(o);
        return o;
    };
    EXPECT_FALSE(plan(options("mqtt://b/p", [](auto &o) { o.name = "a/b"; }), error));
    EXPECT_THAT(error, HasSubstr("'/'"));
    EXPECT_FALSE(plan(options("mqtt://b/p", [](auto &o) { o.passwordFile = "/etc/hostname"; }), error));
    EXPECT_THAT(error, HasSubstr("needs a user name"));
    EXPECT_FALSE(plan(options("mqtt://b/p", [](auto &o) { o.caFile = "ca.pem"; }), error));
    EXPECT_THAT(error, HasSubstr("mqtts://"));
    // The environment's password goes only to a user named in the URL.
    auto none = [](auto &) {};
    EXPECT_EQ(plan(options("mqtt://b/p", none), error, "secret")->settings.password, "");
    EXPECT_EQ(plan(options("mqtt://u@b/p", none), error, "secret")->settings.password, "secret");
}

TEST(CliPublish, TwoInstrumentsIntoOneBrokerEveryReportInOrder)
{
    TestBroker broker;
    Subscriber subscriber(broker, "plant/+/measurements", "plant-checker");
    ASSERT_TRUE(subscriber.waitSubscribed()) << broker.log();
    const std::string first = uniqueName("press-a"), second = uniqueName("press-b");
    Program a(publishArgs(broker, first, {"--seconds", "3"}), broker.folder() / "a.log");
    Program b(publishArgs(broker, second, {"--seconds", "3"}), broker.folder() / "b.log");
    ASSERT_TRUE(waitUntil([&] { return retained(broker, "plant/" + first + "/status") == "online"; })) << a.output();
    // The same instrument twice on one computer: refused, the first one goes on.
    Program again(publishArgs(broker, first, {"--seconds", "1"}), broker.folder() / "again.log");
    EXPECT_EQ(again.wait(), 3) << again.output();
    EXPECT_THAT(again.output(), HasSubstr("publishes " + first + " already"));

    ASSERT_EQ(a.wait(), 0) << a.output();
    ASSERT_EQ(b.wait(), 0) << b.output();
    const long sentA = publishedCount(a.output()), sentB = publishedCount(b.output());
    EXPECT_GT(sentA, 1000) << a.output();
    Arrived got;
    EXPECT_TRUE(waitUntil([&] {
        got = arrived(subscriber);
        return got.next["plant/" + first + "/measurements"] >= sentA
            && got.next["plant/" + second + "/measurements"] >= sentB;
    }));
    EXPECT_EQ(got.fault, "");
    EXPECT_EQ(got.next["plant/" + first + "/measurements"], sentA);
    EXPECT_EQ(got.next["plant/" + second + "/measurements"], sentB);
    EXPECT_EQ(got.runs.size(), 2u) << "each start is a run of its own";
    std::cout << sentA << " and " << sentB << " reports published, every one received\n";

    EXPECT_EQ(retained(broker, "plant/" + first + "/status"), "offline");
    const auto info = nlohmann::json::parse(retained(broker, "plant/" + first + "/info"));
    EXPECT_EQ(info["serial"], "DEMO1001");
    EXPECT_EQ(got.runs.count(info["run"].get<std::string>()), 1u);
}

TEST(CliPublish, AfterAKillTheLastWillSaysOffline)
{
    TestBroker broker;
    const std::string name = uniqueName("press-k");
    Program cli(publishArgs(broker, name, {}), broker.folder() / "cli.log");
    ASSERT_TRUE(waitUntil([&] { return retained(broker, "plant/" + name + "/status") == "online"; })) << cli.output();
    cli.signal(SIGKILL);
    cli.wait();
    EXPECT_TRUE(waitUntil([&] { return retained(broker, "plant/" + name + "/status") == "offline"; }, 5s));
}

// One reading of the instrument, two outputs: a broker that stalls costs the file nothing, and what the broker
// never acknowledged is saved beside the file.
TEST(CliPublish, LogFileKeepsEveryLineWhileTheBrokerStalls)
{
    TestBroker broker;
    const std::string name = uniqueName("press-l");
    const std::filesystem::path file = broker.folder() / "log.csv";
    Program cli({TORVEX_CLI_EXECUTABLE, "log", file.string(), "--publish",
                 "mqtt://127.0.0.1:" + std::to_string(broker.port()) + "/plant", "--name", name, "--demo",
                 "--demo-interval", "1", "--seconds", "3"},
                broker.folder() / "cli.log");
    ASSERT_TRUE(waitUntil([&] { return retained(broker, "plant/" + name + "/status") == "online"; })) << cli.output();
    broker.pause();
    EXPECT_EQ(cli.wait(), 3) << cli.output();
    broker.resume();

    std::smatch m;
    const std::string output = cli.output();
    ASSERT_TRUE(std::regex_search(output, m, std::regex("(\\d+) lines written to "))) << output;
    const long lines = std::stol(m[1]);
    std::ifstream log(file);
    long fileLines = 0;
    for (std::string line; std::getline(log, line);)
        ++fileLines;
    EXPECT_EQ(fileLines, lines) << "the file has every line";
    const long published = publishedCount(output);
    ASSERT_GE(published, 0) << output;

    // The rest, from the first report the broker never acknowledged to the last, in the recovery file.
    ASSERT_TRUE(std::regex_search(output, m, std::regex("saved to (\\S+)"))) << output;
    const std::filesystem::path recovery = m[1].str();
    EXPECT_EQ(recovery.parent_path(), broker.folder());
    long next = published;
    std::ifstream in(recovery);
    for (std::string line; std::getline(in, line);) {
        const auto batch = nlohmann::json::parse(line);
        for (const auto &report : batch["reports"])
            ASSERT_EQ(report["counter"].get<long>(), next++);
    }
    EXPECT_EQ(next, lines);
}

TEST(CliPublish, RefusedPasswordEndsBeforeAnythingIsRecorded)
{
    TestBroker broker({.user = "counter", .password = "right"});
    const std::filesystem::path passwordFile = broker.folder() / "password";
    std::ofstream(passwordFile) << "wrong-secret\n";
    std::vector<std::string> args{TORVEX_CLI_EXECUTABLE,
                                  "publish",
                                  "mqtt://counter@127.0.0.1:" + std::to_string(broker.port()) + "/plant",
                                  "--name",
                                  uniqueName("press-p"),
                                  "--password-file",
                                  passwordFile.string(),
                                  "--demo"};
    Program cli(args, broker.folder() / "cli.log");
    EXPECT_EQ(cli.wait(), 4) << cli.output();
    EXPECT_THAT(cli.output(), HasSubstr("not authorised"));
    EXPECT_THAT(cli.output(), testing::Not(HasSubstr("wrong-secret")));
    EXPECT_THAT(cli.output(), testing::Not(HasSubstr("published")));
}

#endif
