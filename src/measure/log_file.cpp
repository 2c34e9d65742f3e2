#include "measure/log_file.h"

#ifdef _WIN32
#include <windows.h>

#include <cstring>
#include <cwchar>
#include <filesystem>
#include <vector>
#else
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>
#endif

namespace torvex {

LogFile::~LogFile() { unlock(); }

void LogFile::unlock()
{
    close();
    releaseLock();
}

#ifdef _WIN32

namespace {

// Far beyond the end of any real log file, so that the locked byte is never read or written.
constexpr DWORD kLockOffsetLow = 0xFFFFFFFEu;
constexpr DWORD kLockOffsetHigh = 0x7FFFFFFFu;
constexpr DWORD kWriterRecordSize = 256;

bool fileIdentity(HANDLE file, BY_HANDLE_FILE_INFORMATION &info)
{
    return GetFileInformationByHandle(file, &info) != 0;
}

bool sameFile(HANDLE a, HANDLE b)
{
    BY_HANDLE_FILE_INFORMATION x{}, y{};
    return fileIdentity(a, x) && fileIdentity(b, y) && x.dwVolumeSerialNumber == y.dwVolumeSerialNumber
        && x.nFileIndexHigh == y.nFileIndexHigh && x.nFileIndexLow == y.nFileIndexLow;
}

// The shared memory object that names the writer of `file`; keyed by the file's identity, not its path.
std::wstring writerRecordName(HANDLE file)
{
    BY_HANDLE_FILE_INFORMATION info{};
    if (!fileIdentity(file, info))
        return {};
    wchar_t name[96];
    std::swprintf(name, 96, L"Local\\TORVEX-log-writer-%lx-%lx-%lx",
                  static_cast<unsigned long>(info.dwVolumeSerialNumber),
                  static_cast<unsigned long>(info.nFileIndexHigh), static_cast<unsigned long>(info.nFileIndexLow));
    return name;
}

std::string thisWriter()
{
    std::vector<wchar_t> module(32768, L'\0');
    const DWORD length = GetModuleFileNameW(nullptr, module.data(), static_cast<DWORD>(module.size()));
    const std::wstring program = std::filesystem::path(std::wstring(module.data(), length)).stem().wstring();
    std::string utf8(program.size() * 3 + 1, '\0');
    const int size = WideCharToMultiByte(CP_UTF8, 0, program.data(), static_cast<int>(program.size()), utf8.data(),
                                         static_cast<int>(utf8.size()), nullptr, nullptr);
    utf8.resize(size > 0 ? static_cast<std::size_t>(size) : 0);
    return utf8 + ", PID " + std::to_string(GetCurrentProcessId());
}

void *publishWriter(HANDLE file)
{
    const std::wstring name = writerRecordName(file);
    if (name.empty())
        return nullptr;
    HANDLE record =
        CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, kWriterRecordSize, name.c_str());
    if (record == nullptr)
        return nullptr;
    if (auto *view = static_cast<char *>(MapViewOfFile(record, FILE_MAP_WRITE, 0, 0, kWriterRecordSize))) {
        const std::string text = thisWriter().substr(0, kWriterRecordSize - 1);
        std::memcpy(view, text.c_str(), text.size() + 1);
        UnmapViewOfFile(view);
    }
    return record;
}

bool fileHasName(void *file)
{
    // A deleted file stays "delete pending" (or, with the newer semantics, without links) while it is open.
    FILE_STANDARD_INFO info{};
    if (!GetFileInformationByHandleEx(static_cast<HANDLE>(file), FileStandardInfo, &info, sizeof info))
        return true;
    return !info.DeletePending && info.NumberOfLinks > 0;
}

std::string readWriter(HANDLE file)
{
    const std::wstring name = writerRecordName(file);
    HANDLE record = name.empty() ? nullptr : OpenFileMappingW(FILE_MAP_READ, FALSE, name.c_str());
    if (record == nullptr)
        return {};
    std::string text;
    if (const auto *view = static_cast<const char *>(MapViewOfFile(record, FILE_MAP_READ, 0, 0, kWriterRecordSize))) {
        text.assign(view, strnlen(view, kWriterRecordSize));
        UnmapViewOfFile(view);
    }
    CloseHandle(record);
    return text;
}

} // namespace

