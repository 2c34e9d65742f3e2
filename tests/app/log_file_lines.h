#pragma once
// Reading back a log file the window wrote, for the tests that count its lines against what was sent.

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

// The lines, each of which must end with CR LF (a failure is added for text after the last one).
inline std::vector<std::string> logFileLines(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    const std::string all{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t end; (end = all.find("\r\n", start)) != std::string::npos; start = end + 2)
        lines.push_back(all.substr(start, end - start));
    EXPECT_EQ(start, all.size()) << "text after the last line end";
    return lines;
}

// Adds a failure for each line whose measurement counter (the third column, after date and time) is not one
// more than the line's before.
inline void expectConsecutiveCounters(const std::vector<std::string> &lines)
{
    long previous = -1;
    for (const std::string &line : lines) {
        const size_t second = line.find(';', line.find(';') + 1), third = line.find(';', second + 1);
        const long counter = std::stol(line.substr(second + 1, third - second - 1));
        if (previous >= 0) {
            EXPECT_EQ(counter, previous + 1) << line;
        }
        previous = counter;
    }
}
