// Drives a running program's top-level window from outside, the way a user does, for the checks under Wine:
//
//   window_driver wait "<title>" <seconds>   waits until the window is shown; prints its frame on screen as WxH+X+Y
//   window_driver keys "<title>" <key>...    brings it to the front and types keys such as ctrl+tab, alt+f4
//   window_driver counts "<title>"           prints the open handles and the threads of its process, as
//                                            handles=N threads=M
//   window_driver move "<title>" <x> <y>     moves the window's frame to x, y on screen
//   window_driver endsession "<title>"       ends the session for its process as Windows does at a sign-out:
//                                            WM_QUERYENDSESSION to each of its top-level windows, then
//                                            WM_ENDSESSION (TRUE), then ends the process at once, as Windows
//                                            may as soon as the last answer returns; prints "query=N of M"
//                                            (N windows agreed), "answered" or "unanswered" (not within 10 s),
//                                            and the local time before WM_ENDSESSION as ended=HH:MM:SS.mmm
//   window_driver endsession-class <class>   the same for the process of a window of that class, hidden or not
//
// Exit code 0 on success, 1 when the window did not appear, 2 on a usage error.

#include "process_counts.h"

#include <windows.h>

#include <cstdio>
#include <cwctype>
#include <string>
#include <vector>

namespace {

HWND findShownWindow(const wchar_t *title)
{
    HWND window = FindWindowW(nullptr, title);
    return window && IsWindowVisible(window) ? window : nullptr;
}

HWND waitForWindow(const wchar_t *title, double seconds)
{
    const ULONGLONG deadline = GetTickCount64() + ULONGLONG(seconds * 1000);
    for (;;) {
        if (HWND window = findShownWindow(title))
            return window;
        if (GetTickCount64() > deadline)
            return nullptr;
        Sleep(100);
    }
}

// A key name: a letter or digit, or one of the names below. 0 when unknown.
WORD virtualKey(const std::wstring &name)
{
    static const struct {
        const wchar_t *name;
        WORD key;
    } named[] = {{L"ctrl", VK_CONTROL}, {L"alt", VK_MENU},      {L"shift", VK_SHIFT}, {L"tab", VK_TAB},
                 {L"enter", VK_RETURN}, {L"escape", VK_ESCAPE}, {L"pgdn", VK_NEXT},   {L"pgup", VK_PRIOR},
                 {L"f4", VK_F4},        {L"space", VK_SPACE}};
    for (const auto &entry : named) {
        if (name == entry.name)
            return entry.key;
    }
    if (name.size() == 1 && std::iswalnum(name[0]))
        return WORD(std::towupper(name[0]));
    return 0;
}

// Presses the keys of "ctrl+tab" in order and releases them in reverse order.
bool typeChord(const std::wstring &chord)
{
    std::vector<WORD> keys;
    size_t start = 0;
    for (;;) {
        const size_t plus = chord.find(L'+', start);
        const WORD key = virtualKey(chord.substr(start, plus == std::wstring::npos ? plus : plus - start));
        if (!key)
            return false;
        keys.push_back(key);
        if (plus == std::wstring::npos)
            break;
        start = plus + 1;
    }
    std::vector<INPUT> inputs;
    for (WORD key : keys) {
        INPUT input{};
        input.type = INPUT_KEYBOARD;
        input.ki.wVk = key;
        inputs.push_back(input);
    }
    for (auto key = keys.rbegin(); key != keys.rend(); ++key) {
        INPUT input{};
        input.type = INPUT_KEYBOARD;
        input.ki.wVk = *key;
        input.ki.dwFlags = KEYEVENTF_KEYUP;
        inputs.push_back(input);
    }
    return SendInput(UINT(inputs.size()), inputs.data(), sizeof(INPUT)) == inputs.size();
}

// Every top-level window of `process`, shown or hidden: Windows sends the session's end to each.
std::vector<HWND> windowsOf(DWORD process)
{
    struct Search {
        DWORD process;
        std::vector<HWND> windows;
    } search{process, {}};
    EnumWindows(
        [](HWND window, LPARAM data) -> BOOL {
            auto *s = reinterpret_cast<Search *>(data);
            DWORD owner = 0;
            GetWindowThreadProcessId(window, &owner);
            if (owner == s->process)
                s->windows.push_back(window);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.windows;
}

int endSession(HWND window)
{
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, processId);
    if (!process)
        return 1;
    const std::vector<HWND> windows = windowsOf(processId);
    // Windows waits about 5 s for an answer before it offers to end the program anyway; 10 s tells a slow answer
    // from one that never comes (a box waiting for a click).
    constexpr UINT kAnswerMs = 10000;
    int agreed = 0;
    for (HWND each : windows) {
        DWORD_PTR answer = 0;
        agreed += SendMessageTimeoutW(each, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF, SMTO_NORMAL, kAnswerMs, &answer)
            && answer != 0;
    }
    SYSTEMTIME now{};
    GetLocalTime(&now);
    const ULONGLONG sent = GetTickCount64();
    bool answered = true;
    for (HWND each : windows) {
        // A window the first answer closed gets no message, as on Windows.
        DWORD_PTR answer = 0;
        if (IsWindow(each)
            && !SendMessageTimeoutW(each, WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF, SMTO_NORMAL, kAnswerMs, &answer)
            && GetLastError() == ERROR_TIMEOUT)
            answered = false;
    }
    const ULONGLONG took = GetTickCount64() - sent;
    TerminateProcess(process, 1);
    WaitForSingleObject(process, 10000);
    CloseHandle(process);
    std::printf("query=%d of %zu %s in %llu ms ended=%02d:%02d:%02d.%03d\n", agreed, windows.size(),
                answered ? "answered" : "unanswered", took, now.wHour, now.wMinute, now.wSecond, now.wMilliseconds);
    return 0;
}

} // namespace

int wmain(int argc, wchar_t **argv)
{
    if (argc >= 4 && std::wstring(argv[1]) == L"wait") {
        HWND window = waitForWindow(argv[2], _wtof(argv[3]));
        if (!window)
            return 1;
        // The frame may reach past the screen's edges (Qt keeps Windows 10's invisible borders off screen).
        RECT frame{}, screen{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
        GetWindowRect(window, &frame);
        IntersectRect(&frame, &frame, &screen);
        std::printf("%ldx%ld+%ld+%ld\n", frame.right - frame.left, frame.bottom - frame.top, frame.left, frame.top);
        return 0;
    }
    if (argc >= 4 && std::wstring(argv[1]) == L"keys") {
        HWND window = findShownWindow(argv[2]);
        if (!window)
            return 1;
        SetForegroundWindow(window);
        Sleep(200);
        for (int i = 3; i < argc; ++i) {
            if (!typeChord(argv[i])) {
                std::fprintf(stderr, "cannot type %ls\n", argv[i]);
                return 2;
            }
            Sleep(300);
        }
        return 0;
    }
    if (argc == 3 && std::wstring(argv[1]) == L"counts") {
        HWND window = findShownWindow(argv[2]);
        DWORD process = 0;
        if (!window || !GetWindowThreadProcessId(window, &process))
            return 1;
        const auto counts = torvex::windows_test::countsOf(process);
        std::printf("handles=%ld threads=%ld\n", counts.handles, counts.threads);
        return counts.handles > 0 && counts.threads > 0 ? 0 : 1;
    }
    if (argc == 5 && std::wstring(argv[1]) == L"move") {
        HWND window = findShownWindow(argv[2]);
        return window
                && SetWindowPos(window, nullptr, _wtoi(argv[3]), _wtoi(argv[4]), 0, 0,
                                SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE)
            ? 0
            : 1;
    }
    if (argc == 3 && std::wstring(argv[1]) == L"endsession") {
        HWND window = findShownWindow(argv[2]);
        return window ? endSession(window) : 1;
    }
    if (argc == 3 && std::wstring(argv[1]) == L"endsession-class") {
        HWND window = FindWindowW(argv[2], nullptr);
        return window ? endSession(window) : 1;
    }
    std::fprintf(stderr,
                 "usage: window_driver wait <title> <seconds> | keys <title> <key>... | counts <title> | "
                 "move <title> <x> <y> | endsession <title> | endsession-class <class>\n");
    return 2;
}