bool LogFile::open(const std::string &path)
{
    close();
    failure_ = {};
    // The lock of a deleted file protects nothing, and its handle would keep the old name from being created anew.
    if (lockHandle_ != nullptr && !fileHasName(lockHandle_))
        releaseLock();
    if (path == kStandardOutput) {
        // A handle of its own, so that closing it between seconds leaves standard output as it is.
        HANDLE own = nullptr;
        if (!DuplicateHandle(GetCurrentProcess(), GetStdHandle(STD_OUTPUT_HANDLE), GetCurrentProcess(), &own, 0, FALSE,
                             DUPLICATE_SAME_ACCESS)) {
            failure_.systemError = static_cast<int>(GetLastError());
            return false;
        }
        handle_ = own;
        return true;
    }
    const int wideLength =
        MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, path.data(), static_cast<int>(path.size()), nullptr, 0);
    if (path.empty() || wideLength <= 0) {
        failure_.systemError = ERROR_INVALID_NAME;
        return false;
    }
    std::vector<wchar_t> wide(static_cast<std::size_t>(wideLength) + 1, L'\0');
    MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, path.data(), static_cast<int>(path.size()), wide.data(),
                        wideLength);
    // FILE_APPEND_DATA alone makes every write land at the current end of the file; reading is there only
    // because byte-range locks need it. Full sharing lets a spreadsheet open the log while lines are still
    // being added.
    HANDLE h = CreateFileW(wide.data(), FILE_APPEND_DATA | FILE_READ_DATA,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        failure_.systemError = static_cast<int>(GetLastError());
        return false;
    }
    handle_ = h;
    if (takeLock())
        return true;
    CloseHandle(h);
    handle_ = nullptr;
    return false;
}

bool LogFile::takeLock()
{
    if (lockHandle_ != nullptr) {
        if (sameFile(static_cast<HANDLE>(lockHandle_), static_cast<HANDLE>(handle_)))
            return true;
        releaseLock();
    }
    // Only a file on disk can be torn by two writers; a console, pipe or NUL is shared as it is.
    if (GetFileType(static_cast<HANDLE>(handle_)) != FILE_TYPE_DISK)
        return true;
    // The lock belongs to a file object of its own, which stays open while handle_ is closed between seconds. It
    // only reads: a handle with write access kept open for the whole recording would stop a program that opens
    // the file without write sharing (a spreadsheet showing it), and the writer is to wait for such a program,
    // not shut it out.
    HANDLE lock = ReOpenFile(static_cast<HANDLE>(handle_), FILE_READ_DATA | FILE_READ_ATTRIBUTES,
                             FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, 0);
    if (lock == INVALID_HANDLE_VALUE)
        lock = nullptr;
    if (lock == nullptr
        && !DuplicateHandle(GetCurrentProcess(), static_cast<HANDLE>(handle_), GetCurrentProcess(), &lock, 0, FALSE,
                            DUPLICATE_SAME_ACCESS))
        lock = nullptr;
    OVERLAPPED at{};
    at.Offset = kLockOffsetLow;
    at.OffsetHigh = kLockOffsetHigh;
    const HANDLE locking = lock != nullptr ? lock : static_cast<HANDLE>(handle_);
    if (!LockFileEx(locking, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &at)) {
        const DWORD error = GetLastError();
        if (lock != nullptr)
            CloseHandle(lock);
        if (error != ERROR_LOCK_VIOLATION)
            return true; // no locks on this file system: written without one
        failure_.otherWriter = true;
        failure_.writer = readWriter(static_cast<HANDLE>(handle_));
        return false;
    }
    // Without a handle of its own (none left) the lock lasts as long as handle_.
    lockHandle_ = lock;
    writerRecord_ = publishWriter(static_cast<HANDLE>(handle_));
    return true;
}

void LogFile::releaseLock()
{
    if (writerRecord_ != nullptr)
        CloseHandle(static_cast<HANDLE>(writerRecord_));
    writerRecord_ = nullptr;
    if (lockHandle_ != nullptr)
        CloseHandle(static_cast<HANDLE>(lockHandle_));
    lockHandle_ = nullptr;
}

bool LogFile::isOpen() const { return handle_ != nullptr; }

