#pragma once
// A real MQTT broker for tests: Debian's mosquitto on 127.0.0.1 on a free port, its persistence in a folder of
// its own, started and stopped by the test (also SIGSTOPped, to stand for a broker that stalls). And a
// subscriber, mosquitto_sub with a persistent session, whose output is the tests' independent view of what
// arrived.

#include <chrono>
#include <filesystem>
#include <string>
#include <sys/types.h>
#include <vector>

namespace broker_test {

struct BrokerOptions {
    bool tls = false; // the listener speaks TLS, with a server certificate from an authority made here
    std::string user; // not empty: only this user with `password` may connect
    std::string password;
};

class TestBroker {
public:
    explicit TestBroker(BrokerOptions options = {});
    ~TestBroker();
    TestBroker(const TestBroker &) = delete;
    TestBroker &operator=(const TestBroker &) = delete;

    bool running() const { return pid_ > 0; }
    int port() const { return port_; }
    const std::filesystem::path &folder() const { return folder_; }
    // TLS: the authority that signed the broker's certificate, and another one that did not.
    std::filesystem::path caFile() const { return folder_ / "ca.crt"; }
    std::filesystem::path otherCaFile() const { return folder_ / "other-ca.crt"; }
    // What mosquitto_sub and mosquitto_pub need to reach it.
    std::vector<std::string> clientArgs() const;
    // The broker's own log (stdout and stderr), for failure messages.
    std::string log() const;

    // SIGTERM (the database is saved) and wait; start again on the same port with the saved database.
    void stop();
    bool start();
    void pause();  // SIGSTOP
    void resume(); // SIGCONT

private:
    BrokerOptions options_;
    std::filesystem::path folder_;
    int port_ = 0;
    pid_t pid_ = -1;
};

// mosquitto_sub on `topic`: a fixed client id and clean session off, QoS 1, so that nothing queued for it is
// lost across a broker restart; it reconnects by itself. Each message is a line "TOPIC PAYLOAD".
class Subscriber {
public:
    Subscriber(const TestBroker &broker, const std::string &topic, const std::string &clientId,
               const std::vector<std::string> &extra = {});
    ~Subscriber();
    Subscriber(const Subscriber &) = delete;
    Subscriber &operator=(const Subscriber &) = delete;

    // Waits until mosquitto_sub has subscribed (a marker message it receives), at most a few seconds.
    bool waitSubscribed();
    std::vector<std::string> lines() const;
    void stop();

private:
    const TestBroker &broker_;
    std::string topic_;
    std::filesystem::path outPath_;
    pid_t pid_ = -1;
};

// A program running beside the test, its standard output and error to `log`; killed if still running at the
// end.
class Program {
public:
    Program(const std::vector<std::string> &args, std::filesystem::path log);
    ~Program();
    Program(const Program &) = delete;
    Program &operator=(const Program &) = delete;

    bool started() const { return pid_ > 0; }
    void signal(int number);
    // Its exit code; -1 when it ended by a signal or did not end in time (it is killed then).
    int wait(std::chrono::milliseconds timeout = std::chrono::seconds(30));
    std::string output() const;

private:
    std::filesystem::path log_;
    pid_t pid_ = -1;
    bool ended_ = false;
};

// Runs a program to its end with its output to `log`; its exit code, or -1.
int runProgram(const std::vector<std::string> &args, const std::filesystem::path &log);
// One retained message of `topic`, read with mosquitto_sub; empty when there is none.
std::string retained(const TestBroker &broker, const std::string &topic);

template <typename Condition>
bool waitUntil(Condition condition, std::chrono::milliseconds timeout = std::chrono::seconds(10))
{
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        struct timespec pause {
            0, 20'000'000
        };
        nanosleep(&pause, nullptr);
    }
    return true;
}

} // namespace broker_test
