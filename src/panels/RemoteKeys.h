#pragma once
// The nine remote keys of the meter face: where they sit on the picture,
// their sizes and the command packets they send. Window-free, so the packet
// bytes can be checked without a screen and reused by the command-line tool.
//
// The packet builder here mirrors the meter link's CommandPacket form
// (lead-in FF AA 55, three codes, two zero bytes, 16-bit sum of bytes 3..7
// low byte first, trailer FF); the two can be folded into one helper.
#include <QByteArray>
#include <QPoint>
#include <QSize>

#include <array>
#include <cstdint>

namespace panels {

struct KeyCode {
    uint8_t group = 0;
    uint8_t command = 0;
    uint8_t parameter = 0;
};

// One 11-byte host-to-meter packet carrying the given codes.
QByteArray keyCommandPacket(KeyCode code);

enum class RemoteKey : int { HoldUp, PowerOff, MaxMinUp, Irt, MaxMinDown, HoldDown, Avg, Units, Area };
inline constexpr int kRemoteKeyCount = 9;

struct RemoteKeyInfo {
    RemoteKey key;
    const char* controlText;  // name of the key ("UP"/"D": upper/lower display)
    const char* picture;      // resource path of the key's face
    QPoint position;          // top-left corner on the meter face
    QSize size;
    KeyCode press;
    bool hasDoubleClick;
    KeyCode doubleClick;
};

const std::array<RemoteKeyInfo, kRemoteKeyCount>& remoteKeys();
const RemoteKeyInfo& remoteKeyInfo(RemoteKey key);

} // namespace panels
