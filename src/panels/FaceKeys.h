#pragma once
// Where the nine remote keys sit on the meter face, their sizes and their
// pictures. What each key sends is the meter protocol's business
// (meter::keyPressPacket / keyDoubleClickPacket).
#include "link/MeterProtocol.h"

#include <QPoint>
#include <QSize>
#include <array>

struct FaceKey {
    meter::RemoteKey key;
    const char* picture;  // resource path of the key's face
    QPoint position;      // top-left corner on the meter face
    QSize size;
    const char* name;     // what a screen reader calls it
};

// In the order of meter::RemoteKey.
inline const std::array<FaceKey, meter::kRemoteKeyCount>& faceKeys()
{
    using meter::RemoteKey;
    static const std::array<FaceKey, meter::kRemoteKeyCount> kKeys = {{
        {RemoteKey::HoldUp, ":/res/key_holdup.svg", {135, 368}, {29, 26}, "Hold, upper display"},
        {RemoteKey::PowerOff, ":/res/key_poweroff.svg", {143, 578}, {24, 23}, "Power off"},
        {RemoteKey::MaxMinUp, ":/res/key_maxminup.svg", {58, 368}, {29, 26}, "Max/Min, upper display"},
        {RemoteKey::Irt, ":/res/key_irt.svg", {99, 408}, {25, 25}, "Infrared or type K input"},
        {RemoteKey::MaxMinDown, ":/res/key_maxmind.svg", {62, 502}, {41, 23}, "Max/Min, lower display"},
        {RemoteKey::HoldDown, ":/res/key_holdd.svg", {120, 504}, {38, 22}, "Hold, lower display"},
        {RemoteKey::Avg, ":/res/key_avg.svg", {96, 367}, {30, 30}, "Average"},
        {RemoteKey::Units, ":/res/key_units.svg", {89, 469}, {43, 24}, "Units, \u00b0C or \u00b0F"},
        {RemoteKey::Area, ":/res/key_area.svg", {91, 535}, {38, 23}, "Area"},
    }};
    return kKeys;
}
