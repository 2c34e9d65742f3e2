#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <vector>

namespace torvex {

// Log lines not yet known to be safe in the log file, in arrival order. They are stored back to back in
// blocks, so that a long backlog costs little more than its bytes. A cursor marks how far they have been
// written to the open file; lines behind it are kept until the file is known to still have its name.
class LineBacklog {
public:
    static constexpr std::size_t kBlockSize = 64 * 1024;

    LineBacklog(std::size_t maxLines, std::size_t maxBytes);

    // False, and nothing stored, when the line would pass either bound.
    bool push(std::string_view line);
    void clear();

    std::size_t lines() const { return lines_; }
    std::size_t bytes() const { return bytes_; }
    std::size_t maxLines() const { return maxLines_; }
    std::size_t maxBytes() const { return maxBytes_; }
    // A line cut by the cursor counts as unwritten.
    std::size_t unwrittenLines() const { return lines_ - writtenLines_; }
    std::size_t unwrittenBytes() const { return bytes_ - writtenBytes_; }
    // The cursor is inside a line: only the start of it has been written.
    bool midLine() const;
    // How much of the line holding the cursor has been written.
    std::size_t cutLineBytes() const { return cursorByte_ - cursorLineStart(); }

    // The unwritten bytes that follow the cursor in one piece (up to the end of their block).
    std::string_view nextPiece();
    // `n` bytes of nextPiece() reached the file.
    void advance(std::size_t n);

    // The file still has its name: what has been written is safe and goes, apart from the start of a cut line.
    void confirm();
    // The file that took the written lines is gone: all of them are to be written again.
    void rewind();
    // The start of a cut line cannot be continued: the whole line is to be written again.
    void restartLine();

private:
    struct Block {
        std::string bytes;
        std::vector<std::uint32_t> ends; // offset just past each line
    };
    // Offset in the cursor's block where the line holding the cursor starts.
    std::size_t cursorLineStart() const;
    void settleCursor();

    std::size_t maxLines_;
    std::size_t maxBytes_;
    std::deque<Block> blocks_;
    std::size_t headLine_ = 0; // lines of the first block already gone
    std::size_t headByte_ = 0; // and their bytes
    std::size_t lines_ = 0;
    std::size_t bytes_ = 0;
    std::size_t cursorBlock_ = 0;
    std::size_t cursorByte_ = 0; // offset in the cursor's block
    std::size_t writtenLines_ = 0;
    std::size_t writtenBytes_ = 0;
};

} // namespace torvex
