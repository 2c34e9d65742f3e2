#pragma once
// What every part of the program knows about the TORVEX itself: the name it gives as its USB product string and
// how many inputs and outputs it has.

#include <string_view>

namespace torvex {

// The product string of a TORVEX, exactly (letter case and blanks count).
inline constexpr std::u16string_view kInstrumentName = u"TORVEX";

inline constexpr int kEncoderCount = 3;
inline constexpr int kOutputCount = 4;  // transistor outputs OUT1..OUT4
inline constexpr int kTriggerCount = 2; // trigger inputs TRIG1, TRIG2

} // namespace torvex
