#include "measure/log_writer.h"

#include <chrono>
#include <filesystem>
#include <system_error>

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

bool isPipeOrDevice(const std::string &path)
{
    std::error_code error;
    const std::filesystem::file_status status =
        std::filesystem::status(std::filesystem::path(std::u8string(path.begin(), path.end())), error);
    return !error && std::filesystem::exists(status) && !std::filesystem::is_regular_file(status)
        && !std::filesystem::is_directory(status);
}

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
    if (backlog_.lines() > 0) {
        cutBackPartLine();
        return false;
    }
    failing_ = false;
    return true;
}

void LogWriter::cutBackPartLine()
{
    if (!cutLineEnd_ || !backlog_.midLine())
        return;
    LogFile &file = file_;
    if (!file.isOpen() && !file.open(path_))
        return;
    const std::optional<LogFile::End> end = file.end();
    const std::size_t part = backlog_.cutLineBytes();
    if (end && end->sameFile(*cutLineEnd_) && end->size == cutLineEnd_->size && end->size >= part
        && file.cutBack(end->size - part)) {
        // The whole line waits again, for the recovery file.
        backlog_.restartLine();
        cutLineEnd_.reset();
    }
    file.close();
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

    std::vector<std::string> candidates;
    const std::string beside = recoveryPath(path_ == LogFile::kStandardOutput ? "torvex.csv" : path_);
    // Never beside a pipe or a device (/dev/full.recovered), only beside a file.
    if (path_ != LogFile::kStandardOutput && !isPipeOrDevice(path_))
        candidates.push_back(beside);
    const std::string name = beside.substr(folderLength(beside));
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
        const std::optional<LogFile::End> before = file.end();
        // A recovery file left ending in a part line gets its line feed first, as a log file does.
        const std::optional<char> last = file.lastByte();
        bool whole = !last || *last == '\n' || file.write("\r\n", 2) == 2;
        backlog_.rewind(); // whole lines, the cut one included
        for (std::string_view piece = backlog_.nextPiece(); whole && !piece.empty(); piece = backlog_.nextPiece()) {
            const std::size_t written = file.write(piece.data(), piece.size());
            backlog_.advance(written);
            whole = written == piece.size();
        }
        if (!whole && before && file.isRegular())
            file.cutBack(before->size); // all or nothing: the next folder takes them all
        const bool closed = file.close();
        if (closed && whole) {
            rescue.path = candidate;
            break;
        }
        if (!whole && before && before->size == 0) {
            // Made for this rescue and left empty: not left behind.
            std::error_code ignored;
            std::filesystem::remove(std::filesystem::path(std::u8string(candidate.begin(), candidate.end())), ignored);
        }
    }
    if (rescue.path.empty())
        droppedLines_ += rescue.lines;
    backlog_.clear();
    if (!cutLine)
        cutLineEnd_.reset();
    return rescue;
}

std::uint64_t LogWriter::discardBacklog()
{
    if (file_.isOpen())
        closeFile();
    const std::uint64_t lines = backlog_.lines();
    backlog_.clear();
    cutLineEnd_.reset();
    return lines;
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
        if (stillEnds)
            return true; // the file ends where this writer left it
    }
    endChecked_ = false; // before the first line goes in: see writeWaiting()
    return true;
}

bool LogWriter::writeWaiting(Clock::duration budget)
{
    const Clock::time_point start = Clock::now();
    if (!endChecked_ && backlog_.unwrittenBytes() > 0) {
        // A file that ends in a part line (a crash, a power loss, another program): the first line must not be
        // glued to it. Checked when a line is about to go in, so that opening alone never changes the file.
        endChecked_ = true;
        const std::optional<char> last = file_.lastByte();
        if (last && *last != '\n' && file_.write("\r\n", 2) != 2) {
            writeFailed();
            return false;
        }
    }
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
