#include "panels/RemoteKeys.h"

namespace panels {

QByteArray keyCommandPacket(KeyCode code)
{
    QByteArray packet(11, '\0');
    packet[0] = char(0xFF);
    packet[1] = char(0xAA);
    packet[2] = char(0x55);
    packet[3] = char(code.group);
    packet[4] = char(code.command);
    packet[5] = char(code.parameter);
    // bytes 6 and 7 stay zero; the sum covers bytes 3..7
    const uint16_t sum = uint16_t(code.group + code.command + code.parameter);
    packet[8] = char(sum & 0xFF);
    packet[9] = char(sum >> 8);
    packet[10] = char(0xFF);
    return packet;
}

namespace {
constexpr uint8_t kKeys = 0x6B;
constexpr uint8_t kIrKey = 0x69;

const std::array<RemoteKeyInfo, kRemoteKeyCount> kRemoteKeys = {{
    {RemoteKey::HoldUp, "HOLDUP", ":/res/key_holdup.svg", {135, 368}, {29, 26}, {kKeys, 0x1E, 0}, false, {}},
    {RemoteKey::PowerOff, "POWEROFF", ":/res/key_poweroff.svg", {143, 578}, {24, 23}, {kKeys, 0x50, 0}, false, {}},
    {RemoteKey::MaxMinUp, "MAX/MINUP", ":/res/key_maxminup.svg", {58, 368}, {29, 26}, {kKeys, 0x0A, 0}, true,
     {kKeys, 0x0B, 0}},
    {RemoteKey::Irt, "IRT", ":/res/key_irt.svg", {99, 408}, {25, 25}, {kIrKey, 0x0A, 0}, false, {}},
    {RemoteKey::MaxMinDown, "MAXMIND", ":/res/key_maxmind.svg", {62, 502}, {41, 23}, {kKeys, 0x3C, 0}, true,
     {kKeys, 0x42, 0}},
    {RemoteKey::HoldDown, "HOLDD", ":/res/key_holdd.svg", {120, 504}, {38, 22}, {kKeys, 0x32, 0}, false, {}},
    {RemoteKey::Avg, "AVG", ":/res/key_avg.svg", {96, 367}, {30, 30}, {kKeys, 0x14, 0}, true, {kKeys, 0x16, 0}},
    {RemoteKey::Units, "UNITS", ":/res/key_units.svg", {89, 469}, {43, 24}, {kKeys, 0x28, 0}, true,
     {kKeys, 0x2C, 0}},
    // The AREA press carries its code in the parameter byte as well.
    {RemoteKey::Area, "AREA", ":/res/key_area.svg", {91, 535}, {38, 23}, {kKeys, 0x46, 0x46}, true,
     {kKeys, 0x4D, 0}},
}};
} // namespace

const std::array<RemoteKeyInfo, kRemoteKeyCount>& remoteKeys() { return kRemoteKeys; }

const RemoteKeyInfo& remoteKeyInfo(RemoteKey key) { return kRemoteKeys[size_t(key)]; }

} // namespace panels
