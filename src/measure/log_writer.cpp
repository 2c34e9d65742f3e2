#include "measure/log_writer.h"

#include <chrono>

namespace torvex {

namespace {

using Clock = std::chrono::steady_clock;

// Catching up on a long backlog is spread over the lines and ticks that follow: the report handler must not
// hold the reports up for longer than the device's input queue (64 reports) can wait.
constexpr Clock::duration kLineBudget = std::chrono::milliseconds(1);
constexpr Clock::duration kTickBudget = std::chrono::milliseconds(20);
constexpr Clock::duration kNoBudget = Clock::duration::max();

#ifdef _WIN32
constexpr const char *kSeparators = "/\\";
#else
constexpr const char *kSeparators = "/";
#endif

std::size_t folderLength(std::string_view path)
{
    const std::size_t slash = path.find_last_of(kSeparators);
    return slash == std::string_view::npos ? 0 : slash + 1;
}

} // namespace

LogWriter::LogWriter(std::size_t bufferSize, std::size_t backlogLines, std::size_t backlogBytes)
    : backlog_(backlogLines, backlogBytes), bufferSize_(bufferSize > 0 ? bufferSize : 1)
{
}

LogWriter::~LogWriter() { close(); }

void LogWriter::setActive(bool on)
{
    if (!on) {
        close();
        file_.unlock();
    }
    if (on != active_) {
        // A fresh start tries the file at once and shows no stale error.
        failing_ = false;
        retryBlocked_ = false;
        refused_ = false;
        if (on)
            droppedLines_ = 0;
    }
    active_ = on;
}

bool LogWriter::open(std::string_view path)
{
    if (!active_)
        return false;
    if (path != path_)
        path_.assign(path);
    return file_.isOpen() || openFile();
}

void LogWriter::writeLine(std::string_view path, std::string_view line)
{
    if (!active_)
        return;
    if (path != path_)
        path_.assign(path);
    if (!file_.isOpen() && !openFile() && refused_) {
        // Another program writes the file: a line added after its lines would repeat a measurement under a
        // second counter, and waiting for that program to end would add it late. Lost, and counted.
        ++droppedLines_;
        return;
    }
    if (!backlog_.push(line)) {
        // Full: lines already written may only be waiting for the check that their file is still there.
        checkName();
        if (!backlog_.push(line))
            ++droppedLines_;
    }
    if (!file_.isOpen() && !openFile())
        return;
    // Lines are collected up to the buffer size; after an error, and after a tick, what waits goes now.
    if (!failing_ && !closeRequest_ && backlog_.unwrittenBytes() < bufferSize_)
        return;
    if (!writeWaiting(kLineBudget) || backlog_.unwrittenBytes() > 0)
        return;
    failing_ = false;
    if (closeRequest_) {
        closeRequest_ = false;
        closeFile();
    }
}

void LogWriter::tick()
{
    // Cleared first, so that a failure found by this very tick waits for the next one before trying again.
    retryBlocked_ = false;
    const bool quiet = closeRequest_; // no line since the previous tick
    closeRequest_ = true;
    checkName();
    // Lines that wait are tried here too, for when no line comes to try them (the instrument has stopped).
    if (!file_.isOpen() && (!active_ || backlog_.unwrittenBytes() == 0 || !openFile()))
        return;
    if (!writeWaiting(kTickBudget) || backlog_.unwrittenBytes() > 0)
        return;
    failing_ = false;
    if (quiet)
        closeFile(); // do not keep a quiet file open
}

bool LogWriter::close()
{
    closeRequest_ = false;
    retryBlocked_ = false; // one more try, even within the second after a failure
    // A file found deleted when it is closed gets its lines again, in a new file: hence a second round.
    for (int round = 0; round < 2 && (file_.isOpen() || backlog_.lines() > 0); ++round) {
        if (!file_.isOpen() && !openFile())
            break;
        if (!writeWaiting(kNoBudget))
            break;
        closeFile();
    }
    if (backlog_.lines() > 0)
        return false;
    failing_ = false;
    return true;
}

LogWriter::Rescue LogWriter::saveBacklog(const std::vector<std::string> &otherFolders)
{
    if (file_.isOpen())
        closeFile();
    Rescue rescue;
    rescue.lines = backlog_.lines();
    if (rescue.lines == 0)
        return rescue;
    // The start of a cut line stays in the log file (cutLineEnd_ is kept), the whole line goes here.
    const bool cutLine = backlog_.midLine();

    std::vector<std::string> candidates{recoveryPath(path_)};
    const std::string name = candidates.front().substr(folderLength(candidates.front()));
    for (const std::string &folder : otherFolders) {
        if (folder.empty())
            continue;
        const bool separated = folderLength(folder) == folder.size();
        candidates.push_back(folder + (separated ? "" : "/") + name);
    }
    for (const std::string &candidate : candidates) {
        LogFile file;
        if (!file.open(candidate))
            continue;
        backlog_.rewind(); // whole lines, the cut one included
        bool whole = true;
        for (std::string_view piece = backlog_.nextPiece(); whole && !piece.empty(); piece = backlog_.nextPiece()) {
            const std::size_t written = file.write(piece.data(), piece.size());
            backlog_.advance(written);
            whole = written == piece.size();
        }
        if (file.close() && whole) {
            rescue.path = candidate;
            break;
        }
    }
    if (rescue.path.empty())
        droppedLines_ += rescue.lines;
    backlog_.clear();
    if (!cutLine)
        cutLineEnd_.reset();
    return rescue;
}

std::string LogWriter::recoveryPath(std::string_view logPath)
{
    const std::size_t nameStart = folderLength(logPath);
    std::size_t dot = logPath.rfind('.');
    if (dot == std::string_view::npos || dot <= nameStart)
        dot = logPath.size(); // no extension (a leading dot is part of the name)
    std::string path(logPath.substr(0, dot));
    path += ".recovered";
    path += logPath.substr(dot);
    return path;
}

bool LogWriter::openFile()
{
    if (retryBlocked_)
        return false;
    if (!file_.open(path_)) {
        refused_ = file_.failure().otherWriter;
        failing_ = true;
        retryBlocked_ = true;
        return false;
    }
    refused_ = false;
    if (cutLineEnd_ || backlog_.midLine()) {
        // A failed write left the start of a line at the end of a file. When it still ends this file, the line
        // goes on from there, or, when the line went elsewhere, the start is ended so that the next line is not
        // glued to it. When the file has changed since, the start is not at its end any more.
        const std::optional<LogFile::End> end = file_.end();
        const bool stillEnds = cutLineEnd_ && end && end->sameFile(*cutLineEnd_) && end->size == cutLineEnd_->size;
        if (stillEnds && !backlog_.midLine() && file_.write("\r\n", 2) != 2) {
            writeFailed();
            return false;
        }
        if (!stillEnds)
            backlog_.restartLine();
        cutLineEnd_.reset();
    }
    return true;
}

bool LogWriter::writeWaiting(Clock::duration budget)
{
    const Clock::time_point start = Clock::now();
    for (std::string_view piece = backlog_.nextPiece(); !piece.empty(); piece = backlog_.nextPiece()) {
        const std::size_t written = file_.write(piece.data(), piece.size());
        backlog_.advance(written);
        if (written != piece.size()) {
            writeFailed();
            return false;
        }
        if (budget != kNoBudget && Clock::now() - start >= budget)
            break;
    }
    return true;
}

void LogWriter::writeFailed()
{
    if (backlog_.midLine())
        cutLineEnd_ = file_.end();
    checkName(); // what reached the file is safe, unless the file is gone
    file_.close();
    failing_ = true;
    retryBlocked_ = true;
}

void LogWriter::checkName()
{
    if (!file_.isOpen())
        return;
    if (file_.hasName()) {
        backlog_.confirm();
        return;
    }
    // Deleted while open: whatever went into it since the last check goes again, to a new file at the path.
    backlog_.rewind();
    cutLineEnd_.reset();
    file_.close();
    failing_ = true;
}

void LogWriter::closeFile()
{
    checkName();
    if (file_.isOpen() && !file_.close()) {
        failing_ = true;
        retryBlocked_ = true;
    }
}

} // namespace torvex
