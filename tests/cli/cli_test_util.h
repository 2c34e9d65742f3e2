#pragma once
// Helpers of the torvex-cli tests: a temporary folder, log file lines, and the commands run in this process.

#include "cli/cli.h"

#include <atomic>
#include <chrono>
#include <unistd.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace cli_test {

class TempDir {
public:
    TempDir()
    {
        std::random_device random;
        path_ = std::filesystem::temp_directory_path() / ("torvex-cli-test-" + std::to_string(random()));
        std::filesystem::create_directories(path_);
    }
    ~TempDir()
    {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    std::string file(const std::string &name) const { return (path_ / name).string(); }

private:
    std::filesystem::path path_;
};

inline std::string readFile(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void writeFile(const std::string &path, const std::string &text)
{
    std::ofstream(path, std::ios::binary) << text;
}

// Lines without their CR LF; `torn` is set when the file does not end with a complete line.
inline std::vector<std::string> logLines(const std::string &path, bool *torn = nullptr)
{
    const std::string all = readFile(path);
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t end; (end = all.find("\r\n", start)) != std::string::npos; start = end + 2)
        lines.push_back(all.substr(start, end - start));
    if (torn)
        *torn = start != all.size();
    return lines;
}

inline std::vector<std::string> fields(const std::string &line)
{
    std::vector<std::string> out;
    size_t start = 0;
    for (size_t end; (end = line.find(';', start)) != std::string::npos; start = end + 1)
        out.push_back(line.substr(start, end - start));
    return out;
}

// Waits up to `timeout` for `done`.
inline bool waitFor(const std::function<bool()> &done, std::chrono::milliseconds timeout = std::chrono::seconds(20))
{
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (!done()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

struct Result {
    int code = -1;
    std::string out;
    std::string err;
};

using StopWatcher = std::function<std::unique_ptr<torvex::UiWatch>(torvex::LoopDispatcher &, std::function<void(int)>)>;

// Runs one command of torvex-cli in this process, with the given devices (and standard input).
inline Result runCli(std::shared_ptr<torvex::HidPlatform> platform, const std::vector<std::string> &args,
                     StopWatcher watchStop = {}, const std::string &input = {})
{
    std::istringstream in(input);
    std::ostringstream out;
    std::ostringstream err;
    torvex::cli::CliEnv env;
    env.in = &in;
    env.out = &out;
    env.err = &err;
    env.platform = std::move(platform);
    env.watchStopRequest = std::move(watchStop);
    // The lines of log - and watch --format come from a writer thread straight to a descriptor: a file here.
    static std::atomic<int> runs{0};
    const std::filesystem::path lines = std::filesystem::temp_directory_path()
        / ("torvex_cli_out_" + std::to_string(::getpid()) + "_" + std::to_string(++runs));
    env.recordOutput = lines.string();
    const std::vector<std::string_view> views(args.begin(), args.end());
    Result r;
    r.code = torvex::cli::runCli(views, env);
    r.out = out.str();
    std::ifstream written(lines, std::ios::binary);
    r.out.append(std::istreambuf_iterator<char>(written), std::istreambuf_iterator<char>());
    std::error_code ignored;
    std::filesystem::remove(lines, ignored);
    r.err = err.str();
    return r;
}

} // namespace cli_test

#include <unistd.h>

namespace cli_test {

// The user's stop request (Ctrl+C, SIGINT) for a command run in this process: press() from any thread.
class StopSwitch {
public:
    StopSwitch()
    {
        if (::pipe(fds_) != 0)
            fds_[0] = fds_[1] = -1;
    }
    ~StopSwitch()
    {
        ::close(fds_[0]);
        ::close(fds_[1]);
    }
    void press() { (void)!::write(fds_[1], "x", 1); }
    auto watcher()
    {
        return [fd = fds_[0]](torvex::LoopDispatcher &loop, std::function<void(int)> stop) {
            return loop.watchReadable(fd, [fd, stop = std::move(stop)] {
                char byte;
                (void)!::read(fd, &byte, 1);
                stop(2);
            });
        };
    }

private:
    int fds_[2];
};

} // namespace cli_test
