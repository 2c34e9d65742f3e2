#include "settings/instance_lock.h"

#ifdef _WIN32
#include <windows.h>

#include <cwchar>
#else
#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#endif

namespace torvex {

#ifdef _WIN32

namespace {

std::wstring hex(unsigned long long value)
{
    wchar_t text[17];
    std::swprintf(text, 17, L"%llx", value);
    return text;
}

// The same for every spelling of the folder: short names, other case, a mapped drive or a link to it.
std::wstring folderKey(const std::filesystem::path &folder)
{
    HANDLE h = CreateFileW(folder.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h != INVALID_HANDLE_VALUE) {
        BY_HANDLE_FILE_INFORMATION info{};
        const bool known = GetFileInformationByHandle(h, &info) != 0;
        CloseHandle(h);
        if (known)
            return hex(info.dwVolumeSerialNumber) + L"-"
                + hex((static_cast<unsigned long long>(info.nFileIndexHigh) << 32) | info.nFileIndexLow);
    }
    // A folder that cannot be opened: its full path, without regard to case, hashed (FNV-1a).
    std::wstring text = std::filesystem::absolute(folder).wstring();
    CharUpperBuffW(text.data(), static_cast<DWORD>(text.size()));
    unsigned long long hash = 14695981039346656037ull;
    for (wchar_t c : text)
        hash = (hash ^ static_cast<unsigned long long>(c)) * 1099511628211ull;
    return L"path-" + hex(hash);
}

struct WindowSearch {
    const wchar_t *property;
    HWND found;
};

BOOL CALLBACK findMarkedWindow(HWND window, LPARAM context)
{
    auto *search = reinterpret_cast<WindowSearch *>(context);
    if (GetPropW(window, search->property) == nullptr)
        return TRUE;
    search->found = window;
    return FALSE;
}

} // namespace

InstanceLock::InstanceLock(const std::filesystem::path &settingsFile)
{
    std::wstring fileName = settingsFile.filename().wstring();
    CharUpperBuffW(fileName.data(), static_cast<DWORD>(fileName.size()));
    const std::filesystem::path folder = settingsFile.has_parent_path() ? settingsFile.parent_path() : L".";
    name_ = L"TORVEX-PC-" + folderKey(folder) + L"-" + fileName;
    // Global: another user's session on the same folder counts as well.
    const std::wstring mutexName = L"Global\\" + name_;
    HANDLE mutex = CreateMutexW(nullptr, FALSE, mutexName.c_str());
    const DWORD error = GetLastError();
    if (mutex != nullptr && error != ERROR_ALREADY_EXISTS) {
        mutex_ = mutex;
        state_ = State::Held;
        return;
    }
    // Not kept open: a refused start that stays up for a while must not refuse the start after it.
    if (mutex != nullptr)
        CloseHandle(mutex);
    // Access denied: it exists, made by another user.
    state_ = mutex != nullptr || error == ERROR_ACCESS_DENIED ? State::HeldElsewhere : State::Unavailable;
}

InstanceLock::~InstanceLock()
{
    if (window_ != 0 && IsWindow(reinterpret_cast<HWND>(window_)))
        RemovePropW(reinterpret_cast<HWND>(window_), name_.c_str());
    if (mutex_ != nullptr)
        CloseHandle(static_cast<HANDLE>(mutex_));
}

void InstanceLock::announceWindow(std::uintptr_t nativeWindow)
{
    if (state_ != State::Held || nativeWindow == 0)
        return;
    if (SetPropW(reinterpret_cast<HWND>(nativeWindow), name_.c_str(), reinterpret_cast<HANDLE>(1)))
        window_ = nativeWindow;
}

bool InstanceLock::bringHolderToFront() const
{
    if (state_ != State::HeldElsewhere)
        return false;
    WindowSearch search{name_.c_str(), nullptr};
    EnumWindows(findMarkedWindow, reinterpret_cast<LPARAM>(&search));
    if (search.found == nullptr)
        return false;
    if (IsIconic(search.found))
        ShowWindow(search.found, SW_RESTORE);
    SetForegroundWindow(search.found);
    return true;
}

#else

InstanceLock::InstanceLock(const std::filesystem::path &settingsFile)
{
    const std::filesystem::path lockFile =
        settingsFile.parent_path() / ("." + settingsFile.filename().string() + ".lock");
    int fd;
    do {
        fd = ::open(lockFile.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0666);
    } while (fd < 0 && errno == EINTR);
    // A lock file made by another user may be readable only; flock does not need more.
    if (fd < 0 && errno == EACCES)
        fd = ::open(lockFile.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0)
        return;
    int result;
    do {
        result = ::flock(fd, LOCK_EX | LOCK_NB);
    } while (result != 0 && errno == EINTR);
    if (result == 0) {
        fd_ = fd;
        state_ = State::Held;
        return;
    }
    state_ = errno == EWOULDBLOCK ? State::HeldElsewhere : State::Unavailable;
    ::close(fd);
}

InstanceLock::~InstanceLock()
{
    // The file stays: removing it would let a start that has just opened it lock a file no longer there.
    if (fd_ >= 0)
        ::close(fd_);
}

void InstanceLock::announceWindow(std::uintptr_t) {}

bool InstanceLock::bringHolderToFront() const { return false; }

#endif

} // namespace torvex
