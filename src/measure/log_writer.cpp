#include "measure/log_writer.h"

#include <cstring>

namespace torvex {

LogWriter::LogWriter(std::size_t bufferSize)
    : buffer_(new char[bufferSize > 0 ? bufferSize : 1]), capacity_(bufferSize > 0 ? bufferSize : 1)
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
    }
    active_ = on;
}

bool LogWriter::open(std::string_view path) { return active_ && (file_.isOpen() || openFile(path)); }

void LogWriter::writeLine(std::string_view path, std::string_view line)
{
    if (!active_)
        return;
    if (!file_.isOpen() && !openFile(path)) {
        ++droppedLines_;
        return;
    }

    if (line.size() > capacity_ - used_ && !flush()) {
        ++droppedLines_;
        return;
    }
    if (line.size() > capacity_) {
        // Larger than the whole buffer (never for a real line): straight to the file.
        const std::size_t written = file_.write(line.data(), line.size());
        if (written != line.size()) {
            partialLineOnDisk_ = written != 0;
            ++droppedLines_;
            fail();
            return;
        }
        ++unconfirmedLines_;
    } else {
        std::memcpy(buffer_.get() + used_, line.data(), line.size());
        used_ += line.size();
        ++bufferedLines_;
    }

    // While recovering from an error, only bytes that reached the file end the error state.
    if (failing_ && !flush())
        return;
    failing_ = false;

    if (closeRequest_) {
        closeRequest_ = false;
        close();
    }
}

void LogWriter::tick()
{
    // Cleared first, so that a failure found by this very tick waits for the next one before reopening.
    retryBlocked_ = false;
    reopenIfDeleted();
    if (file_.isOpen()) {
        if (closeRequest_)
            close(); // no line since the previous tick: do not keep a quiet file open
        else
            flush();
    }
    closeRequest_ = true;
}

void LogWriter::close()
{
    reopenIfDeleted();
    if (!file_.isOpen())
        return;
    const bool flushed = flush();
    if (file_.isOpen() && !file_.close() && flushed)
        fail();
}

bool LogWriter::openFile(std::string_view path)
{
    if (retryBlocked_)
        return false;
    if (!file_.open(std::string(path))) {
        failing_ = true;
        retryBlocked_ = true;
        return false;
    }
    openPath_ = path;
    unconfirmedLines_ = 0;
    if (partialLineOnDisk_) {
        // An earlier failed write left part of a line at the end of the file: end it, so that the next line
        // starts on a line of its own instead of being glued to the fragment.
        if (file_.write("\r\n", 2) != 2) {
            fail();
            return false;
        }
        partialLineOnDisk_ = false;
    }
    return true;
}

bool LogWriter::flush()
{
    if (used_ == 0)
        return true;
    const std::size_t written = file_.write(buffer_.get(), used_);
    if (written == used_) {
        used_ = 0;
        unconfirmedLines_ += bufferedLines_;
        bufferedLines_ = 0;
        return true;
    }
    // Whatever did not reach the file is lost (every line ends with one line feed); remember whether a line
    // was cut in two.
    partialLineOnDisk_ = written != 0 && buffer_[written - 1] != '\n';
    for (std::size_t i = written; i < used_; ++i)
        droppedLines_ += buffer_[i] == '\n' ? 1 : 0;
    fail();
    return false;
}

void LogWriter::reopenIfDeleted()
{
    if (!file_.isOpen())
        return;
    if (file_.hasName()) {
        unconfirmedLines_ = 0;
        return;
    }
    droppedLines_ += unconfirmedLines_;
    unconfirmedLines_ = 0;
    failing_ = true;
    file_.close();
    partialLineOnDisk_ = false; // a cut line went with the deleted file
    if (file_.open(openPath_))
        return; // the buffered lines go to the new file
    droppedLines_ += bufferedLines_;
    used_ = 0;
    bufferedLines_ = 0;
    retryBlocked_ = true;
}

void LogWriter::fail()
{
    used_ = 0;
    bufferedLines_ = 0;
    file_.close();
    failing_ = true;
    retryBlocked_ = true;
}

} // namespace torvex
