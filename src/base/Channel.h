#pragma once
// The five measured quantities and the display rules every consumer shares.
#include <array>
#include <cmath>

enum Channel : int { kAir = 0, kWb = 1, kDp = 2, kKir = 3, kRh = 4 };
inline constexpr int kChannelCount = 5;

// Capacity of every per-channel sample array; a run records at most
// kMaxRunSamples samples, the spare slots on top are never used.
inline constexpr int kMaxSamples = 10010;
inline constexpr int kMaxRunSamples = 10000;

// K/IR special values sent or stored by the meter link.
inline constexpr float kKirNoReading = -9000.0f;  // no K/IR sensor reading
inline constexpr float kKirMeterMissing = -1000.0f; // what the meter sends for "none"
inline constexpr float kKirDashesAtOrBelow = -1000.0f;
inline constexpr float kIrHigh = 505.0f, kIrLow = -55.0f;
inline constexpr float kTypeKHigh = 2501.0f, kTypeKLow = -148.0f;

using ChannelValues = std::array<float, kChannelCount>;

inline constexpr std::array<const char*, kChannelCount> kChannelLegend = {"AIR", "WB", "DP", "K/IR", "RH"};

// Temperatures are held in degrees C; a meter showing degrees F converts on
// output. RH is a percentage and never converted. Single precision, as the
// meter's own arithmetic.
inline float toDisplayUnit(float celsius, int channel, bool fahrenheit)
{
    if (!fahrenheit || channel == kRh)
        return celsius;
    return celsius * 1.8f + 32.0f;
}

// K/IR readings are cut to one decimal toward zero before display. The
// product is taken in single precision, as the reading itself is single:
// 0.7f * 10 is exactly 7, where the double product of 0.7f would be
// 6.99999988 and cut a tenth too far. A reading between -0.1 and 0 cuts to
// zero, not to a negative zero that would print as "-0.0".
inline double cutToTenth(float v) { return std::trunc(v * 10.0f) * 0.1 + 0.0; }

// Curve quantisation: to tenths, half away from zero.
inline double roundTenthAway(double v)
{
    return v >= 0 ? std::trunc((v + 0.05) * 10.0) * 0.1 : std::trunc((v - 0.05) * 10.0) * 0.1;
}
