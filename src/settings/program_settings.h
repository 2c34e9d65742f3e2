#pragma once
// The program's own keys in the settings file: what a new file holds, what start-up reads and what closing
// the window writes. The window only maps these plain values to and from its controls.
#include <array>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

#include "measure/log_line.h"
#include "settings/profile_file.h"

namespace torvex {

inline constexpr std::string_view kOptionsSection = "Options";
inline constexpr std::string_view kSettingsFileName = "config.ini";

// The twelve logging check boxes, in the order they are written at close: the auto-start box, then the log
// columns in line order.
inline constexpr std::array<std::string_view, 1 + kLogColumnCount> kLogCheckKeys = {
    "SaveAuto",  "SaveDate",  "SaveTime",  "SaveCnt",   "SaveCntMod", "SaveEnc1p",
    "SaveEnc2p", "SaveEnc3p", "SaveEnc1v", "SaveEnc2v", "SaveEnc3v",  "SaveOutput"};
inline constexpr std::array<std::string_view, 6> kChartKeys = {"Chart1", "Chart2", "Chart3",
                                                               "Chart4", "Chart5", "Chart6"};

// Chart width limits of the up-down control, in seconds.
inline constexpr std::int32_t kChartTimeMin = 1;
inline constexpr std::int32_t kChartTimeMax = 600;

// channel: 1..3
std::string encNameKey(int channel);
std::string encUnitKey(int channel);

using LogChecks = std::array<bool, kLogCheckKeys.size()>;
// The columns the check boxes tick (the auto-start box is not a column).
LogColumns logColumnsOf(const LogChecks &checks);

// Everything start-up takes from the file.
struct StartupSettings {
    std::array<std::string, kEncoderCount> encNames;
    std::array<std::string, kEncoderCount> encUnits;
    LogChecks logChecks{}; // kLogCheckKeys order
    std::int32_t mod = 1;
    std::array<bool, 6> chartVisible{};
    std::int32_t screenTop = 0;
    std::int32_t screenLeft = 0;
    std::string fileName;
    std::string chartTimeText; // converted by the caller with convertChartTime, where a bad value is an error
    std::int32_t language = 0;
    bool loggingActive = false; // auto-start: box saved checked and a log file name set
};

// `defaultFileName`: the log file name used when the file has none (the first language's text).
StartupSettings readStartupSettings(const ProfileFile &file, std::string_view defaultFileName);

// Creates the file of a first start: every key in its fixed order, in one durable write.
void writeDefaultSettings(ProfileFile &file, std::string_view defaultFileName);

// What closing the window stores.
struct CloseSettings {
    std::int32_t screenTop = 0;
    std::int32_t screenLeft = 0;
    bool storePosition = true; // false where the platform cannot tell the window position: keep the stored one
    LogChecks logChecks{};
    std::array<bool, 6> chartVisible{};
    std::int32_t chartTime = 1;
    std::int32_t language = 0;
};

// Writes key by key in the fixed close order; a failing write throws SettingsError and the keys after it are
// not written (those before it stay written).
void writeCloseSettings(ProfileFile &file, const CloseSettings &values);

// A stored chart width that is not an integer.
class InvalidIntegerError : public std::runtime_error {
public:
    explicit InvalidIntegerError(std::string_view text);
};

// Strict conversion of the stored chart width (throws InvalidIntegerError), then clamped to the up-down range.
std::int32_t convertChartTime(std::string_view text);

} // namespace torvex
