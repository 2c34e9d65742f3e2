#pragma once

// A model of the TORVEX counter as the host sees it over USB: it keeps the instrument's parameters, answers
// read requests and parameter writes, and produces measurement reports from three simulated encoders.
// The model is deterministic: it never reads a clock itself; every time-dependent call takes an Instant.
// Reports are encoded here from the wire layouts, independently of the program's decoders.

#include <array>
#include <chrono>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace torvex::sim {

using Report = std::vector<std::uint8_t>;

inline constexpr std::uint8_t kReportId = 1;
inline constexpr std::size_t kReportLength = 65; // report id + 64 data bytes, both directions
inline constexpr std::uint16_t kVendorId = 0xF07E;
inline constexpr std::uint16_t kProductId = 0x0C01;
inline constexpr char kProductName[] = "TORVEX";

struct CivilTime {
    std::uint16_t year = 0;
    std::uint8_t month = 0;
    std::uint8_t day = 0;
    std::uint8_t hour = 0;
    std::uint8_t minute = 0;
    std::uint8_t second = 0;
};

// A moment as the instrument sees it: time since it was switched on (drives the motion and the schedule) and
// the wall-clock time shown in its reports.
struct Instant {
    std::chrono::milliseconds elapsed{0};
    CivilTime local;
};

// The host's local time, for the instrument's clock.
CivilTime hostLocalTime();

struct EncoderSettings {
    std::uint8_t mode = 0;          // 0 per second, 1 per minute
    std::uint8_t clearByIndex = 0;  // 1: the index pulse (once per revolution) clears the position
    std::int32_t gateTime = 1000;   // ms, the window over which velocity is measured
    std::int32_t resolution = 1024; // pulses per revolution
    float coeff = 1.0f;
    float offset = 0.0f;
};

struct OutputRule {
    std::uint8_t source = 0;    // 0 inactive, 1 always active, 2..4 position of encoder 1..3, 5..7 velocity
    std::uint8_t condition = 0; // 0 smaller, 1 larger
    std::uint8_t state = 0;     // state taken while the condition holds
    float threshold = 0.0f;
};

struct Parameters {
    std::array<EncoderSettings, 3> encoders{};
    std::uint8_t transmissionMode = 0; // 0 continuous, 1 while trigger 1 is active, 2 once per rising edge
    std::int32_t sendInterval = 100;   // ms
    std::int32_t triggerFilter = 10;   // ms
    std::array<OutputRule, 4> outputs{};
    std::uint8_t modbusAddress = 1;
    std::uint8_t modbusBaud = 0;
    std::uint8_t triggerMasterMode = 0;
    std::array<std::uint8_t, 3> triggerRegisterType{0, 1, 2};
    std::uint8_t dotPosition = 2;
    std::uint8_t redDisplay = 0;
    std::uint8_t greenDisplay = 0;
    std::uint8_t beeper = 0;
    std::array<std::uint32_t, 9> modbusStats{0, 0, 0, 0, 0, 0, 0, 0, 0};
};

class Instrument {
public:
    Instrument();

    // One output report from the host (report id first). Returns the input reports the instrument answers
    // with: a configuration reply for a read request, an acknowledgement for an accepted write, or nothing.
    std::vector<Report> handleOutputReport(std::span<const std::uint8_t> report, Instant now);

    // The measurement report for this moment, whether or not one is due.
    Report measurementReport(Instant now) const;

    // The measurement reports the transmission mode calls for since the previous call (zero or one).
    std::vector<Report> poll(Instant now);

    // When the next measurement report may become due; poll() should be called then at the latest.
    std::chrono::milliseconds nextPollAt(Instant now) const;

    // Send times of the continuous modes that passed without a report: poll() was called so late that the
    // instrument took up its cadence afresh instead of sending a burst. Together with the reports sent this
    // accounts for every send time.
    std::uint64_t skippedReports() const { return skipped_; }

    Parameters &parameters() { return params_; }
    const Parameters &parameters() const { return params_; }

    // Trigger inputs (0 = TRIG1, 1 = TRIG2) follow a built-in pattern unless held at a level here.
    void holdTrigger(int input, std::optional<bool> level);
    bool trigger(int input, Instant now) const;

    // Scaled readings of encoder 0..2, as the measurement report carries them.
    float position(int encoder, Instant now) const;
    float velocity(int encoder, Instant now) const;
    std::uint8_t ioStates(Instant now) const;

private:
    double rawCounts(int encoder, std::chrono::milliseconds t) const;
    std::optional<Report> configReply(std::uint8_t item, std::uint8_t channel) const;
    bool applyWrite(std::uint8_t id, std::uint8_t channel, std::span<const std::uint8_t> value, Instant now);

    Parameters params_;
    std::array<double, 3> countBase_{}; // raw count at the last position clear
    std::array<std::optional<bool>, 2> heldTrigger_{};
    std::optional<std::chrono::milliseconds> lastSent_;
    bool lastTrigger1_ = false;
    std::uint64_t skipped_ = 0;
};

} // namespace torvex::sim
