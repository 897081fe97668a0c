#include "base/Psychrometry.h"

#include <algorithm>
#include <cmath>

namespace psychro {

double dewPoint(double airC, double rhPercent)
{
    constexpr double b = 17.62, c = 243.12;
    const double gamma = std::log(std::max(rhPercent, 0.1) / 100.0) + b * airC / (c + airC);
    return c * gamma / (b - gamma);
}

double wetBulb(double t, double rh)
{
    return t * std::atan(0.151977 * std::sqrt(rh + 8.313659)) + std::atan(t + rh) - std::atan(rh - 1.676331)
        + 0.00391838 * std::pow(rh, 1.5) * std::atan(0.023101 * rh) - 4.686035;
}

} // namespace psychro
