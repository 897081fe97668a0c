#pragma once
// Readings written with one decimal, byte for byte what printf's "%.1f"
// writes, without printf: the export writes tens of thousands of them.
#include <cstddef>

namespace TenthsText {

// Room for any value this writes (printf's own "%.1f" of a float needs at
// most 48 characters with the terminator).
inline constexpr std::size_t kMaxLength = 48;

// "%.1f" of v. A float times ten is exact in a double, so rounding that
// product to the nearest integer, ties to even, is the rounding printf does
// on the float's exact value. Writes no terminator; returns the length.
int formatFloat(char* out, float v);

// k tenths, as "%.1f" of k / 10 (zero is "0.0", never "-0.0").
int formatWholeTenths(char* out, long long k);

} // namespace TenthsText
