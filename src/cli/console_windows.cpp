#include "cli/console.h"

#include "measure/value_text.h"

#include <windows.h>
// windows.h first: these need its types.
#include <knownfolders.h>
#include <shlobj.h>

#include <io.h>

#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <mutex>
#include <thread>

namespace torvex::cli::console {
namespace {

// The console control handler runs on a thread of its own that the system starts; it reaches the loop through
// post(), which any thread may call.
std::mutex requestMutex;
std::condition_variable requestDone;
LoopDispatcher *requestLoop = nullptr;
std::function<void(int)> *requestStop = nullptr;

constexpr wchar_t kSessionWindowClass[] = L"torvex-cli session";

bool terminalStreams[3] = {false, false, false};
UINT consoleOutputCodePage = 0; // the console's own, before setUp(); 0 = not changed

void restoreCodePage()
{
    // What is still buffered is written in the code page it was meant for.
    std::cout.flush();
    std::cerr.flush();
    std::fflush(nullptr);
    if (consoleOutputCodePage != 0)
        SetConsoleOutputCP(consoleOutputCodePage);
}

int signalOf(DWORD event)
{
    switch (event) {
    case CTRL_C_EVENT:
        return SIGINT;
    case CTRL_BREAK_EVENT:
        return SIGBREAK;
    default: // the console window closed, the user logged off, the system shuts down
        return SIGTERM;
    }
}

BOOL WINAPI onConsoleEvent(DWORD event)
{
    std::unique_lock lock(requestMutex);
    if (requestLoop == nullptr)
        return FALSE; // nothing to stop cleanly: the system's default (end the process)
    const int signal = signalOf(event);
    requestLoop->post([stop = *requestStop, signal] { stop(signal); });
    if (event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT)
        return TRUE;
    // After a close, logoff or shutdown event the system ends the process as soon as the handler returns (and
    // after 5 s at the latest): the handler waits for the command to write what it has and let go.
    requestDone.wait_for(lock, std::chrono::milliseconds(4500), [] { return requestLoop == nullptr; });
    restoreCodePage(); // the process ends without running its exit handlers
    return TRUE;
}

class StopRequestWatch : public UiWatch {
public:
    StopRequestWatch(LoopDispatcher &loop, std::function<void(int)> stop) : stop_(std::move(stop))
    {
        std::lock_guard lock(requestMutex);
        requestLoop = &loop;
        requestStop = &stop_;
    }
    ~StopRequestWatch() override
    {
        {
            std::lock_guard lock(requestMutex);
            requestLoop = nullptr;
            requestStop = nullptr;
        }
        requestDone.notify_all();
    }

private:
    std::function<void(int)> stop_;
};

// A console program that has a window gets no logoff or shutdown console events: the end of the session comes
// to its windows instead. This hidden one (the HID backend's notification window serves only device changes)
// answers for the program and, when the session does end, stops it as the console event would, returning only
// once the stop is done or the wait is over: the system may end the process as soon as it returns.
LRESULT CALLBACK sessionWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_QUERYENDSESSION:
        return TRUE; // a log stops cleanly at the end: no reason to hold the session up
    case WM_ENDSESSION:
        if (wParam)
            onConsoleEvent((lParam & ENDSESSION_LOGOFF) != 0 ? CTRL_LOGOFF_EVENT : CTRL_SHUTDOWN_EVENT);
        return 0;
    default:
        return DefWindowProcW(window, message, wParam, lParam);
    }
}

void startSessionWindow()
{
    static std::once_flag started;
    std::call_once(started, [] {
        // Its own thread and message loop: the program's loop waits on other things than window messages.
        std::thread([] {
            WNDCLASSW windowClass{};
            windowClass.lpfnWndProc = sessionWindowProc;
            windowClass.hInstance = GetModuleHandleW(nullptr);
            windowClass.lpszClassName = kSessionWindowClass;
            // Top-level, not message-only: only top-level windows hear of the session's end.
            if (!RegisterClassW(&windowClass)
                || !CreateWindowExW(0, kSessionWindowClass, L"torvex-cli", WS_OVERLAPPED, 0, 0, 0, 0, nullptr, nullptr,
                                    windowClass.hInstance, nullptr))
                return;
            MSG message;
            while (GetMessageW(&message, nullptr, 0, 0) > 0)
                DispatchMessageW(&message);
        }).detach();
    });
}

