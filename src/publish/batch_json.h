#pragma once
// The JSON a batch of measurements is published as:
//   {"run":"...","reports":[{"counter":0,"time":"2026-12-10T02:27:03.123Z",
//     "enc1p":1.25,"enc2p":0,"enc3p":0,"enc1v":0.5,"enc2v":0,"enc3v":0,
//     "out1":true,"out2":false,"out3":false,"out4":false,"trig1":false,"trig2":false}, ...]}
// A consumer drops the duplicates QoS 1 may bring by (run, counter).

#include "record/record.h"

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace torvex {

// "2026-12-10T02:27:03.123Z".
std::string isoUtcMs(std::int64_t utcMs);

std::string batchJson(std::string_view run, std::span<const MeasurementRecord> records);

// The retained info: {"product":"...","serial":"...","version":"...","run":"..."}.
struct PublisherInfo {
    std::string product, serial, version, run;
};
std::string infoJson(const PublisherInfo &info);

// An identifier of this start of the program: its UTC start time and 32 random bits ("20261210T022703.123Z-3fa9c1d2"),
// so that runs tell apart even on computers with a wrong clock.
std::string newRunId(std::int64_t utcMs);

} // namespace torvex
