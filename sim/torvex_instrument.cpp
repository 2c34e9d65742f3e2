#include "torvex_instrument.h"

#include <bit>
#include <cmath>
#include <ctime>

namespace torvex::sim {

namespace {

using std::chrono::milliseconds;

// Offsets in the whole report: the report id is byte 0, so data byte n is report byte n + 1.
constexpr std::size_t kData = 1;

void putLe32(Report &r, std::size_t at, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        r[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}

void putBe32(Report &r, std::size_t at, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        r[at + i] = static_cast<std::uint8_t>(v >> (8 * (3 - i)));
}

void putFloat(Report &r, std::size_t at, float v) { putLe32(r, at, std::bit_cast<std::uint32_t>(v)); }

std::uint32_t getLe32(std::span<const std::uint8_t> b)
{
    return std::uint32_t(b[0]) | std::uint32_t(b[1]) << 8 | std::uint32_t(b[2]) << 16 | std::uint32_t(b[3]) << 24;
}

Report blankReport(std::uint8_t type)
{
    Report r(kReportLength, 0);
    r[0] = kReportId;
    r[kData] = type;
    return r;
}

// The wheel's motion: it speeds up, runs, slows down and rests, then backs up at half speed and rests again.
// Turns are integrated in closed form so that any moment can be asked for, in any order.
constexpr double kAccel = 1.5, kCruise = 3.0, kDecel = 1.5, kRest = 1.0;
constexpr double kHalf = kAccel + kCruise + kDecel + kRest;
constexpr double kCycle = 2 * kHalf;
constexpr double kReverseShare = 0.5;

double halfTurns(double tau, double peak)
{
    if (tau < kAccel)
        return peak * tau * tau / (2 * kAccel);
    if (tau < kAccel + kCruise)
        return peak * (kAccel / 2 + (tau - kAccel));
    if (tau < kAccel + kCruise + kDecel) {
        const double u = tau - kAccel - kCruise;
        return peak * (kAccel / 2 + kCruise + u - u * u / (2 * kDecel));
    }
    return peak * (kAccel / 2 + kCruise + kDecel / 2);
}

double wheelTurns(double t, double peak)
{
    const double cycles = std::floor(t / kCycle);
    const double tau = t - cycles * kCycle;
    const double perCycle = halfTurns(kHalf, peak) + halfTurns(kHalf, -kReverseShare * peak);
    double turns = cycles * perCycle;
    if (tau < kHalf)
        turns += halfTurns(tau, peak);
    else
        turns += halfTurns(kHalf, peak) + halfTurns(tau - kHalf, -kReverseShare * peak);
    return turns;
}

// Peak speed (turns per second) and start delay of each encoder's wheel, so the three differ visibly.
constexpr std::array<double, 3> kPeak{2.0, 0.5, 5.0};
constexpr std::array<double, 3> kPhase{0.0, 3.0, 7.0};

// Built-in trigger pattern: (period, active from, active until) in ms.
constexpr std::array<std::array<std::int64_t, 3>, 2> kTriggerPattern{{{4000, 2000, 3000}, {3000, 0, 500}}};

bool inRange(std::uint8_t v, std::uint8_t count) { return v < count; }

} // namespace

CivilTime hostLocalTime()
{
    const std::time_t now = std::time(nullptr);
    std::tm tm{};
#ifdef _WIN32
    localtime_s(&tm, &now);
#else
    localtime_r(&now, &tm);
#endif
    return CivilTime{static_cast<std::uint16_t>(tm.tm_year + 1900), static_cast<std::uint8_t>(tm.tm_mon + 1),
                     static_cast<std::uint8_t>(tm.tm_mday),         static_cast<std::uint8_t>(tm.tm_hour),
                     static_cast<std::uint8_t>(tm.tm_min),          static_cast<std::uint8_t>(tm.tm_sec)};
}

Instrument::Instrument() = default;

double Instrument::rawCounts(int encoder, milliseconds t) const
{
    const double seconds = static_cast<double>(t.count()) / 1000.0 - kPhase[encoder];
    const double turns = seconds <= 0 ? 0.0 : wheelTurns(seconds, kPeak[encoder]);
    return turns * params_.encoders[encoder].resolution;
}

float Instrument::position(int encoder, Instant now) const
{
    const EncoderSettings &s = params_.encoders[encoder];
    double counts = rawCounts(encoder, now.elapsed) - countBase_[encoder];
    if (s.clearByIndex != 0) {
        // The index pulse comes once per revolution and zeroes the count, in either direction.
        const double res = s.resolution;
        counts -= res * std::floor(counts / res);
    }
    return static_cast<float>(std::round(counts) * s.coeff + s.offset);
}

float Instrument::velocity(int encoder, Instant now) const
{
    const EncoderSettings &s = params_.encoders[encoder];
    const milliseconds gate{s.gateTime};
    const double perSecond =
        (rawCounts(encoder, now.elapsed) - rawCounts(encoder, now.elapsed - gate)) * 1000.0 / s.gateTime;
    const double scaled = std::round(perSecond) * s.coeff;
    return static_cast<float>(s.mode == 0 ? scaled : scaled * 60.0);
}

void Instrument::holdTrigger(int input, std::optional<bool> level) { heldTrigger_.at(input) = level; }

bool Instrument::trigger(int input, Instant now) const
{
    if (heldTrigger_.at(input))
        return *heldTrigger_[input];
    const auto &[period, from, until] = kTriggerPattern[input];
    const std::int64_t phase = ((now.elapsed.count() % period) + period) % period;
    return phase >= from && phase < until;
}

std::uint8_t Instrument::ioStates(Instant now) const
{
    std::uint8_t bits = 0;
    for (int k = 0; k < 4; ++k) {
        const OutputRule &rule = params_.outputs[k];
        bool active = false;
        if (rule.source == 1) {
            active = true;
        } else if (rule.source >= 2 && rule.source <= 7) {
            const int enc = (rule.source - 2) % 3;
            const float value = rule.source < 5 ? position(enc, now) : velocity(enc, now);
            const bool holds = rule.condition == 0 ? value < rule.threshold : value > rule.threshold;
            active = holds == (rule.state != 0);
        }
        if (active)
            bits |= static_cast<std::uint8_t>(1u << k);
    }
    if (trigger(0, now))
        bits |= 0x40;
    if (trigger(1, now))
        bits |= 0x80;
    return bits;
}

Report Instrument::measurementReport(Instant now) const
{
    Report r = blankReport(0);
    r[kData + 1] = ioStates(now);
    r[kData + 2] = params_.dotPosition;
    r[kData + 5] = static_cast<std::uint8_t>(now.local.year >> 8);
    r[kData + 6] = static_cast<std::uint8_t>(now.local.year & 0xFF);
    r[kData + 7] = now.local.month;
    r[kData + 8] = now.local.day;
    r[kData + 9] = now.local.hour;
    r[kData + 10] = now.local.minute;
    r[kData + 11] = now.local.second;
    for (int k = 0; k < 3; ++k) {
        const std::size_t at = kData + 12 + 9 * static_cast<std::size_t>(k);
        r[at] = params_.encoders[k].mode;
        putFloat(r, at + 1, position(k, now));
        putFloat(r, at + 5, velocity(k, now));
    }
    return r;
}

std::vector<Report> Instrument::poll(Instant now)
{
    const milliseconds interval{params_.sendInterval};
    const bool trig1 = trigger(0, now);
    bool due = false;
    switch (params_.transmissionMode) {
    case 0:
    case 1:
        if (params_.transmissionMode == 1 && !trig1) {
            lastSent_.reset(); // the first report comes as soon as the input turns active
            break;
        }
        if (!lastSent_ || now.elapsed - *lastSent_ >= interval) {
            // Keep the cadence through scheduling jitter (the late reports follow at once), but do not send a
            // burst to catch up after a long stall.
            constexpr milliseconds kJitter{50};
            if (lastSent_ && now.elapsed - *lastSent_ < interval + kJitter) {
                lastSent_ = *lastSent_ + interval;
            } else {
                if (lastSent_ && interval.count() > 0)
                    skipped_ += static_cast<std::uint64_t>((now.elapsed - *lastSent_) / interval) - 1;
                lastSent_ = now.elapsed;
            }
            due = true;
        }
        break;
    case 2:
        due = trig1 && !lastTrigger1_;
        break;
    default:
        break;
    }
    lastTrigger1_ = trig1;
    if (!due)
        return {};
    return {measurementReport(now)};
}

milliseconds Instrument::nextPollAt(Instant now) const
{
    constexpr milliseconds kTriggerScan{5};
    if (params_.transmissionMode == 0 || (params_.transmissionMode == 1 && lastSent_))
        return lastSent_ ? *lastSent_ + milliseconds{params_.sendInterval} : now.elapsed;
    return now.elapsed + kTriggerScan;
}

std::optional<Report> Instrument::configReply(std::uint8_t item, std::uint8_t channel) const
{
    Report r = blankReport(1);
    r[kData + 1] = item;
    r[kData + 2] = channel;
    const std::size_t body = kData + 3;
    switch (item) {
    case 5:
        r[body] = params_.transmissionMode;
        break;
    case 6:
        putLe32(r, body, static_cast<std::uint32_t>(params_.sendInterval));
        break;
    case 7:
        putLe32(r, body, static_cast<std::uint32_t>(params_.triggerFilter));
        break;
    case 8:
        for (std::size_t k = 0; k < 4; ++k) {
            const OutputRule &o = params_.outputs[k];
            r[body + 7 * k] = o.source;
            r[body + 7 * k + 1] = o.condition;
            r[body + 7 * k + 2] = o.state;
            putFloat(r, body + 7 * k + 3, o.threshold);
        }
        break;
    case 9: {
        if (channel > 2)
            return std::nullopt;
        const EncoderSettings &e = params_.encoders[channel];
        r[body] = e.mode;
        r[body + 1] = e.clearByIndex;
        putLe32(r, body + 2, static_cast<std::uint32_t>(e.gateTime));
        putLe32(r, body + 6, static_cast<std::uint32_t>(e.resolution));
        putFloat(r, body + 10, e.coeff);
        putFloat(r, body + 14, e.offset);
        break;
    }
    case 11:
        r[body] = params_.modbusAddress;
        break;
    case 12:
        r[body] = params_.modbusBaud;
        break;
    case 13:
        r[body] = params_.triggerMasterMode;
        break;
    case 14:
        if (channel > 2)
            return std::nullopt;
        r[body] = params_.triggerRegisterType[channel];
        break;
    case 15:
        for (std::size_t k = 0; k < 9; ++k)
            putBe32(r, body + 4 * k, params_.modbusStats[k]);
        break;
    case 17:
        r[body] = params_.dotPosition;
        break;
    case 18:
        r[body] = params_.redDisplay;
        break;
    case 19:
        r[body] = params_.greenDisplay;
        break;
    case 20:
        r[body] = params_.beeper;
        break;
    default:
        return std::nullopt; // write-only or unknown items have no reply
    }
    return r;
}

bool Instrument::applyWrite(std::uint8_t id, std::uint8_t channel, std::span<const std::uint8_t> value, Instant now)
{
    const bool perChannel = id <= 4 || id == 10 || id == 14 || id == 16;
    if (perChannel && channel > 2)
        return false;
    const std::size_t need = (id >= 1 && id <= 4) || id == 6 || id == 7 ? 4 : id == 8 ? 28 : id == 10 ? 0 : 1;
    if (value.size() < need)
        return false;
    const std::uint8_t b = need > 0 ? value[0] : 0;
    const std::int32_t i32 = need == 4 ? static_cast<std::int32_t>(getLe32(value)) : 0;
    const float f32 = need == 4 ? std::bit_cast<float>(getLe32(value)) : 0.0f;
    auto setByte = [&](std::uint8_t &field, std::uint8_t count) {
        if (!inRange(b, count))
            return false;
        field = b;
        return true;
    };
    auto setInt = [&](std::int32_t &field, std::int32_t lo, std::int32_t hi) {
        if (i32 < lo || i32 > hi)
            return false;
        field = i32;
        return true;
    };
    auto setReal = [&](float &field) {
        if (!std::isfinite(f32))
            return false;
        field = f32;
        return true;
    };
    EncoderSettings *enc = perChannel ? &params_.encoders[channel % 3] : nullptr;
    switch (id) {
    case 0:
        return setByte(enc->mode, 2);
    case 1:
        return setInt(enc->gateTime, 1, 65535);
    case 2:
        return setInt(enc->resolution, 1, 16383);
    case 3:
        return setReal(enc->coeff);
    case 4:
        return setReal(enc->offset);
    case 5:
        return setByte(params_.transmissionMode, 3);
    case 6:
        return setInt(params_.sendInterval, 1, 9999);
    case 7:
        return setInt(params_.triggerFilter, 0, 9999);
    case 8: {
        std::array<OutputRule, 4> rules{};
        for (std::size_t k = 0; k < 4; ++k) {
            const auto rec = value.subspan(7 * k, 7);
            const float threshold = std::bit_cast<float>(getLe32(rec.subspan(3)));
            // Condition and state mean nothing to a fixed source (0, 1), so any byte is kept there, as the
            // 0xFF of erased memory is.
            const bool compares = rec[0] >= 2;
            if (rec[0] > 7 || (compares && (rec[1] > 1 || rec[2] > 1)) || !std::isfinite(threshold))
                return false;
            rules[k] = OutputRule{rec[0], rec[1], rec[2], threshold};
        }
        params_.outputs = rules;
        return true;
    }
    case 10:
        countBase_[channel] = rawCounts(channel, now.elapsed);
        return true;
    case 11:
        if (b < 1 || b > 247)
            return false;
        params_.modbusAddress = b;
        return true;
    case 12:
        return setByte(params_.modbusBaud, 5);
    case 13:
        return setByte(params_.triggerMasterMode, 2);
    case 14:
        return setByte(params_.triggerRegisterType[channel], 6);
    case 16:
        return setByte(enc->clearByIndex, 2);
    case 17:
        return setByte(params_.dotPosition, 6);
    case 18:
        return setByte(params_.redDisplay, 2);
    case 19:
        return setByte(params_.greenDisplay, 11);
    case 20:
        return setByte(params_.beeper, 2);
    default:
        return false; // 9 and 15 are read-only; others do not exist
    }
}

std::vector<Report> Instrument::handleOutputReport(std::span<const std::uint8_t> report, Instant now)
{
    // report id, command, id/item, channel: anything shorter carries no request.
    if (report.size() < 4 || report[0] != kReportId)
        return {};
    const std::uint8_t command = report[1];
    const std::uint8_t id = report[2];
    const std::uint8_t channel = report[3];
    if (command == 1) {
        if (auto reply = configReply(id, channel))
            return {std::move(*reply)};
        return {};
    }
    if (command == 2 && applyWrite(id, channel, report.subspan(4), now)) {
        Report ack = blankReport(2);
        ack[kData + 1] = id;
        ack[kData + 2] = channel;
        return {ack};
    }
    return {};
}

} // namespace torvex::sim