// A console that understands the escape sequences of the live screen; false for a file, a pipe or a console too
// old to learn them (the plain output serves those).
bool virtualTerminal(DWORD stdHandle)
{
    HANDLE handle = GetStdHandle(stdHandle);
    DWORD mode = 0;
    if (handle == INVALID_HANDLE_VALUE || handle == nullptr || !GetConsoleMode(handle, &mode))
        return false;
    return (mode & ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0
        || SetConsoleMode(handle, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0;
}

std::string utf8(const wchar_t *text, int length = -1)
{
    const int size = WideCharToMultiByte(CP_UTF8, 0, text, length, nullptr, 0, nullptr, nullptr);
    if (size <= 0)
        return {};
    std::string out(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, length, out.data(), size, nullptr, nullptr);
    if (length < 0 && !out.empty())
        out.pop_back(); // the terminating zero
    return out;
}

std::string environmentVariable(const wchar_t *name)
{
    // The narrow getenv() gives the ANSI code page's version of the value, which loses letters outside it.
    const DWORD size = GetEnvironmentVariableW(name, nullptr, 0);
    if (size == 0)
        return {};
    std::wstring value(size, L'\0');
    const DWORD length = GetEnvironmentVariableW(name, value.data(), size);
    if (length == 0 || length >= size)
        return {};
    return utf8(value.data(), static_cast<int>(length));
}

} // namespace

void setUp()
{
    // The program's texts are UTF-8 (device names, paths); the console shows them as such. The console belongs to
    // the shell that started us and goes on after us: its own code page is put back at the end.
    if (const UINT own = GetConsoleOutputCP(); own != 0 && own != CP_UTF8 && SetConsoleOutputCP(CP_UTF8)) {
        consoleOutputCodePage = own;
        std::atexit(restoreCodePage);
    }
    terminalStreams[0] = _isatty(0) != 0;
    terminalStreams[1] = virtualTerminal(STD_OUTPUT_HANDLE);
    terminalStreams[2] = virtualTerminal(STD_ERROR_HANDLE);
    SetConsoleCtrlHandler(onConsoleEvent, TRUE);
}

bool isTerminal(int stream) { return stream >= 0 && stream < 3 && terminalStreams[stream]; }

std::vector<std::string> arguments(int, char **)
{
    // The narrow arguments are in the ANSI code page, which cannot hold every file name: the wide ones can.
    std::vector<std::string> out;
    int count = 0;
    if (LPWSTR *words = CommandLineToArgvW(GetCommandLineW(), &count)) {
        for (int i = 1; i < count; ++i)
            out.push_back(utf8(words[i]));
        LocalFree(words);
    }
    return out;
}

std::vector<std::string> rescueFolders()
{
    std::vector<std::string> folders;
    for (const wchar_t *name : {L"HOME", L"USERPROFILE"})
        if (std::string home = environmentVariable(name); !home.empty()) {
            folders.push_back(std::move(home));
            break;
        }
    PWSTR documents = nullptr;
    if (SHGetKnownFolderPath(FOLDERID_Documents, KF_FLAG_DEFAULT, nullptr, &documents) == S_OK && documents != nullptr)
        folders.push_back(utf8(documents));
    CoTaskMemFree(documents);
    return folders;
}

bool standardOutputClosed()
{
    const HANDLE handle = GetStdHandle(STD_OUTPUT_HANDLE);
    return handle == nullptr || handle == INVALID_HANDLE_VALUE;
}

std::unique_ptr<UiWatch> watchStopRequests(LoopDispatcher &loop, std::function<void(int signal)> stop)
{
    startSessionWindow();
    return std::make_unique<StopRequestWatch>(loop, std::move(stop));
}

char windowDecimalSeparator(std::string *)
{
    // The window takes its decimal mark from the user's regional settings.
    wchar_t text[8] = {};
    if (GetLocaleInfoEx(LOCALE_NAME_USER_DEFAULT, LOCALE_SDECIMAL, text, 8) <= 0)
        return '.';
    return torvex::valueTextSeparator(utf8(text));
}

} // namespace torvex::cli::console
