#pragma once

#include "measure/line_backlog.h"
#include "measure/log_file.h"

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace torvex {

// Appends log lines to the measurement log file while logging is on. The file stays open between lines and
// the lines are collected in memory, so a line costs a copy, not a system call. The 1 s tick asks for the file
// to be closed after the next line; when no line comes, the next tick closes it itself, and every tick pushes
// what is collected to the file, so the file is never much more than a second behind.
//
// A file that cannot be opened or written is never written through. Its lines wait in a bounded backlog, in
// order; logging stays on, opening is tried again at most once a second, and once the file takes lines again
// the backlog goes first, so the file ends up with exactly the lines it would have had. failing() holds from
// the error until the backlog has been written. Only a full backlog drops lines, and counts them.
//
// A file that another program is writing (it holds the file's lock, see LogFile) is no passing fault: lines
// added after that program's would repeat its measurements under a second counter. While its opening is
// refused for that reason, new lines are dropped and counted; lines already waiting from an earlier fault keep
// waiting. Opening is still tried once a second, and logging goes on normally once the lock is had.
//
// A regular file is never left ending in a part line: a line cut by a failed write is cut off again when the
// writer closes for good, and a file that ends without a line feed when it is opened (cut by a crash, a power
// loss or another program) first gets CR LF, so that no line is ever glued to another.
//
// A file deleted while open (or whose folder was) takes every line written into it with it, without any
// error: every tick and every close checks that the open file still has its name, and lines leave the backlog
// only once it has. A deleted file's lines are written again, to a new file at the path.
class LogWriter {
public:
    static constexpr std::size_t kDefaultBufferSize = 64 * 1024;
    // Ten minutes at the instrument's fastest rate (1,000 reports/s); the byte bound holds that many lines of
    // up to 223 bytes, which every line but one with a dozen decimals on all six values stays below.
    static constexpr std::size_t kBacklogLines = 600'000;
    static constexpr std::size_t kBacklogBytes = std::size_t{128} << 20;

    explicit LogWriter(std::size_t bufferSize = kDefaultBufferSize, std::size_t backlogLines = kBacklogLines,
                       std::size_t backlogBytes = kBacklogBytes);
    ~LogWriter();
    LogWriter(const LogWriter &) = delete;
    LogWriter &operator=(const LogWriter &) = delete;

    bool active() const { return active_; }
    // Switching on starts a run (the error and the counts start afresh); switching off is close() and gives up
    // the file's lock. Lines handed over while off are ignored.
    void setActive(bool on);
    // While logging is on: opens the file now rather than at the first line, so that a file that cannot be
    // written, or that another program is writing, is known before anything is recorded.
    bool open(std::string_view path);

    // One measurement line. Does nothing while logging is off. `path` is where the file is (re)opened.
    void writeLine(std::string_view path, std::string_view line);
    // The 1 s timer.
    void tick();
    // See LogFile::setCancelFlag: a blocked write or open fails once the flag is set and a signal interrupts it.
    void setCancelFlag(const std::atomic<bool> *flag) { file_.setCancelFlag(flag); }
    // Stop and window close: everything waiting goes to the file, which is tried once more even within the
    // second after a failure, and closed. True when nothing waits any more; otherwise saveBacklog() decides.
    bool close();

    // Where the waiting lines went when the file could not take them at the end.
    struct Rescue {
        std::uint64_t lines = 0; // lines that were waiting
        std::string path;        // the recovery file that took them; empty when none could
    };
    // After a close() that left lines waiting: they are appended to one recovery file, "<name>.recovered<ext>"
    // beside the log file when it is a regular file or, where that cannot be written (or the log is a pipe or a
    // device), in the first of `otherFolders` that takes them all. A recovery file that takes only some is cut
    // back to what it held before, so it never ends in a part line. Lines no folder takes are counted as
    // dropped. The backlog is empty afterwards. Nothing waiting: nothing done.
    Rescue saveBacklog(const std::vector<std::string> &otherFolders);
    // After a close() that left lines waiting for a reader that has gone: they are given up. Their number.
    std::uint64_t discardBacklog();

    bool isOpen() const { return file_.isOpen(); }
    // The file could not be opened or written, and what was waiting then has not all been written yet.
    bool failing() const { return failing_; }
    // The file, and why it last failed to open.
    const LogFile &file() const { return file_; }
    // Lines handed over that are not in the file yet.
    std::uint64_t waitingLines() const { return backlog_.unwrittenLines(); }
    // Lines lost in this run: the backlog was full, or not even a recovery file could take them.
    std::uint64_t droppedLines() const { return droppedLines_; }

    // The name of the recovery file for `logPath`, in the same folder (paths with '/' or '\\').
    static std::string recoveryPath(std::string_view logPath);

private:
    bool openFile();
    // Writes what waits until nothing does or `budget` is spent; false after a failed write.
    bool writeWaiting(std::chrono::steady_clock::duration budget);
    void writeFailed();
    void checkName();
    void closeFile();
    // At the end: a line the file took only in part is cut off again, so the file ends with a whole line.
    void cutBackPartLine();

    LogFile file_;
    LineBacklog backlog_;
    std::size_t bufferSize_;
    std::string path_;                       // the path last handed over
    std::optional<LogFile::End> cutLineEnd_; // where the start of a cut line ended its file
    bool active_ = false;
    bool closeRequest_ = false;
    bool failing_ = false;
    bool retryBlocked_ = false;
    bool refused_ = false;   // the last open was refused: another program writes the file
    bool endChecked_ = true; // the open file's last byte has been looked at (see writeWaiting())
    std::uint64_t droppedLines_ = 0;
};

} // namespace torvex
