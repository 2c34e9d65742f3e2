#pragma once
// A second process for tests of what holds across processes (locks): this very test program, started again with
// an environment variable set. A static object of the test file notices the variable before main() runs, does
// the child's part (childRole) and waits to be killed; the test kills it as a crash would.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#else
#include <csignal>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
extern char **environ;
#endif

class ChildProcess {
public:
    // This test program, with `variable`=`value` added to its environment.
    ChildProcess(const char *variable, const std::string &value)
    {
#ifdef _WIN32
        std::wstring program(32768, L'\0');
        program.resize(GetModuleFileNameW(nullptr, program.data(), static_cast<DWORD>(program.size())));
        const std::wstring name(variable, variable + std::char_traits<char>::length(variable));
        SetEnvironmentVariableW(name.c_str(), std::filesystem::path(value).wstring().c_str());
        std::wstring commandLine = L"\"" + program + L"\"";
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION info{};
        if (CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                           &info)) {
            CloseHandle(info.hThread);
            process_ = info.hProcess;
            pid_ = info.dwProcessId;
        }
        SetEnvironmentVariableW(name.c_str(), nullptr);
#else
        const std::string program = std::filesystem::read_symlink("/proc/self/exe").string();
        std::vector<std::string> environment{std::string(variable) + "=" + value};
        for (char **entry = environ; *entry != nullptr; ++entry)
            environment.emplace_back(*entry);
        std::vector<char *> envp;
        for (std::string &entry : environment)
            envp.push_back(entry.data());
        envp.push_back(nullptr);
        std::string arg0 = program;
        char *argv[] = {arg0.data(), nullptr};
        if (::posix_spawn(&pid_, program.c_str(), nullptr, nullptr, argv, envp.data()) != 0)
            pid_ = 0;
#endif
    }
    ~ChildProcess() { kill(); }
    ChildProcess(const ChildProcess &) = delete;
    ChildProcess &operator=(const ChildProcess &) = delete;

    bool started() const { return pid_ != 0; }
    unsigned long pid() const { return static_cast<unsigned long>(pid_); }

    // Ends it at once, with no chance to clean up, and waits until it is gone.
    void kill()
    {
#ifdef _WIN32
        if (process_ == nullptr)
            return;
        TerminateProcess(process_, 9);
        WaitForSingleObject(process_, INFINITE);
        CloseHandle(process_);
        process_ = nullptr;
#else
        if (pid_ == 0)
            return;
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
        pid_ = 0;
#endif
    }

private:
#ifdef _WIN32
    HANDLE process_ = nullptr;
    DWORD pid_ = 0;
#else
    pid_t pid_ = 0;
#endif
};

// Waits up to 30 s for the child to create `path`.
inline bool waitForFile(const std::filesystem::path &path)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    std::error_code ec;
    while (!std::filesystem::exists(path, ec)) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

// For the initializer of a static object: in the child started with `variable`, runs `part` with its value,
// creates the file named by the value plus ".ready" and waits to be killed. Elsewhere does nothing.
template <class Part>
int childRole(const char *variable, Part part)
{
    const char *value = std::getenv(variable);
    if (value == nullptr)
        return 0;
    part(std::string(value));
    const std::filesystem::path ready = std::string(value) + ".ready";
    std::FILE *file = std::fopen(ready.string().c_str(), "w");
    if (file != nullptr)
        std::fclose(file);
    for (;;)
        std::this_thread::sleep_for(std::chrono::hours(1));
}
