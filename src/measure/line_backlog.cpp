#include "measure/line_backlog.h"

#include <algorithm>

namespace torvex {

LineBacklog::LineBacklog(std::size_t maxLines, std::size_t maxBytes) : maxLines_(maxLines), maxBytes_(maxBytes) {}

bool LineBacklog::push(std::string_view line)
{
    if (line.empty())
        return true; // nothing that could wait
    if (lines_ >= maxLines_ || line.size() > maxBytes_ - bytes_)
        return false;
    if (blocks_.empty() || blocks_.back().bytes.capacity() - blocks_.back().bytes.size() < line.size()) {
        // A line never straddles two blocks, so a block that is written out can go as a whole.
        Block block;
        block.bytes.reserve(std::max(kBlockSize, line.size()));
        blocks_.push_back(std::move(block));
    }
    Block &last = blocks_.back();
    last.bytes.append(line);
    last.ends.push_back(static_cast<std::uint32_t>(last.bytes.size()));
    ++lines_;
    bytes_ += line.size();
    settleCursor();
    return true;
}

void LineBacklog::clear()
{
    blocks_.clear();
    headLine_ = headByte_ = 0;
    lines_ = bytes_ = 0;
    cursorBlock_ = cursorByte_ = 0;
    writtenLines_ = writtenBytes_ = 0;
}

std::size_t LineBacklog::cursorLineStart() const
{
    if (blocks_.empty())
        return 0;
    const std::vector<std::uint32_t> &ends = blocks_[cursorBlock_].ends;
    const auto after = std::upper_bound(ends.begin(), ends.end(), cursorByte_);
    return after == ends.begin() ? 0 : *(after - 1);
}

bool LineBacklog::midLine() const { return cursorByte_ != cursorLineStart(); }

void LineBacklog::settleCursor()
{
    while (cursorBlock_ + 1 < blocks_.size() && cursorByte_ == blocks_[cursorBlock_].bytes.size()) {
        ++cursorBlock_;
        cursorByte_ = 0;
    }
}

std::string_view LineBacklog::nextPiece()
{
    settleCursor();
    if (blocks_.empty())
        return {};
    return std::string_view(blocks_[cursorBlock_].bytes).substr(cursorByte_);
}

void LineBacklog::advance(std::size_t n)
{
    if (n == 0 || blocks_.empty())
        return;
    const std::vector<std::uint32_t> &ends = blocks_[cursorBlock_].ends;
    const auto from = std::upper_bound(ends.begin(), ends.end(), cursorByte_);
    cursorByte_ += n;
    const auto to = std::upper_bound(ends.begin(), ends.end(), cursorByte_);
    writtenLines_ += static_cast<std::size_t>(to - from);
    writtenBytes_ += n;
    settleCursor();
}

void LineBacklog::confirm()
{
    while (cursorBlock_ > 0) {
        const Block &first = blocks_.front();
        lines_ -= first.ends.size() - headLine_;
        bytes_ -= first.bytes.size() - headByte_;
        blocks_.pop_front();
        headLine_ = headByte_ = 0;
        --cursorBlock_;
    }
    if (!blocks_.empty()) {
        const Block &first = blocks_.front();
        const auto kept = std::upper_bound(first.ends.begin(), first.ends.end(), cursorByte_);
        const std::size_t head = static_cast<std::size_t>(kept - first.ends.begin());
        const std::size_t headByte = head == 0 ? 0 : first.ends[head - 1];
        lines_ -= head - headLine_;
        bytes_ -= headByte - headByte_;
        headLine_ = head;
        headByte_ = headByte;
        if (headLine_ == first.ends.size()) {
            blocks_.pop_front();
            headLine_ = headByte_ = 0;
            cursorByte_ = 0;
        }
    }
    writtenLines_ = 0;
    writtenBytes_ = cursorByte_ - headByte_;
}

void LineBacklog::rewind()
{
    cursorBlock_ = 0;
    cursorByte_ = headByte_;
    writtenLines_ = 0;
    writtenBytes_ = 0;
}

void LineBacklog::restartLine()
{
    const std::size_t start = cursorLineStart();
    writtenBytes_ -= cursorByte_ - start;
    cursorByte_ = start;
}

} // namespace torvex
