#include "test_broker.h"

#include <arpa/inet.h>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <netinet/in.h>
#include <spawn.h>
#include <sstream>
#include <stdexcept>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace broker_test {

namespace {

pid_t spawn(const std::vector<std::string> &args, const std::filesystem::path &out, bool append)
{
    std::vector<std::string> copy = args;
    std::vector<char *> argv;
    for (std::string &a : copy)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | (append ? O_APPEND : O_TRUNC),
                                     0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    pid_t pid = -1;
    if (posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0)
        pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

std::string readFile(const std::filesystem::path &path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

int freePort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    int port = 0;
    if (::bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0
        && ::getsockname(fd, reinterpret_cast<sockaddr *>(&address), &size) == 0)
        port = ntohs(address.sin_port);
    ::close(fd);
    return port;
}

bool accepts(int port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    const bool ok = ::connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0;
    ::close(fd);
    return ok;
}

void check(int code, const std::string &what)
{
    if (code != 0)
        throw std::runtime_error(what + " failed");
}

} // namespace

Program::Program(const std::vector<std::string> &args, std::filesystem::path log)
    : log_(std::move(log)), pid_(spawn(args, log_, false))
{
}

Program::~Program()
{
    if (pid_ > 0 && !ended_) {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
    }
}

void Program::signal(int number)
{
    if (pid_ > 0 && !ended_)
        ::kill(pid_, number);
}

int Program::wait(std::chrono::milliseconds timeout)
{
    if (pid_ <= 0)
        return -1;
    int status = 0;
    if (!waitUntil([&] { return ::waitpid(pid_, &status, WNOHANG) == pid_; }, timeout)) {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
        ended_ = true;
        return -1;
    }
    ended_ = true;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string Program::output() const { return readFile(log_); }

int runProgram(const std::vector<std::string> &args, const std::filesystem::path &log)
{
    const pid_t pid = spawn(args, log, false);
    if (pid <= 0)
        return -1;
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TestBroker::TestBroker(BrokerOptions options) : options_(std::move(options))
{
    char pattern[] = "/tmp/torvex-broker-XXXXXX";
    if (::mkdtemp(pattern) == nullptr)
        throw std::runtime_error("mkdtemp failed");
    folder_ = pattern;
    // The broker may run as another user than the test (it drops root's rights): it must reach its folder.
    ::chmod(folder_.c_str(), 0755);
    std::filesystem::create_directory(folder_ / "db");
    ::chmod((folder_ / "db").c_str(), 0777);
    const auto file = [&](const char *name) { return (folder_ / name).string(); };
    const std::filesystem::path setupLog = folder_ / "setup.log";

    std::ostringstream conf;
    if (options_.tls) {
        const std::vector<std::string> ec{"-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes"};
        auto req = [&](std::vector<std::string> args) {
            std::vector<std::string> all{"openssl", "req"};
            all.insert(all.end(), ec.begin(), ec.end());
            all.insert(all.end(), args.begin(), args.end());
            return runProgram(all, setupLog);
        };
        check(req({"-x509", "-days", "2", "-subj", "/CN=Test authority", "-keyout", file("ca.key"), "-out",
                   file("ca.crt")}),
              "openssl (authority)");
        check(req({"-x509", "-days", "2", "-subj", "/CN=Other authority", "-keyout", file("other-ca.key"), "-out",
                   file("other-ca.crt")}),
              "openssl (other authority)");
        check(req({"-subj", "/CN=127.0.0.1", "-keyout", file("server.key"), "-out", file("server.csr")}),
              "openssl (server request)");
        std::ofstream(folder_ / "server.ext") << "subjectAltName=IP:127.0.0.1,DNS:localhost\n";
        check(runProgram({"openssl", "x509", "-req", "-days", "2", "-in", file("server.csr"), "-CA", file("ca.crt"),
                          "-CAkey", file("ca.key"), "-CAcreateserial", "-extfile", file("server.ext"), "-out",
                          file("server.crt")},
                         setupLog),
              "openssl (server certificate)");
        ::chmod(file("server.key").c_str(), 0644);
    }
    if (!options_.user.empty()) {
        check(
            runProgram({"mosquitto_passwd", "-c", "-b", file("passwords"), options_.user, options_.password}, setupLog),
            "mosquitto_passwd");
        ::chmod(file("passwords").c_str(), 0644);
    }

    for (int attempt = 0; attempt < 5 && pid_ <= 0; ++attempt) {
        port_ = freePort();
        std::ostringstream text;
        text << "listener " << port_ << " 127.0.0.1\n"
             << "persistence true\npersistence_location " << file("db") << "/\nautosave_interval 1\n"
             << "max_queued_messages 0\nmax_inflight_messages 0\n";
        if (::geteuid() == 0)
            text << "user root\n";
        if (options_.user.empty())
            text << "allow_anonymous true\n";
        else
            text << "allow_anonymous false\npassword_file " << file("passwords") << "\n";
        if (options_.tls)
            text << "cafile " << file("ca.crt") << "\ncertfile " << file("server.crt") << "\nkeyfile "
                 << file("server.key") << "\n";
        std::ofstream(folder_ / "broker.conf") << text.str();
        start();
    }
    if (pid_ <= 0)
        throw std::runtime_error("mosquitto did not start: " + log());
}

TestBroker::~TestBroker()
{
    stop();
    std::error_code error;
    std::filesystem::remove_all(folder_, error);
}

std::string TestBroker::log() const { return readFile(folder_ / "broker.log"); }

std::vector<std::string> TestBroker::clientArgs() const
{
    std::vector<std::string> args{"-h", "127.0.0.1", "-p", std::to_string(port_)};
    if (options_.tls) {
        args.push_back("--cafile");
        args.push_back(caFile().string());
    }
    if (!options_.user.empty()) {
        args.insert(args.end(), {"-u", options_.user, "-P", options_.password});
    }
    return args;
}

bool TestBroker::start()
{
    if (pid_ > 0)
        return true;
    pid_ = spawn({"mosquitto", "-c", (folder_ / "broker.conf").string()}, folder_ / "broker.log", true);
    if (pid_ <= 0)
        return false;
    if (waitUntil([&] { return accepts(port_); }, std::chrono::seconds(5)))
        return true;
    stop();
    return false;
}

void TestBroker::stop()
{
    if (pid_ <= 0)
        return;
    ::kill(pid_, SIGCONT);
    ::kill(pid_, SIGTERM);
    int status = 0;
    ::waitpid(pid_, &status, 0);
    pid_ = -1;
}

void TestBroker::pause() { ::kill(pid_, SIGSTOP); }
void TestBroker::resume() { ::kill(pid_, SIGCONT); }

Subscriber::Subscriber(const TestBroker &broker, const std::string &topic, const std::string &clientId,
                       const std::vector<std::string> &extra)
    : broker_(broker), topic_("torvex-test/marker/" + clientId), outPath_(broker.folder() / (clientId + ".sub"))
{
    std::vector<std::string> args{"stdbuf", "-oL", "mosquitto_sub"};
    const auto client = broker.clientArgs();
    args.insert(args.end(), client.begin(), client.end());
    args.insert(args.end(), {"-c", "-i", clientId, "-q", "1", "-v", "-t", topic, "-t", topic_});
    args.insert(args.end(), extra.begin(), extra.end());
    pid_ = spawn(args, outPath_, true);
}

Subscriber::~Subscriber() { stop(); }

bool Subscriber::waitSubscribed()
{
    return waitUntil(
        [&] {
            std::vector<std::string> args{"mosquitto_pub"};
            const auto client = broker_.clientArgs();
            args.insert(args.end(), client.begin(), client.end());
            args.insert(args.end(), {"-q", "1", "-t", topic_, "-m", "marker"});
            runProgram(args, broker_.folder() / "pub.log");
            return readFile(outPath_).find(topic_ + " marker") != std::string::npos;
        },
        std::chrono::seconds(5));
}

std::vector<std::string> Subscriber::lines() const
{
    std::vector<std::string> lines;
    std::istringstream text(readFile(outPath_));
    for (std::string line; std::getline(text, line);)
        if (!line.starts_with(topic_ + " "))
            lines.push_back(line);
    return lines;
}

void Subscriber::stop()
{
    if (pid_ <= 0)
        return;
    ::kill(pid_, SIGTERM);
    ::waitpid(pid_, nullptr, 0);
    pid_ = -1;
}

std::string retained(const TestBroker &broker, const std::string &topic)
{
    std::vector<std::string> args{"mosquitto_sub"};
    const auto client = broker.clientArgs();
    args.insert(args.end(), client.begin(), client.end());
    args.insert(args.end(), {"-t", topic, "-C", "1", "-W", "2"});
    const auto out = broker.folder() / "retained.out";
    runProgram(args, out);
    std::string text = readFile(out);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
        text.pop_back();
    return text;
}

} // namespace broker_test
