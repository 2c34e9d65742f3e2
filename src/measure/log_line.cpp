#include "measure/log_line.h"

#include "measure/value_text.h"

#include <charconv>
#include <cstring>
#include <iterator>
#include <stdexcept>
#include <string>

namespace torvex {

namespace {

constexpr std::size_t kIntText = 11; // "-2147483648"
// Longest line: date and time of three and four full-width numbers, both counters, the values, the output
// columns ("HI;"), each with its ';', and CR LF.
constexpr std::size_t kLongestLine = (3 * kIntText + 3) + (4 * kIntText + 4) + (kIntText + 1) + (kIntText + 1)
    + 2 * kEncoderCount * (kValueTextCapacity + 1) + std::size(kIoBits) * 3 + 2;
static_assert(kLongestLine <= LogLine::kCapacity, "a log line must always fit its buffer");

class Appender {
public:
    explicit Appender(char *out) : p_(out) {}

    void text(std::string_view s)
    {
        std::memcpy(p_, s.data(), s.size());
        p_ += s.size();
    }
    void ch(char c) { *p_++ = c; }
    template <typename Int>
    void number(Int v)
    {
        p_ = std::to_chars(p_, p_ + kIntText, v).ptr;
    }
    void value(float v, unsigned decimals, char separator) { p_ += formatValueText(p_, v, decimals, separator); }
    char *end() const { return p_; }

private:
    char *p_;
};

} // namespace

std::optional<std::size_t> findLogColumn(std::string_view name)
{
    for (std::size_t i = 0; i < kLogColumnNames.size(); ++i)
        if (kLogColumnNames[i] == name)
            return i;
    return std::nullopt;
}

bool &LogColumns::operator[](std::size_t index)
{
    constexpr std::size_t kFirstPosition = 4;
    constexpr std::size_t kFirstVelocity = kFirstPosition + kEncoderCount;
    if (index < kFirstPosition) {
        bool *const first[kFirstPosition] = {&date, &time, &count, &countModulo};
        return *first[index];
    }
    if (index < kFirstVelocity)
        return position[index - kFirstPosition];
    if (index < kLogColumnCount - 1)
        return velocity[index - kFirstVelocity];
    if (index == kLogColumnCount - 1)
        return outputs;
    throw std::out_of_range("no log column " + std::to_string(index));
}

LogColumns LogColumns::all(bool ticked)
{
    LogColumns c;
    for (std::size_t i = 0; i < kLogColumnCount; ++i)
        c[i] = ticked;
    return c;
}

void BuildLogLine(LogLine &line, const LogLineInput &in, const LocalDateTime &now)
{
    const LogColumns &c = in.columns;
    Appender out(line.data_.data());

    if (c.date) {
        out.number(now.day);
        out.ch('-');
        out.number(now.month);
        out.ch('-');
        out.number(now.year);
        out.ch(';');
    }
    if (c.time) {
        out.number(now.hour);
        out.ch(':');
        out.number(now.minute);
        out.ch(':');
        out.number(now.second);
        out.ch(':');
        out.number(now.millisecond);
        out.ch(';');
    }
    if (c.count) {
        // Read as signed: past 2^31 reports the column goes negative, as files written so far show it.
        out.number(static_cast<std::int32_t>(in.measurementCount));
        out.ch(';');
    }
    if (c.countModulo) {
        const auto divisor = static_cast<std::uint32_t>(in.moduloValue);
        if (divisor == 0) {
            out.text("---;");
        } else {
            out.number(in.measurementCount % divisor);
            out.ch(';');
        }
    }
    for (std::size_t k = 0; k < kEncoderCount; ++k) {
        if (c.position[k]) {
            out.value(in.position[k], in.decimalPlaces, in.decimalSeparator);
            out.ch(';');
        }
    }
    for (std::size_t k = 0; k < kEncoderCount; ++k) {
        if (c.velocity[k]) {
            out.value(in.velocity[k], in.decimalPlaces, in.decimalSeparator);
            out.ch(';');
        }
    }
    if (c.outputs) {
        for (std::uint8_t bit : kIoBits)
            out.text((in.ioStates & bit) != 0 ? "HI;" : "LO;");
    }
    out.text("\r\n");
    line.size_ = static_cast<std::size_t>(out.end() - line.data_.data());
}

} // namespace torvex
