#include "settings/program_settings.h"

#include <algorithm>
#include <vector>

#include "settings/profile_format.h"

namespace torvex {

namespace {
std::string channelKey(std::string_view stem, int channel)
{
    std::string key(stem);
    key += static_cast<char>('0' + channel);
    return key;
}
} // namespace

std::string encNameKey(int channel) { return channelKey("EncName", channel); }
std::string encUnitKey(int channel) { return channelKey("EncUnit", channel); }

LogColumns logColumnsOf(const LogChecks &checks)
{
    LogColumns columns;
    for (std::size_t i = 0; i < kLogColumnCount; ++i)
        columns[i] = checks[1 + i];
    return columns;
}

StartupSettings readStartupSettings(const ProfileFile &source, std::string_view defaultFileName)
{
    const ProfileValues file = source.values(); // every key from one reading, whatever the file's size
    const auto section = kOptionsSection;
    StartupSettings s;
    for (int i = 0; i < kEncoderCount; ++i) {
        s.encNames[i] = file.readText(section, encNameKey(i + 1), "");
        s.encUnits[i] = file.readText(section, encUnitKey(i + 1), "");
    }
    for (std::size_t i = 0; i < kLogCheckKeys.size(); ++i)
        s.logChecks[i] = file.readBool(section, kLogCheckKeys[i], true);
    s.mod = file.readInteger(section, "Mod", 1);
    for (std::size_t i = 0; i < kChartKeys.size(); ++i)
        s.chartVisible[i] = file.readBool(section, kChartKeys[i], true);
    s.screenTop = file.readInteger(section, "ScreenTop", 0);
    s.screenLeft = file.readInteger(section, "ScreenLeft", 0);
    s.fileName = file.readText(section, "FileName", defaultFileName);
    s.chartTimeText = file.readText(section, "ChartTime", "1");
    s.language = file.readInteger(section, "Language", 0);
    // Unlike the check box, the auto-start decision treats a missing key as off.
    s.loggingActive = !s.fileName.empty() && file.readBool(section, "SaveAuto", false);
    return s;
}

void writeDefaultSettings(ProfileFile &file, std::string_view defaultFileName)
{
    std::vector<ProfileFile::Entry> entries;
    std::array<std::string, 2 * kEncoderCount> channelKeys;
    for (int i = 0; i < kEncoderCount; ++i) {
        channelKeys[i] = encNameKey(i + 1);
        channelKeys[i + kEncoderCount] = encUnitKey(i + 1);
    }
    for (const auto &key : channelKeys)
        entries.push_back({key, ""});
    entries.push_back({"ScreenTop", "0"});
    entries.push_back({"ScreenLeft", "0"});
    entries.push_back({"FileName", std::string(defaultFileName)});
    entries.push_back({"Mod", "1"});
    for (const auto key : kLogCheckKeys)
        entries.push_back({key, key == "SaveAuto" ? "0" : "1"});
    for (const auto key : kChartKeys)
        entries.push_back({key, "1"});
    entries.push_back({"ChartTime", "1"});
    entries.push_back({"Language", "0"});
    file.writeTexts(kOptionsSection, entries);
}

void writeCloseSettings(ProfileFile &file, const CloseSettings &v)
{
    const auto section = kOptionsSection;
    if (v.storePosition) {
        file.writeInteger(section, "ScreenTop", v.screenTop);
        file.writeInteger(section, "ScreenLeft", v.screenLeft);
    }
    for (std::size_t i = 0; i < kLogCheckKeys.size(); ++i)
        file.writeBool(section, kLogCheckKeys[i], v.logChecks[i]);
    for (std::size_t i = 0; i < kChartKeys.size(); ++i)
        file.writeBool(section, kChartKeys[i], v.chartVisible[i]);
    file.writeText(section, "ChartTime", std::to_string(v.chartTime));
    file.writeInteger(section, "Language", v.language);
}

namespace {
std::string invalidIntegerMessage(std::string_view text)
{
    std::string message;
    message.reserve(text.size() + 32);
    message.append("'").append(text).append("' is not a valid integer value");
    return message;
}
} // namespace

InvalidIntegerError::InvalidIntegerError(std::string_view text) : std::runtime_error(invalidIntegerMessage(text)) {}

std::int32_t convertChartTime(std::string_view text)
{
    const auto value = profile::parseInteger(text);
    if (!value)
        throw InvalidIntegerError(text);
    return std::clamp(*value, kChartTimeMin, kChartTimeMax);
}

} // namespace torvex
