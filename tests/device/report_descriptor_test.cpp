#include "device/report_descriptor.h"

#include <gtest/gtest.h>

#include <ostream>

#include <string>
#include <vector>

using torvex::parseReportDescriptor;

namespace {

std::vector<uint8_t> hex(const std::string &text)
{
    std::vector<uint8_t> bytes;
    for (size_t i = 0; i < text.size();) {
        if (text[i] == ' ') {
            ++i;
            continue;
        }
        bytes.push_back(static_cast<uint8_t>(std::stoul(text.substr(i, 2), nullptr, 16)));
        i += 2;
    }
    return bytes;
}

struct DescriptorCase {
    const char *name;
    std::string bytes;
    uint16_t input, output, feature, hidrawInput;
    bool numbered;
};

// Names only: the default would print the bytes of the whole case.
void PrintTo(const DescriptorCase &c, std::ostream *os) { *os << c.name; }

class Lengths : public ::testing::TestWithParam<DescriptorCase> {};

TEST_P(Lengths, WindowsRuleAndHidrawLength)
{
    const DescriptorCase &c = GetParam();
    const auto info = parseReportDescriptor(hex(c.bytes));
    EXPECT_EQ(info.inputReportLength, c.input);
    EXPECT_EQ(info.outputReportLength, c.output);
    EXPECT_EQ(info.featureReportLength, c.feature);
    EXPECT_EQ(info.hidrawInputLength, c.hidrawInput);
    EXPECT_EQ(info.numberedReports, c.numbered);
    EXPECT_FALSE(info.truncated);
    EXPECT_FALSE(info.malformed);
}

INSTANTIATE_TEST_SUITE_P(
    ReportDescriptor, Lengths,
    ::testing::Values(
        DescriptorCase{
            "bootKeyboard",
            "05 01 09 06 a1 01 05 07 19 e0 29 e7 15 00 25 01 75 01 95 08 81 02 95 01 75 08 81 03 95 05 75 "
            "01 05 08 19 01 29 05 91 02 95 01 75 03 91 03 95 06 75 08 15 00 25 65 05 07 19 00 29 65 81 00 c0",
            9, 2, 0, 8, false},
        DescriptorCase{"vendorWithReportId",
                       "06 00 FF 09 01 A1 01 85 10 75 08 95 06 15 00 26 FF 00 09 01 81 00 09 01 91 00 C0", 7, 7, 0, 7,
                       true},
        // Three buttons, five bits of padding, X/Y/wheel: input only.
        DescriptorCase{"mouseWithoutOutput",
                       "05 01 09 02 a1 01 09 01 a1 00 05 09 19 01 29 03 15 00 25 01 95 03 75 01 81 02 95 01 75 05 81 "
                       "03 05 01 09 30 09 31 09 38 15 81 25 7f 75 08 95 03 81 06 c0 c0",
                       5, 0, 0, 4, false},
        // The instrument's shape: id 1, 64 data bytes each way.
        DescriptorCase{"instrument64", "06 00 FF 09 01 A1 01 85 01 75 08 95 40 09 01 81 02 09 01 91 02 C0", 65, 65, 0,
                       65, true},
        // Several ids: lengths are the maxima, bits add up per id (12 bits -> 2 bytes).
        DescriptorCase{"severalIds",
                       "85 01 75 08 95 03 81 02 85 02 75 04 95 03 81 02 85 03 75 08 95 0A 91 02 85 04 75 08 95 02 B1 "
                       "02",
                       4, 11, 3, 4, true},
        // Push saves the id and sizes; pop restores them, so the last Input counts for id 5 with 8 x 2 bits.
        DescriptorCase{"pushPop", "85 05 75 08 95 02 A4 85 06 75 10 95 04 81 02 B4 81 02", 9, 0, 0, 9, true},
        // 26 A4 00 is a Logical Maximum whose data byte happens to be the Push prefix: not a push.
        DescriptorCase{"pushByteInsideData", "75 08 95 04 26 A4 00 81 02 26 B4 00 91 02", 5, 5, 0, 4, false},
        // Long items are stepped over by their size byte.
        DescriptorCase{"longItem", "FE 04 10 75 08 95 81 75 08 95 02 81 02", 3, 0, 0, 2, false},
        DescriptorCase{"empty", "", 0, 0, 0, 0, false}),
    [](const auto &param) { return std::string(param.param.name); });

TEST(ReportDescriptor, TruncatedAndMalformedInputIsFlaggedAndNeverReadPastTheEnd)
{
    struct Case {
        std::string bytes;
        bool truncated;
        bool malformed;
        uint16_t input;
    };
    const std::vector<Case> cases = {
        {"75 08 95 02 81 02 27 01 02", true, false, 3},       // 4-byte item with 2 data bytes left
        {"75 08 95 02 81 02 FE 05 00 01", true, false, 3},    // long item longer than what is left
        {"75 08 95 02 81 02 FE", true, false, 3},             // long item prefix alone
        {"85 00 75 08 95 02 81 02", false, true, 3},          // report id 0 is invalid and ignored
        {"B4 75 08 95 01 81 02", false, true, 2},             // pop without push
        {"A4 A4 A4 A4 A4 75 08 95 01 81 02", false, true, 2}, // deeper than four pushes
    };
    for (const Case &c : cases) {
        // Copy into an exactly-sized buffer so the sanitizer sees any read past the end.
        const auto bytes = hex(c.bytes);
        auto exact = std::make_unique<uint8_t[]>(bytes.size());
        std::copy(bytes.begin(), bytes.end(), exact.get());
        const auto info = parseReportDescriptor({exact.get(), bytes.size()});
        EXPECT_EQ(info.truncated, c.truncated) << c.bytes;
        EXPECT_EQ(info.malformed, c.malformed) << c.bytes;
        EXPECT_EQ(info.inputReportLength, c.input) << c.bytes;
    }
}

TEST(ReportDescriptor, HugeSizesSaturateInsteadOfWrapping)
{
    // Report Size and Count of 0xFFFFFFFF multiply to far more than 16 bits can hold.
    const auto info = parseReportDescriptor(hex("77 FF FF FF FF 97 FF FF FF FF 81 02"));
    EXPECT_EQ(info.inputReportLength, 0xFFFF);
}

} // namespace
