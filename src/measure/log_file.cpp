#include "measure/log_file.h"

#ifdef _WIN32
#include <windows.h>
#include <vector>
#else
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace torvex {

LogFile::~LogFile() { close(); }

#ifdef _WIN32

bool LogFile::open(const std::string &path)
{
    close();
    const int wideLength =
        MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, path.data(), static_cast<int>(path.size()), nullptr, 0);
    if (path.empty() || wideLength <= 0)
        return false;
    std::vector<wchar_t> wide(static_cast<std::size_t>(wideLength) + 1, L'\0');
    MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, path.data(), static_cast<int>(path.size()), wide.data(),
                        wideLength);
    // FILE_APPEND_DATA alone makes every write land at the current end of the file. Full sharing lets a
    // spreadsheet open the log while lines are still being added.
    HANDLE h = CreateFileW(wide.data(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                           nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    handle_ = h;
    return true;
}

bool LogFile::isOpen() const { return handle_ != nullptr; }

std::size_t LogFile::write(const char *data, std::size_t size)
{
    std::size_t done = 0;
    while (handle_ != nullptr && done < size) {
        const DWORD chunk = static_cast<DWORD>(size - done > 0x40000000u ? 0x40000000u : size - done);
        DWORD written = 0;
        if (!WriteFile(static_cast<HANDLE>(handle_), data + done, chunk, &written, nullptr) || written == 0)
            break;
        done += written;
    }
    return done;
}

bool LogFile::close()
{
    if (handle_ == nullptr)
        return true;
    const bool ok = CloseHandle(static_cast<HANDLE>(handle_)) != 0;
    handle_ = nullptr;
    return ok;
}

bool LogFile::hasName() const
{
    if (handle_ == nullptr)
        return true;
    // A deleted file stays "delete pending" (or, with the newer semantics, without links) while it is open.
    FILE_STANDARD_INFO info{};
    if (!GetFileInformationByHandleEx(static_cast<HANDLE>(handle_), FileStandardInfo, &info, sizeof info))
        return true;
    return !info.DeletePending && info.NumberOfLinks > 0;
}

std::optional<LogFile::End> LogFile::end() const
{
    BY_HANDLE_FILE_INFORMATION info{};
    if (handle_ == nullptr || !GetFileInformationByHandle(static_cast<HANDLE>(handle_), &info))
        return std::nullopt;
    End e;
    e.volume = info.dwVolumeSerialNumber;
    e.file = (std::uint64_t(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    e.size = (std::uint64_t(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
    return e;
}

#else

bool LogFile::open(const std::string &path)
{
    close();
    if (path.empty())
        return false;
    int fd;
    do {
        fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0)
        return false;
    fd_ = fd;
    return true;
}

bool LogFile::isOpen() const { return fd_ >= 0; }

std::size_t LogFile::write(const char *data, std::size_t size)
{
    std::size_t done = 0;
    while (fd_ >= 0 && done < size) {
        const ssize_t n = ::write(fd_, data + done, size - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        done += static_cast<std::size_t>(n);
    }
    return done;
}

bool LogFile::close()
{
    if (fd_ < 0)
        return true;
    // After close() fails the descriptor is gone all the same; retrying could close someone else's.
    const bool ok = ::close(fd_) == 0;
    fd_ = -1;
    return ok;
}

bool LogFile::hasName() const
{
    struct stat st {};
    if (fd_ < 0 || ::fstat(fd_, &st) != 0)
        return true;
    return st.st_nlink > 0;
}

std::optional<LogFile::End> LogFile::end() const
{
    struct stat st {};
    if (fd_ < 0 || ::fstat(fd_, &st) != 0)
        return std::nullopt;
    End e;
    e.volume = static_cast<std::uint64_t>(st.st_dev);
    e.file = static_cast<std::uint64_t>(st.st_ino);
    e.size = static_cast<std::uint64_t>(st.st_size);
    return e;
}

#endif

} // namespace torvex
