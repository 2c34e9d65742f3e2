// The command-line log against the window's own log: the same reports handed to the real window (logging on)
// and to torvex-cli's recorder, configured from the window's config.ini as --settings does; the two files must
// be the same bytes apart from the computer's clock.
#include "window_fixture.h"

#include "cli/log_recorder.h"
#include "cli/settings_file.h"
#include "torvex_instrument.h"

#include <gmock/gmock.h>

#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

namespace {

std::string contents(const QString &path)
{
    std::ifstream in(path.toStdString(), std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Lines with the date and time columns (the computer's clock) cut off; CR LF kept.
std::vector<std::string> withoutClock(const std::string &all)
{
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t end; (end = all.find("\r\n", start)) != std::string::npos; start = end + 2) {
        std::string line = all.substr(start, end + 2 - start);
        const size_t second = line.find(';', line.find(';') + 1);
        lines.push_back(second == std::string::npos ? "(no clock columns) " + line : line.substr(second + 1));
    }
    if (start != all.size())
        lines.push_back("(torn) " + all.substr(start));
    return lines;
}

// Measurement reports as the instrument makes them, with changing decimals, scaling and motion, and between
// them reports the log must not count: replies, acknowledgements, unknown types, a cut measurement.
std::vector<std::vector<uint8_t>> reportSequence()
{
    torvex::sim::Instrument instrument;
    auto &p = instrument.parameters();
    p.outputs[0] = {2, 1, 1, 50.0f};
    p.outputs[2] = {1, 0, 1, 0.0f};
    std::vector<std::vector<uint8_t>> reports;
    for (int i = 0; i < 600; ++i) {
        p.dotPosition = static_cast<uint8_t>(i % 7); // 6: beyond the instrument's list, still decoded as sent
        p.encoders[i % 3].coeff = 0.0371f * static_cast<float>(i % 11) - 0.2f;
        p.encoders[(i + 1) % 3].offset = -12.345f + static_cast<float>(i);
        p.encoders[2].mode = static_cast<uint8_t>(i % 2);
        const torvex::sim::Instant now{std::chrono::milliseconds(137 * i), {2026, 12, 8, 9, 5, 3}};
        reports.push_back(instrument.measurementReport(now));
        if (i % 50 == 7)
            reports.push_back(instrument.handleOutputReport(std::vector<uint8_t>{1, 1, 9, 1}, now).at(0));
        if (i % 50 == 8)
            reports.push_back(instrument.handleOutputReport(std::vector<uint8_t>{1, 2, 20, 0, 1}, now).at(0));
        if (i % 100 == 9)
            reports.push_back({1, 3, 0, 0, 0});
        if (i % 100 == 10) {
            std::vector<uint8_t> cut = instrument.measurementReport(now);
            cut.resize(20);
            reports.push_back(cut);
        }
    }
    return reports;
}

class CliLogMatchesWindow : public WindowFixture {};

TEST_F(CliLogMatchesWindow, SameReportsSameBytesApartFromTheClock)
{
    const QString windowLog = tempPath(QStringLiteral("window.csv"));
    const QString cliLog = tempPath(QStringLiteral("cli.csv"));
    // Auto-start logging, some columns off, a modulo of 7.
    writeSettingsFile("[Options]\r\nSaveAuto=1\r\nSaveDate=1\r\nSaveTime=1\r\nSaveCnt=1\r\nSaveCntMod=1\r\n"
                      "SaveEnc1p=1\r\nSaveEnc2p=0\r\nSaveEnc3p=1\r\nSaveEnc1v=1\r\nSaveEnc2v=1\r\nSaveEnc3v=0\r\n"
                      "SaveOutput=1\r\nMod=7\r\nFileName="
                      + windowLog.toUtf8() + "\r\n");
    TFMain &w = window();
    ASSERT_TRUE(w.loggingActive);

    std::ostringstream errors;
    const auto settings = torvex::cli::readSettingsFile(settingsPath().toStdString(), errors);
    ASSERT_TRUE(settings) << errors.str();
    torvex::cli::LogRecorder recorder({cliLog.toStdString(), settings->columns, settings->modulo, '.', {}, false});
    recorder.start();

    const auto reports = reportSequence();
    for (size_t i = 0; i < reports.size(); ++i) {
        const std::vector<uint8_t> &r = reports[i];
        w.DeviceDataReceived(nullptr, r[0], r.data() + 1, static_cast<uint16_t>(r.size() - 1));
        recorder.handleReport({r.data() + 1, r.size() - 1});
        if (i % 97 == 0) {
            w.SaveFileTimerTimer();
            recorder.tick();
        }
    }
    closeWindow();
    EXPECT_TRUE(recorder.stop().allWritten);

    const auto expected = withoutClock(contents(windowLog));
    ASSERT_EQ(expected.size(), 600u) << "one line per measurement report";
    EXPECT_THAT(expected[5], testing::StartsWith("5;5;")) << "count and count modulo 7 follow the clock";
    EXPECT_EQ(withoutClock(contents(cliLog)), expected);
    EXPECT_EQ(recorder.lines(), 600u);
    EXPECT_EQ(recorder.lost(), 0u);
}

} // namespace
