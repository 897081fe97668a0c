#pragma once
// Decimal numbers in texts the user or a configuration file wrote, read the
// same way everywhere and independent of the process locale.
#include <QStringView>

namespace decimal {

// The leading decimal number of a text: optional blanks, sign, digits with
// an optional fraction and exponent ("12.5abc" -> 12.5, " -3e1x" -> -30).
// A text without such a number reads 0, and so do infinities, NaN, hex
// forms and a number too large for a double: they are not decimal numbers
// a limit can take.
double parseLeading(QStringView text);

} // namespace decimal
