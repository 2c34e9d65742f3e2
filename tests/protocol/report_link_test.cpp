#include "protocol/report_link.h"

#include <gtest/gtest.h>

#include <vector>

using namespace torvex;
using Bytes = std::vector<std::uint8_t>;

namespace {

Bytes framed(std::uint8_t command, Bytes payload, std::size_t length)
{
    OutputWorkingBuffer buffer;
    buffer.fill(0xAA); // left-overs of an earlier send must not leak into this one
    const auto out = frameOutputReport(buffer, command, payload, length);
    return Bytes(out.begin(), out.end());
}

Bytes zerosAfter(Bytes head, std::size_t length)
{
    head.resize(length, 0);
    return head;
}

} // namespace

TEST(ReportFraming, RequestsAreFramedAndZeroPaddedToTheDeviceLength)
{
    struct Case {
        std::uint8_t command;
        Bytes payload;
        std::size_t length;
        Bytes head;
    };
    const Case cases[] = {
        {1, {9, 2}, 65, {1, 1, 9, 2}},
        {2, {10, 0}, 65, {1, 2, 10, 0}},
        {2, {6, 0, 232, 3, 0, 0}, 65, {1, 2, 6, 0, 232, 3, 0, 0}},
        {2, {6, 0, 232, 3, 0, 0}, 8, {1, 2, 6, 0, 232, 3, 0, 0}},
        {1, {5, 0}, 256, {1, 1, 5, 0}},
        {7, {}, 2, {1, 7}},
    };
    for (const Case &c : cases)
        EXPECT_EQ(framed(c.command, c.payload, c.length), zerosAfter(c.head, c.length)) << c.length;
}

TEST(ReportFraming, NothingToWriteWhenTheLengthCannotCarryTheReport)
{
    EXPECT_TRUE(framed(1, {9, 2}, 0).empty()) << "capabilities unknown";
    EXPECT_TRUE(framed(1, {9, 2}, 257).empty()) << "beyond the working buffer";
    EXPECT_TRUE(framed(2, {6, 0, 232, 3, 0, 0}, 7).empty()) << "the value would be cut";
}

TEST(InputReports, ClassifiedByTypeByte)
{
    const std::pair<Bytes, InputReportType> cases[] = {
        {{0, 1, 2}, InputReportType::Measurement},  {{1, 9, 0}, InputReportType::ConfigReply},
        {{2, 5, 1}, InputReportType::ParameterAck}, {{3}, InputReportType::Other},
        {{255, 0}, InputReportType::Other},         {{}, InputReportType::Other},
    };
    for (const auto &[data, type] : cases)
        EXPECT_EQ(classifyInputReport(data), type);
}

TEST(InputReports, StoreOverwritesOnlyTheReportsOwnBytes)
{
    RxBuffer rx{};
    Bytes longer(64, 7);
    EXPECT_EQ(storeInputReport(rx, longer), 64u);
    EXPECT_EQ(storeInputReport(rx, Bytes{3, 1}), 2u);
    EXPECT_EQ(rx[0], 3);
    EXPECT_EQ(rx[1], 1);
    EXPECT_EQ(rx[2], 7) << "earlier report's bytes stay behind";
    EXPECT_EQ(rx[63], 7);
    EXPECT_EQ(rx[64], 0);

    Bytes overLong(200, 9);
    EXPECT_EQ(storeInputReport(rx, overLong), kRxBufferSize) << "cut to the buffer";
    EXPECT_EQ(rx[127], 9);
}

TEST(InputReports, AcknowledgementShowsBothNumbersUnsigned)
{
    const auto shown = [](Bytes data) {
        const auto ack = decodeAcknowledgement(data);
        return ack ? acknowledgementSuffix(*ack) : "none";
    };
    EXPECT_EQ(shown({2, 5, 1}), "5][1]");
    EXPECT_EQ(shown({2, 255, 0, 9}), "255][0]");
    EXPECT_EQ(shown({2, 5}), "none") << "too short to carry both";
    EXPECT_EQ(shown({1, 5, 1}), "none") << "not an acknowledgement";
}
