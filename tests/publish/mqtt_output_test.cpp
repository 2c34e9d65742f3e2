// The broker output against a real broker (mosquitto, started here): nothing lost while the broker restarts or
// stalls, refusals in words, and what the broker never acknowledged saved at the end.
#include "publish/batch_json.h"
#include "publish/mqtt_output.h"
#include "test_broker.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <condition_variable>
#include <deque>
#include <fstream>
#include <mutex>
#include <set>
#include <thread>

using namespace torvex;
using namespace broker_test;
using namespace std::chrono_literals;
using testing::HasSubstr;

namespace {

// Stands in for the recorder: the output's own thread hands it records in order whenever it is ready, ticks it
// after its idle wait, and at the end hands it the rest and has it finish.
class Driver {
public:
    explicit Driver(RecordOutput &output) : output_(output), thread_([this] { run(); }) {}
    ~Driver() { finish(RecordOutput::Clock::now()); }

    void add(std::uint32_t counter)
    {
        MeasurementRecord record;
        record.line.measurementCount = counter;
        record.line.decimalPlaces = 3;
        record.line.position[0] = static_cast<float>(counter) / 8;
        record.utcMs =
            std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::system_clock::now().time_since_epoch())
                .count();
        std::lock_guard lock(mutex_);
        queue_.push_back(record);
        changed_.notify_all();
    }

    void finish(RecordOutput::Clock::time_point deadline)
    {
        {
            std::lock_guard lock(mutex_);
            deadline_ = deadline;
            stopping_ = true;
            changed_.notify_all();
        }
        if (thread_.joinable())
            thread_.join();
    }

private:
    void run()
    {
        output_.start();
        std::unique_lock lock(mutex_);
        for (;;) {
            if (stopping_ || (!queue_.empty() && output_.ready())) {
                const std::vector<MeasurementRecord> records(queue_.begin(), queue_.end());
                queue_.clear();
                const bool last = stopping_;
                lock.unlock();
                output_.take(records);
                if (last) {
                    output_.finish(deadline_);
                    return;
                }
                lock.lock();
                continue;
            }
            changed_.wait_for(lock, output_.idleWait(), [&] { return stopping_; });
            lock.unlock();
            output_.tick();
            lock.lock();
        }
    }

    RecordOutput &output_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<MeasurementRecord> queue_;
    bool stopping_ = false;
    RecordOutput::Clock::time_point deadline_;
    std::thread thread_;
};

MqttSettings settingsFor(const TestBroker &broker, bool tls, const std::filesystem::path &recovery = {})
{
    MqttSettings settings;
    std::string error;
    settings.url = *parseBrokerUrl(
        (tls ? "mqtts://127.0.0.1:" : "mqtt://127.0.0.1:") + std::to_string(broker.port()) + "/plant", error);
    settings.clientId = mqttClientId("TX1", "test");
    settings.topics = instrumentTopics("plant", "TX1");
    settings.run = "run-1";
    settings.info = R"({"run":"run-1"})";
    settings.firstRetry = 100ms;
    settings.maxRetry = 400ms;
    if (!recovery.empty())
        settings.recoveryFiles = {recovery};
    return settings;
}

// The counters of the reports that arrived, in the order they arrived.
std::vector<std::int64_t> countersReceived(const Subscriber &subscriber)
{
    std::vector<std::int64_t> counters;
    for (const std::string &line : subscriber.lines()) {
        const auto batch = nlohmann::json::parse(line.substr(line.find(' ') + 1));
        EXPECT_EQ(batch["run"], "run-1");
        for (const auto &report : batch["reports"])
            counters.push_back(report["counter"].get<std::int64_t>());
    }
    return counters;
}

} // namespace