std::string systemErrorText(int systemError)
{
    char *text = nullptr;
    const DWORD length =
        FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                       nullptr, static_cast<DWORD>(systemError), 0, reinterpret_cast<char *>(&text), 0, nullptr);
    std::string result = length > 0 && text != nullptr ? std::string(text, length) : std::string();
    LocalFree(text);
    while (!result.empty() && (result.back() == '\n' || result.back() == '\r' || result.back() == '.'))
        result.pop_back();
    return result.empty() ? "system error " + std::to_string(systemError) : result;
}

std::size_t LogFile::write(const char *data, std::size_t size)
{
    std::size_t done = 0;
    while (handle_ != nullptr && done < size) {
        const DWORD chunk = static_cast<DWORD>(size - done > 0x40000000u ? 0x40000000u : size - done);
        DWORD written = 0;
        if (!WriteFile(static_cast<HANDLE>(handle_), data + done, chunk, &written, nullptr) || written == 0) {
            failure_ = Failure{};
            failure_.systemError = static_cast<int>(GetLastError());
            break;
        }
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

bool LogFile::hasName() const { return handle_ == nullptr || fileHasName(handle_); }

bool LogFile::isRegular() const
{
    return handle_ != nullptr && GetFileType(static_cast<HANDLE>(handle_)) == FILE_TYPE_DISK;
}

std::optional<char> LogFile::lastByte() const
{
    LARGE_INTEGER size{};
    if (!isRegular() || !GetFileSizeEx(static_cast<HANDLE>(handle_), &size) || size.QuadPart <= 0)
        return std::nullopt;
    // The handle may read (its lock needs that); a read at an offset leaves the appending alone.
    OVERLAPPED at{};
    const auto last = static_cast<std::uint64_t>(size.QuadPart - 1);
    at.Offset = static_cast<DWORD>(last);
    at.OffsetHigh = static_cast<DWORD>(last >> 32);
    char byte = 0;
    DWORD read = 0;
    if (!ReadFile(static_cast<HANDLE>(handle_), &byte, 1, &read, &at) || read != 1)
        return std::nullopt;
    return byte;
}

bool LogFile::cutBack(std::uint64_t size)
{
    if (!isRegular())
        return false;
    // The log's handle only appends; setting the end of the file needs write access of its own.
    HANDLE writer = ReOpenFile(static_cast<HANDLE>(handle_), FILE_WRITE_DATA,
                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, 0);
    if (writer == INVALID_HANDLE_VALUE)
        return false;
    FILE_END_OF_FILE_INFO info{};
    info.EndOfFile.QuadPart = static_cast<LONGLONG>(size);
    const bool ok = SetFileInformationByHandle(writer, FileEndOfFileInfo, &info, sizeof info) != 0;
    CloseHandle(writer);
    return ok;
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

namespace {

bool sameFile(int a, int b)
{
    struct stat x {};
    struct stat y {};
    return ::fstat(a, &x) == 0 && ::fstat(b, &y) == 0 && x.st_dev == y.st_dev && x.st_ino == y.st_ino;
}

bool fileHasName(int fd)
{
    struct stat st {};
    return ::fstat(fd, &st) != 0 || st.st_nlink > 0;
}

// The process holding a flock() write lock on the file open as `fd`, as "program, PID n"; empty when unknown.
std::string flockHolder(int fd)
{
#ifdef __linux__
    struct stat st {};
    if (::fstat(fd, &st) != 0)
        return {};
    std::ifstream locks("/proc/locks");
    long exact = 0;
    long sameInode = 0;
    int sameInodeCount = 0;
    for (std::string line; exact == 0 && std::getline(locks, line);) {
        // "1: FLOCK  ADVISORY  WRITE 4242 08:01:1234567 0 EOF"; a waiter has "->" before its type.
        std::istringstream fields(line);
        std::string number, type, mode, access, device;
        long pid = 0;
        if (!(fields >> number >> type >> mode >> access >> pid >> device) || type != "FLOCK" || access != "WRITE")
            continue;
        unsigned deviceMajor = 0;
        unsigned deviceMinor = 0;
        unsigned long long inode = 0;
        if (std::sscanf(device.c_str(), "%x:%x:%llu", &deviceMajor, &deviceMinor, &inode) != 3 || inode != st.st_ino)
            continue;
        if (deviceMajor == major(st.st_dev) && deviceMinor == minor(st.st_dev))
            exact = pid;
        sameInode = pid;
        ++sameInodeCount;
    }
    // Some file systems (subvolumes) show another device number there than stat() does; one lock on the inode
    // is then taken as the one.
    const long pid = exact != 0 ? exact : sameInodeCount == 1 ? sameInode : 0;
    if (pid <= 0)
        return {};
    std::string program;
    std::ifstream comm("/proc/" + std::to_string(pid) + "/comm");
    std::getline(comm, program);
    const std::string id = "PID " + std::to_string(pid);
    return program.empty() ? id : program + ", " + id;
#else
    (void)fd;
    return {};
#endif
}

} // namespace

bool LogFile::open(const std::string &path)
{
    close();
    failure_ = {};
    // The lock of a deleted file protects nothing.
    if (lockFd_ >= 0 && !fileHasName(lockFd_))
        releaseLock();
    if (path.empty()) {
        failure_.systemError = ENOENT;
        return false;
    }
    int fd;
    if (path == kStandardOutput) {
        // A descriptor of its own above 2, so that closing it between seconds leaves standard output as it is.
        fd = ::fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 3);
    } else {
        do {
            fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
        } while (fd < 0 && errno == EINTR && !cancelled());
    }
    if (fd < 0) {
        failure_.systemError = errno;
        return false;
    }
    fd_ = fd;
    if (takeLock())
        return true;
    ::close(fd_);
    fd_ = -1;
    return false;
}

bool LogFile::takeLock()
{
    if (lockFd_ >= 0) {
        if (sameFile(lockFd_, fd_))
            return true;
        releaseLock();
    }
    // Only a regular file can be torn by two writers; a device or pipe (/dev/stdout, a FIFO) is shared as it is.
    struct stat st;
    if (::fstat(fd_, &st) == 0 && !S_ISREG(st.st_mode))
        return true;
    int result;
    do {
        result = ::flock(fd_, LOCK_EX | LOCK_NB);
    } while (result != 0 && errno == EINTR);
    if (result != 0) {
        if (errno != EWOULDBLOCK)
            return true; // no locks on this file system: written without one
        failure_.otherWriter = true;
        failure_.writer = flockHolder(fd_);
        return false;
    }
    // The lock belongs to the open file description, which the duplicate keeps when fd_ is closed. Without a
    // duplicate (no descriptor left) it lasts as long as fd_.
    lockFd_ = ::fcntl(fd_, F_DUPFD_CLOEXEC, 0);
    return true;
}

void LogFile::releaseLock()
{
    if (lockFd_ >= 0)
        ::close(lockFd_);
    lockFd_ = -1;
}

bool LogFile::isOpen() const { return fd_ >= 0; }

std::string systemErrorText(int systemError) { return std::strerror(systemError); }

std::size_t LogFile::write(const char *data, std::size_t size)
{
    std::size_t done = 0;
    while (fd_ >= 0 && done < size) {
        const ssize_t n = ::write(fd_, data + done, size - done);
        if (n < 0 && errno == EINTR && !cancelled())
            continue;
        if (n <= 0) {
            failure_ = Failure{};
            failure_.systemError = n < 0 ? errno : ENOSPC; // a write of nothing: nothing more fits
            break;
        }
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

bool LogFile::hasName() const { return fd_ < 0 || fileHasName(fd_); }

bool LogFile::isRegular() const
{
    struct stat st {};
    return fd_ >= 0 && ::fstat(fd_, &st) == 0 && S_ISREG(st.st_mode);
}

std::optional<char> LogFile::lastByte() const
{
    struct stat st {};
    if (fd_ < 0 || ::fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size <= 0)
        return std::nullopt;
    // The log is open for appending only: the byte is read through a descriptor of its own.
    const int reader = ::open(("/proc/self/fd/" + std::to_string(fd_)).c_str(), O_RDONLY | O_CLOEXEC);
    if (reader < 0)
        return std::nullopt;
    char byte = 0;
    const bool read = ::pread(reader, &byte, 1, st.st_size - 1) == 1;
    ::close(reader);
    return read ? std::optional<char>(byte) : std::nullopt;
}

bool LogFile::cutBack(std::uint64_t size)
{
    int result;
    do {
        result = fd_ >= 0 && isRegular() ? ::ftruncate(fd_, static_cast<off_t>(size)) : -1;
    } while (result != 0 && errno == EINTR);
    return result == 0;
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
