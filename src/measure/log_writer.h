#pragma once

#include "measure/log_file.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace torvex {

// Appends log lines to the measurement log file while logging is on. The file stays open between lines and
// the lines are collected in a buffer of fixed size, so a line costs a copy, not a system call. The 1 s tick
// asks for the file to be closed after the next line; when no line comes, the next tick closes it itself,
// and every tick pushes what is buffered to the file, so the file is never much more than a second behind.
//
// A file that cannot be opened or written is never written through: the line is dropped, logging stays on,
// opening is tried again after the next tick (at most once a second), and failing() reports the problem
// until a line reaches the file again. A file that another program is writing (it holds the file's lock, see
// LogFile) is such a file. A file deleted while open (or whose folder was) takes every line written into it with
// it, without any error: every tick and every close checks that the open file still has its name; when it has
// not, that is a failure, the lines written since the last check count as lost, and the file is opened again at
// its path for the lines still buffered.
class LogWriter {
public:
    static constexpr std::size_t kDefaultBufferSize = 64 * 1024;

    explicit LogWriter(std::size_t bufferSize = kDefaultBufferSize);
    ~LogWriter();
    LogWriter(const LogWriter &) = delete;
    LogWriter &operator=(const LogWriter &) = delete;

    bool active() const { return active_; }
    // Switching off closes the file and gives up its lock; lines handed over afterwards are dropped until
    // logging is on again.
    void setActive(bool on);
    // While logging is on: opens the file now rather than at the first line, so that a file that cannot be
    // written, or that another program is writing, is known before anything is recorded.
    bool open(std::string_view path);

    // One measurement line. Does nothing while logging is off. `path` is used when the file has to be opened.
    void writeLine(std::string_view path, std::string_view line);
    // The 1 s timer.
    void tick();
    // Puts everything buffered into the file and closes it (stop, window close).
    void close();

    bool isOpen() const { return file_.isOpen(); }
    // The file, and why it last failed to open.
    const LogFile &file() const { return file_; }
    bool failing() const { return failing_; }
    // Lines lost to file errors since construction.
    std::uint64_t droppedLines() const { return droppedLines_; }

private:
    bool openFile(std::string_view path);
    bool flush();
    void fail();
    void reopenIfDeleted();

    LogFile file_;
    std::unique_ptr<char[]> buffer_;
    std::size_t capacity_;
    std::size_t used_ = 0;
    std::size_t bufferedLines_ = 0;
    std::string openPath_;               // where the open file was opened
    std::uint64_t unconfirmedLines_ = 0; // lines written into the open file since its name was last seen
    bool active_ = false;
    bool closeRequest_ = false;
    bool failing_ = false;
    bool retryBlocked_ = false;
    bool partialLineOnDisk_ = false;
    std::uint64_t droppedLines_ = 0;
};

} // namespace torvex
