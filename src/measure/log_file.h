#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace torvex {

// An operating-system file opened for appending, without any buffering of its own. Opened so that other
// programs may read (and on Windows even rename or delete) the file while it is being written.
class LogFile {
public:
    LogFile() = default;
    ~LogFile();
    LogFile(const LogFile &) = delete;
    LogFile &operator=(const LogFile &) = delete;

    // Opens `path` (UTF-8) for appending, creating it when missing. False when it cannot be opened.
    bool open(const std::string &path);
    bool isOpen() const;
    // Writes all of `data` at the end of the file. Returns the number of bytes that reached the file;
    // fewer than `size` means the write failed (disk full, device gone).
    std::size_t write(const char *data, std::size_t size);
    // False when the system reported an error while closing.
    bool close();
    // False when the open file no longer has a name: it, or its folder, was deleted while open, so whatever is
    // written to it is lost when it is closed. True when it has one, or when the system cannot tell.
    bool hasName() const;

    // Which file is open, and where its end is.
    struct End {
        std::uint64_t volume = 0;
        std::uint64_t file = 0;
        std::uint64_t size = 0;
        bool sameFile(const End &other) const { return volume == other.volume && file == other.file; }
    };
    // Nothing when no file is open or the system cannot tell.
    std::optional<End> end() const;

private:
#ifdef _WIN32
    void *handle_ = nullptr;
#else
    int fd_ = -1;
#endif
};

} // namespace torvex
