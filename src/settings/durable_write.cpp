#include "settings/durable_write.h"

#include <cerrno>
#include <optional>
#include <random>
#include <system_error>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace torvex {
namespace {

[[noreturn]] void throwErrno(int error, const char *what)
{
    throw std::system_error(error, std::generic_category(), what);
}

#ifdef _WIN32
int openFile(const std::filesystem::path &path, int flags)
{
    return ::_wopen(path.c_str(), flags | _O_BINARY | _O_NOINHERIT, _S_IREAD | _S_IWRITE);
}
bool writeAll(int fd, std::string_view data)
{
    while (!data.empty()) {
        const unsigned chunk = data.size() > 0x10000000u ? 0x10000000u : static_cast<unsigned>(data.size());
        const int n = ::_write(fd, data.data(), chunk);
        if (n <= 0)
            return false;
        data.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}
bool seekStart(int fd) { return ::_lseeki64(fd, 0, SEEK_SET) == 0; }
bool truncateTo(int fd, std::size_t size) { return ::_chsize_s(fd, static_cast<__int64>(size)) == 0; }
bool syncFile(int fd) { return ::_commit(fd) == 0; }
void closeFile(int fd) { ::_close(fd); }
void syncFolder(const std::filesystem::path &) {}         // the rename is recorded by the file system itself
void copyOwnership(int, const std::filesystem::path &) {} // files inherit the folder's access rules
#else
int openFile(const std::filesystem::path &path, int flags)
{
    int fd;
    do {
        fd = ::open(path.c_str(), flags | O_CLOEXEC, 0666);
    } while (fd < 0 && errno == EINTR);
    return fd;
}
bool writeAll(int fd, std::string_view data)
{
    while (!data.empty()) {
        const ssize_t n = ::write(fd, data.data(), data.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            if (n == 0)
                errno = EIO;
            return false;
        }
        data.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}
bool seekStart(int fd) { return ::lseek(fd, 0, SEEK_SET) == 0; }
bool truncateTo(int fd, std::size_t size) { return ::ftruncate(fd, static_cast<off_t>(size)) == 0; }
bool syncFile(int fd) { return ::fsync(fd) == 0; }
void closeFile(int fd) { ::close(fd); }
void syncFolder(const std::filesystem::path &folder)
{
    // Makes the rename itself durable; not every file system allows syncing a folder, so failure is ignored.
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}
void copyOwnership(int fd, const std::filesystem::path &original)
{
    // The replacement must keep the permissions (and, where allowed, the owner) of the file it replaces.
    struct stat st {};
    if (::stat(original.c_str(), &st) != 0)
        return;
    (void)::fchmod(fd, st.st_mode & 07777);
    if (::fchown(fd, st.st_uid, st.st_gid) != 0) {
        // not permitted for ordinary users; the file then belongs to whoever writes it
    }
}
#endif

std::string pathToText(const std::filesystem::path &path)
{
    const auto text = path.u8string();
    return std::string(text.begin(), text.end());
}

std::filesystem::path temporaryNameFor(const std::filesystem::path &target)
{
    static thread_local std::mt19937_64 random{std::random_device{}()};
    auto name = target.filename();
    name += ".tmp";
    name += std::to_string(random() % 1000000000u);
    return target.parent_path() / name;
}

#ifndef _WIN32
// The kernel's protected-link rule, wherever the link lies: a link is followed only when it belongs to the user
// who follows it or to the owner of its folder. Anyone else's link in a folder shared with them could otherwise
// make this program overwrite a file of the user's own.
bool mayFollow(const std::filesystem::path &link)
{
    struct stat linkStat {};
    struct stat folderStat {};
    const std::filesystem::path folder = link.parent_path().empty() ? std::filesystem::path(".") : link.parent_path();
    if (::lstat(link.c_str(), &linkStat) != 0 || ::stat(folder.c_str(), &folderStat) != 0)
        return false;
    return linkStat.st_uid == ::geteuid() || linkStat.st_uid == folderStat.st_uid;
}
#else
bool mayFollow(const std::filesystem::path &) { return true; } // links there need privileges to be made
#endif

// The file a path stands for: links are followed to their end even when there is no file there yet, so that
// the first write creates the link's target instead of putting a file in place of the link. (Resolving with
// weakly_canonical stops at a link whose target is missing and returns the link itself.) A link that may not be
// followed ends the write with EACCES.
std::filesystem::path followLinks(const std::filesystem::path &requested)
{
    std::filesystem::path path = requested;
    // The system gives up on a chain this long as well (a loop of links); the write then fails on it.
    for (int hop = 0; hop < 40; ++hop) {
        std::error_code ec;
        if (!std::filesystem::is_symlink(path, ec))
            break;
        if (!mayFollow(path))
            throw std::system_error(EACCES, std::generic_category(),
                                    pathToText(path) + " is a link of another user, which is not followed");
        const std::filesystem::path target = std::filesystem::read_symlink(path, ec);
        if (ec)
            break;
        path = target.is_absolute() ? target : path.parent_path() / target;
    }
    return path;
}

struct Temporary {
    int fd = -1;
    std::filesystem::path path;
};

std::optional<Temporary> createTemporary(const std::filesystem::path &target)
{
    for (int attempt = 0; attempt < 8; ++attempt) {
        Temporary temp{-1, temporaryNameFor(target)};
#ifdef _WIN32
        temp.fd = openFile(temp.path, _O_WRONLY | _O_CREAT | _O_EXCL);
#else
        temp.fd = openFile(temp.path, O_WRONLY | O_CREAT | O_EXCL);
#endif
        if (temp.fd >= 0)
            return temp;
        if (errno != EEXIST)
            return std::nullopt;
    }
    return std::nullopt;
}

} // namespace

void rewriteFileInPlace(const std::filesystem::path &path, std::string_view content, std::string_view previous)
{
#ifdef _WIN32
    const int fd = openFile(path, _O_WRONLY | _O_CREAT);
#else
    const int fd = openFile(path, O_WRONLY | O_CREAT);
#endif
    if (fd < 0)
        throwErrno(errno, "open");
    // Overwrite first and shorten afterwards, so a failure part-way leaves at worst a mix that we then undo.
    if (writeAll(fd, content) && truncateTo(fd, content.size()) && syncFile(fd)) {
        closeFile(fd);
        return;
    }
    const int error = errno;
    if (seekStart(fd) && writeAll(fd, previous)) {
        truncateTo(fd, previous.size());
        syncFile(fd);
    }
    closeFile(fd);
    throwErrno(error, "write");
}

namespace {

// Writes `content` to a temporary file beside `path` and renames it over `path`. False, with nothing changed,
// when no temporary file can be made or the rename is refused (`error` says why); throws when the temporary file
// cannot be written.
bool replaceViaTemporary(const std::filesystem::path &path, std::string_view content, std::error_code &error)
{
    std::error_code ec;
    const bool existed = std::filesystem::exists(path, ec);
    auto temp = createTemporary(path);
    if (!temp) {
        error = std::error_code(errno, std::generic_category());
        return false;
    }
    if (existed)
        copyOwnership(temp->fd, path);
    const bool written = writeAll(temp->fd, content) && syncFile(temp->fd);
    const int writeError = errno;
    closeFile(temp->fd);
    if (!written) {
        std::filesystem::remove(temp->path, ec);
        throwErrno(writeError, "write");
    }
    std::filesystem::rename(temp->path, path, error);
    if (error) {
        std::filesystem::remove(temp->path, ec);
        return false;
    }
    auto folder = path.parent_path();
    syncFolder(folder.empty() ? std::filesystem::path(".") : folder);
    return true;
}

} // namespace

ReplaceMethod replaceFileDurably(const std::filesystem::path &requested, std::string_view content,
                                 std::string_view previous)
{
    // Replace the file a link points to, not the link.
    const std::filesystem::path path = followLinks(requested);
    std::error_code error;
    if (replaceViaTemporary(path, content, error))
        return ReplaceMethod::ViaTemporary;
    rewriteFileInPlace(path, content, previous);
    return ReplaceMethod::InPlace;
}

void replaceFileWhole(const std::filesystem::path &requested, std::string_view content)
{
    const std::filesystem::path path = followLinks(requested);
    std::error_code error;
    if (!replaceViaTemporary(path, content, error))
        throw std::system_error(error, pathToText(path));
}

} // namespace torvex
