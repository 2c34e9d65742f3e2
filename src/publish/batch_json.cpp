#include "publish/batch_json.h"

#include "measure/value_text.h"

#include <nlohmann/json.hpp>

#include <array>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <random>

namespace torvex {

namespace {

constexpr std::array<const char *, kEncoderCount> kPositionKeys = {"enc1p", "enc2p", "enc3p"};
constexpr std::array<const char *, kEncoderCount> kVelocityKeys = {"enc1v", "enc2v", "enc3v"};
constexpr std::array<const char *, std::size(kIoBits)> kIoKeys = {"out1", "out2", "out3", "out4", "trig1", "trig2"};

// The value as the log writes it (the instrument's decimals, rounded once), read back as a number; JSON has no
// not-a-number or infinity, so those are null.
nlohmann::ordered_json valueNumber(float value, unsigned decimals)
{
    char text[kValueTextCapacity];
    const std::size_t size = formatValueText(text, value, decimals, '.');
    double number = 0;
    const auto [end, ec] = std::from_chars(text, text + size, number);
    if (ec != std::errc{} || end != text + size)
        return nullptr;
    return number;
}

} // namespace

std::string isoUtcMs(std::int64_t utcMs)
{
    using namespace std::chrono;
    const sys_time<milliseconds> at{milliseconds(utcMs)};
    const auto day = floor<days>(at);
    const year_month_day date{day};
    const hh_mm_ss clock{at - day};
    char text[40];
    std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02d:%02d:%02d.%03dZ", int(date.year()), unsigned(date.month()),
                  unsigned(date.day()), int(clock.hours().count()), int(clock.minutes().count()),
                  int(clock.seconds().count()), int(clock.subseconds().count()));
    return text;
}

std::string batchJson(std::string_view run, std::span<const MeasurementRecord> records)
{
    nlohmann::ordered_json reports = nlohmann::ordered_json::array();
    for (const MeasurementRecord &record : records) {
        const LogLineInput &in = record.line;
        nlohmann::ordered_json report;
        // Read as signed, as the log's counter column.
        report["counter"] = static_cast<std::int32_t>(in.measurementCount);
        report["time"] = isoUtcMs(record.utcMs);
        for (std::size_t k = 0; k < kEncoderCount; ++k)
            report[kPositionKeys[k]] = valueNumber(in.position[k], in.decimalPlaces);
        for (std::size_t k = 0; k < kEncoderCount; ++k)
            report[kVelocityKeys[k]] = valueNumber(in.velocity[k], in.decimalPlaces);
        for (std::size_t b = 0; b < std::size(kIoBits); ++b)
            report[kIoKeys[b]] = (in.ioStates & kIoBits[b]) != 0;
        reports.push_back(std::move(report));
    }
    nlohmann::ordered_json batch;
    batch["run"] = run;
    batch["reports"] = std::move(reports);
    return batch.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
}

std::string infoJson(const PublisherInfo &info)
{
    nlohmann::ordered_json json;
    json["product"] = info.product;
    json["serial"] = info.serial;
    json["version"] = info.version;
    json["run"] = info.run;
    // Text from a device or the user is not always valid UTF-8: replaced rather than refused.
    return json.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
}

std::string newRunId(std::int64_t utcMs)
{
    std::random_device random;
    char suffix[16];
    std::snprintf(suffix, sizeof suffix, "-%08x", static_cast<unsigned>(random()));
    std::string id = isoUtcMs(utcMs);
    std::erase(id, '-');
    std::erase(id, ':');
    return id + suffix;
}

} // namespace torvex
