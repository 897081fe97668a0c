#pragma once
// Readings written with one decimal, byte for byte what printf's "%.1f"
// writes in the C locale, without printf: the export writes tens of
// thousands of them, and a text made from a number reads the same under
// every locale (printf would write "22,5" under a German one).
#include <cstddef>

namespace TenthsText {

// Room for any value this writes (printf's own "%.1f" of a float needs at
// most 48 characters with the terminator).
inline constexpr std::size_t kMaxLength = 48;

// "%.1f" of v. A float times ten is exact in a double, so rounding that
// product to the nearest integer, ties to even, is the rounding printf does
// on the float's exact value. Writes no terminator; returns the length.
int formatFloat(char* out, float v);

// "%.1f" of a double that comes from a float reading (a float, its tenth
// cut toward zero, or a float moved by a twentieth): anything a float holds
// fits kMaxLength. A larger magnitude is written as the float nearest it
// would be ("inf"), which no reading reaches. Writes no terminator;
// returns the length.
int formatDouble(char* out, double v);

// k tenths, as "%.1f" of k / 10 (zero is "0.0", never "-0.0").
int formatWholeTenths(char* out, long long k);

} // namespace TenthsText
