#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace torvex {

// An operating-system file opened for appending, without any buffering of its own. Opened so that other
// programs may read (and on Windows even rename or delete) the file while it is being written.
//
// A log file has one writer at a time: two programs appending to one file would interleave their lines and
// counters. open() therefore takes an advisory lock on the file that no other LogFile, in this process or
// another, can take as well; readers never see it. The writer closes and reopens its file every second, so the
// lock outlives close() and lasts until unlock(), the opening of another file, or the end of the object (or of
// the process, however it ends). Where the file system has no locks the file is written without one.
//   POSIX:   flock(), which belongs to the open file description: a second open in this process is refused too,
//            and closing another descriptor of the file does not drop it (it would drop an fcntl() lock). On
//            Linux the holder is found in /proc/locks.
//   Windows: LockFileEx() on one byte far beyond any real end of file, so that reading the file is never
//            blocked, through a handle of its own that only reads, so that a program opening the file without
//            write sharing is not shut out between the writer's seconds. The holder is named in a small shared
//            memory object that ends with the lock's handle.
class LogFile {
public:
    LogFile() = default;
    ~LogFile();
    LogFile(const LogFile &) = delete;
    LogFile &operator=(const LogFile &) = delete;

    // Opens `path` (UTF-8) for appending, creating it when missing, and takes the writer's lock on it. False
    // when it cannot be opened or another writer holds its lock; failure() says which. kStandardOutput is the
    // program's standard output as it is (a pipe, a socket, a terminal or a file), never reopened by a name.
    bool open(const std::string &path);
    // No file system has a name with a NUL in it.
    static inline const std::string kStandardOutput{"\0standard output", 16};
    // While `*flag` is set, a call interrupted by a signal fails instead of being made again (the recorder's stop
    // deadline interrupts a write to a pipe nobody reads, or the open of a FIFO with no reader).
    void setCancelFlag(const std::atomic<bool> *flag) { cancel_ = flag; }
    bool isOpen() const;
    // Writes all of `data` at the end of the file. Returns the number of bytes that reached the file;
    // fewer than `size` means the write failed (disk full, device gone).
    std::size_t write(const char *data, std::size_t size);
    // False when the system reported an error while closing. The lock is kept.
    bool close();
    // Closes the file and lets other writers have it.
    void unlock();
    // False when the open file no longer has a name: it, or its folder, was deleted while open, so whatever is
    // written to it is lost when it is closed. True when it has one, or when the system cannot tell.
    bool hasName() const;

    // The open file is a regular file (not a pipe, socket, terminal or device): it can be cut back.
    bool isRegular() const;
    // The last byte of the open regular file; nothing when it is empty or cannot be read.
    std::optional<char> lastByte() const;
    // Cuts the open regular file back to `size` bytes. False when the system refused.
    bool cutBack(std::uint64_t size);

    // Which file is open, and where its end is.
    struct End {
        std::uint64_t volume = 0;
        std::uint64_t file = 0;
        std::uint64_t size = 0;
        bool sameFile(const End &other) const { return volume == other.volume && file == other.file; }
    };
    // Nothing when no file is open or the system cannot tell.
    std::optional<End> end() const;

    // Why the last open() or write() failed.
    struct Failure {
        bool otherWriter = false; // another writer holds the file
        std::string writer;       // that writer as "program, PID n" when the system tells; else empty
        int systemError = 0;      // errno or GetLastError() when the file could not be opened or written
    };
    const Failure &failure() const { return failure_; }

private:
    bool takeLock(); // through the open file, unless the lock is held for that file already
    void releaseLock();

    bool cancelled() const { return cancel_ != nullptr && cancel_->load(); }

    Failure failure_;
    const std::atomic<bool> *cancel_ = nullptr;
#ifdef _WIN32
    void *handle_ = nullptr;
    void *lockHandle_ = nullptr;   // the file opened again, for reading only, to hold the lock
    void *writerRecord_ = nullptr; // the shared memory object naming this process as the writer
#else
    int fd_ = -1;
    int lockFd_ = -1; // a duplicate of the descriptor that took the lock
#endif
};

// The system's words for an errno (POSIX) or GetLastError() (Windows) code: "No space left on device".
std::string systemErrorText(int systemError);

} // namespace torvex
