#pragma once
// A meter reading carrying given channel values (degrees C and percent), as
// a test that plays the meter hands it to the recorder: infrared input,
// battery normal, PC-LINK, the LCD showing AIR, RH and K/IR in the display
// unit.
#include "base/Channel.h"
#include "link/MeterProtocol.h"

inline meter::MeterReading readingOf(const ChannelValues& v, bool fahrenheit = false)
{
    meter::MeterReading r;
    r.air = v[kAir];
    r.wb = v[kWb];
    r.dp = v[kDp];
    r.kir = v[kKir];
    r.rh = v[kRh];
    r.flagsB = fahrenheit ? meter::kBFahrenheit : 0;
    r.lcd1 = toDisplayUnit(v[kAir], kAir, fahrenheit);
    r.lcd2 = v[kRh];
    r.lcd3 = toDisplayUnit(v[kKir], kKir, fahrenheit);
    return r;
}
