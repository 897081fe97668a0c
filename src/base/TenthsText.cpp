#include "base/TenthsText.h"

#include <charconv>
#include <cmath>

namespace TenthsText {

namespace {

// Writes "<int>.<digit>" of a non-negative count of tenths.
int writeTenths(char* out, unsigned long long tenths)
{
    char digits[24];
    int n = 0;
    unsigned long long whole = tenths / 10;
    do {
        digits[n++] = char('0' + whole % 10);
        whole /= 10;
    } while (whole != 0);
    int len = 0;
    while (n > 0)
        out[len++] = digits[--n];
    out[len++] = '.';
    out[len++] = char('0' + tenths % 10);
    return len;
}

// Beyond this the count of tenths leaves the integers a double holds exactly.
constexpr double kLargest = 1e15;

} // namespace

int formatFloat(char* out, float v)
{
    const double scaled = double(v) * 10.0; // exact: 24 bits times 10 fit 53
    if (!std::isfinite(scaled) || std::fabs(scaled) >= kLargest)
        return formatDouble(out, double(v));
    // nearbyint rounds ties to even in the default rounding mode, as printf
    // does; the sign stays even when the result is zero ("-0.0").
    const double rounded = std::nearbyint(scaled);
    int len = 0;
    if (std::signbit(v))
        out[len++] = '-';
    return len + writeTenths(out + len, static_cast<unsigned long long>(std::fabs(rounded)));
}

int formatDouble(char* out, double v)
{
    // to_chars with a precision rounds exactly as printf does in the C
    // locale, and never looks at the process locale.
    const auto r = std::to_chars(out, out + kMaxLength, v, std::chars_format::fixed, 1);
    if (r.ec == std::errc())
        return int(r.ptr - out);
    return formatDouble(out, double(static_cast<float>(v)));
}

int formatWholeTenths(char* out, long long k)
{
    int len = 0;
    if (k < 0)
        out[len++] = '-';
    const unsigned long long magnitude = k < 0 ? 0ULL - static_cast<unsigned long long>(k) : static_cast<unsigned long long>(k);
    return len + writeTenths(out + len, magnitude);
}

} // namespace TenthsText