TEST(MqttOutput, EveryReportArrivesInOrderWhileTheBrokerRestartsAndStalls)
{
    TestBroker broker;
    Subscriber subscriber(broker, "plant/+/measurements", "checker");
    ASSERT_TRUE(subscriber.waitSubscribed()) << broker.log();

    MqttOutput output(settingsFor(broker, false));
    ASSERT_EQ(output.connect(5s), "");
    std::uint32_t sent = 0;
    {
        Driver driver(output);
        // 1,000 reports a second for 6 s: restarted at 1 s and 4.5 s, stalled from 2 s to 3.5 s.
        const auto start = std::chrono::steady_clock::now();
        bool restarted = false, paused = false, resumed = false, restartedAgain = false;
        for (auto now = start; now - start < 6s; now = std::chrono::steady_clock::now()) {
            const auto elapsed = now - start;
            while (sent < std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count())
                driver.add(sent++);
            if (!restarted && elapsed > 1s) {
                broker.stop();
                ASSERT_TRUE(broker.start());
                restarted = true;
            } else if (!paused && elapsed > 2s) {
                broker.pause();
                paused = true;
            } else if (!resumed && elapsed > 3500ms) {
                broker.resume();
                resumed = true;
            } else if (!restartedAgain && elapsed > 4500ms) {
                broker.stop();
                ASSERT_TRUE(broker.start());
                restartedAgain = true;
            }
            std::this_thread::sleep_for(5ms);
        }
        driver.finish(RecordOutput::Clock::now() + 5s);
    }
    const MqttOutput::Status status = output.status();
    EXPECT_EQ(status.acknowledged, sent);
    EXPECT_EQ(status.rescued, 0u);
    EXPECT_GE(status.reconnections, 2u);

    // Duplicates (a batch published again after a reconnection) carry counters seen before; apart from them
    // the counters run from 0 without a gap.
    std::vector<std::int64_t> counters;
    ASSERT_TRUE(waitUntil([&] {
        counters = countersReceived(subscriber);
        return !counters.empty() && counters.back() >= sent - 1;
    })) << counters.size()
        << " counters received";
    std::int64_t next = 0;
    std::size_t duplicates = 0;
    for (const std::int64_t counter : counters) {
        if (counter < next) {
            ++duplicates;
            continue;
        }
        ASSERT_EQ(counter, next) << "a gap or a report out of order";
        ++next;
    }
    EXPECT_EQ(next, sent);
    std::cout << sent << " reports sent, " << counters.size() << " received, " << duplicates << " duplicates\n";
    EXPECT_EQ(retained(broker, "plant/TX1/status"), "offline");
    EXPECT_EQ(retained(broker, "plant/TX1/info"), R"({"run":"run-1"})");
}

TEST(MqttOutput, WhatTheBrokerNeverAcknowledgedGoesToTheRecoveryFile)
{
    TestBroker broker;
    const std::filesystem::path recovery = broker.folder() / "unpublished.jsonl";
    MqttSettings settings = settingsFor(broker, false, recovery);
    settings.batchRecords = 100;
    MqttOutput output(std::move(settings));
    ASSERT_EQ(output.connect(5s), "");
    broker.pause(); // published, never acknowledged
    {
        Driver driver(output);
        for (std::uint32_t i = 0; i < 250; ++i)
            driver.add(i);
        std::this_thread::sleep_for(300ms);
        driver.finish(RecordOutput::Clock::now() + 500ms);
    }
    broker.resume();
    const MqttOutput::Status status = output.status();
    EXPECT_EQ(status.acknowledged + status.rescued, 250u);
    EXPECT_EQ(status.rescued, 250u);
    EXPECT_EQ(status.recoveryFile, recovery);

    std::ifstream in(recovery);
    std::vector<std::int64_t> counters;
    for (std::string line; std::getline(in, line);) {
        const auto batch = nlohmann::json::parse(line);
        for (const auto &report : batch["reports"])
            counters.push_back(report["counter"].get<std::int64_t>());
    }
    ASSERT_EQ(counters.size(), 250u);
    for (std::size_t i = 0; i < counters.size(); ++i)
        EXPECT_EQ(counters[i], static_cast<std::int64_t>(i));
}

TEST(MqttOutput, FirstConnectionRefusalsAreGivenInWords)
{
    TestBroker broker({.tls = true, .user = "counter", .password = "right"});
    auto attempt = [&](auto change) {
        MqttSettings settings = settingsFor(broker, true);
        settings.url.user = "counter";
        settings.password = "right";
        settings.caFile = broker.caFile().string();
        change(settings);
        MqttOutput output(std::move(settings));
        return output.connect(5s);
    };
    EXPECT_THAT(attempt([](MqttSettings &s) { s.password = "wrong"; }), HasSubstr("not authorised"));
    EXPECT_THAT(attempt([&](MqttSettings &s) { s.caFile = broker.otherCaFile().string(); }),
                HasSubstr("certificate verify failed"));
    EXPECT_EQ(attempt([&](MqttSettings &s) {
                  s.caFile = broker.otherCaFile().string();
                  s.insecure = true;
              }),
              "");
    EXPECT_THAT(attempt([&](MqttSettings &s) { s.url.port = broker.port() == 65535 ? 1 : broker.port() + 1; }),
                HasSubstr("connection refused"));

    // The right authority and password: published, and the retained status says "offline" after a clean end.
    MqttSettings settings = settingsFor(broker, true);
    settings.url.user = "counter";
    settings.password = "right";
    settings.caFile = broker.caFile().string();
    MqttOutput output(std::move(settings));
    ASSERT_EQ(output.connect(5s), "");
    {
        Driver driver(output);
        driver.add(0);
        driver.finish(RecordOutput::Clock::now() + 2s);
    }
    EXPECT_EQ(output.status().acknowledged, 1u);
    EXPECT_EQ(retained(broker, "plant/TX1/status"), "offline");
}
