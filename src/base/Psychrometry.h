#pragma once
// Wet bulb and dew point from air temperature and relative humidity, as the
// meter derives them (degrees C, percent RH).
namespace psychro {

// Magnus formula; a humidity below 0.1 % counts as 0.1 %.
double dewPoint(double airC, double rhPercent);
// Stull's empirical wet-bulb formula (sea-level pressure, RH 5..99 %).
double wetBulb(double airC, double rhPercent);

} // namespace psychro
