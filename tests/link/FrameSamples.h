#pragma once
// Meter frames the link tests feed: the documented example frame and a plain
// frame in infrared mode, degrees C, battery normal, PC-LINK.
#include "link/MeterProtocol.h"

#include <QByteArray>

inline const char* const kExampleFrame = "AA 61 64 6A 67 00 00 C0 00 00 00 C8 41 00 00 94 41 00 00 40 41 00 00 34 42 "
                                         "00 00 F0 41 00 00 C8 41 00 00 94 41 00 00 F0 41 00 00 00 67 00";

inline QByteArray hex(const char* text) { return QByteArray::fromHex(QByteArray(text).replace(' ', "")); }

inline QByteArray bytes(const meter::FrameBytes& f)
{
    return QByteArray(reinterpret_cast<const char*>(f.data()), meter::kFrameSize);
}

inline meter::MeterReading fields(float air = 20.0f, float kir = 25.0f)
{
    meter::MeterReading f;
    f.air = air;
    f.wb = 15.0f;
    f.dp = 10.0f;
    f.rh = 50.0f;
    f.kir = kir;
    f.lcd1 = air;
    f.lcd2 = 50.0f;
    f.lcd3 = kir;
    return f;
}
