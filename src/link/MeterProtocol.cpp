#include "link/MeterProtocol.h"

#include <algorithm>
#include <cstring>

namespace meter {

QByteArray pollPacket()
{
    return QByteArray(1, static_cast<char>(kPollByte));
}

CommandBytes commandPacket(uint8_t group, uint8_t command, uint8_t parameter)
{
    CommandBytes p {0xFF, 0xAA, 0x55, group, command, parameter, 0x00, 0x00, 0x00, 0x00, 0xFF};
    uint16_t sum = 0;
    for (int i = 3; i <= 7; ++i)
        sum = static_cast<uint16_t>(sum + p[i]);
    p[8] = static_cast<uint8_t>(sum & 0xFF);
    p[9] = static_cast<uint8_t>(sum >> 8);
    return p;
}

QByteArray toByteArray(const CommandBytes& packet)
{
    return QByteArray(reinterpret_cast<const char*>(packet.data()), kCommandPacketSize);
}

bool isCommandPacket(const uint8_t* data, int size)
{
    if (size < kCommandPacketSize || data[0] != 0xFF || data[1] != 0xAA || data[2] != 0x55 || data[10] != 0xFF)
        return false;
    const CommandBytes expected = commandPacket(data[3], data[4], data[5]);
    return std::memcmp(expected.data(), data, kCommandPacketSize) == 0;
}

QByteArray wakePacket()
{
    return toByteArray(commandPacket(kWakeGroup, kWakeCommand, 0x00));
}

const std::array<RemoteKeyInfo, kRemoteKeyCount>& remoteKeys()
{
    static constexpr std::array<RemoteKeyInfo, kRemoteKeyCount> kKeys {{
        {RemoteKey::HoldUp, 1044, "HOLDUP", {0x6B, 0x1E, 0x00}, false, {}},
        {RemoteKey::PowerOff, 1045, "POWEROFF", {0x6B, 0x50, 0x00}, false, {}},
        {RemoteKey::MaxMinUp, 1046, "MAX/MINUP", {0x6B, 0x0A, 0x00}, true, {0x6B, 0x0B, 0x00}},
        {RemoteKey::Irt, 1047, "IRT", {0x69, 0x0A, 0x00}, false, {}},
        {RemoteKey::MaxMinDown, 1048, "MAXMIND", {0x6B, 0x3C, 0x00}, true, {0x6B, 0x42, 0x00}},
        {RemoteKey::HoldDown, 1049, "HOLDD", {0x6B, 0x32, 0x00}, false, {}},
        {RemoteKey::Avg, 1052, "AVG", {0x6B, 0x14, 0x00}, true, {0x6B, 0x16, 0x00}},
        {RemoteKey::Units, 1055, "UNITS", {0x6B, 0x28, 0x00}, true, {0x6B, 0x2C, 0x00}},
        // The AREA press carries 0x46 as both command and parameter.
        {RemoteKey::Area, 1056, "AREA", {0x6B, 0x46, 0x46}, true, {0x6B, 0x4D, 0x00}},
    }};
    return kKeys;
}

const RemoteKeyInfo& remoteKeyInfo(RemoteKey key)
{
    return remoteKeys()[static_cast<size_t>(key)];
}

QByteArray keyPressPacket(RemoteKey key)
{
    const KeyCodes& c = remoteKeyInfo(key).press;
    return toByteArray(commandPacket(c.group, c.command, c.parameter));
}

QByteArray keyDoubleClickPacket(RemoteKey key)
{
    const RemoteKeyInfo& info = remoteKeyInfo(key);
    if (!info.hasDoubleClick)
        return {};
    return toByteArray(commandPacket(info.doubleClick.group, info.doubleClick.command, info.doubleClick.parameter));
}

qsizetype frameStart(const uint8_t* data, qsizetype size)
{
    constexpr qsizetype kHeader = qsizetype(sizeof kFrameHeader);
    for (qsizetype at = 0; at < size; ++at) {
        const qsizetype n = std::min(kHeader, size - at);
        if (std::memcmp(data + at, kFrameHeader, size_t(n)) == 0)
            return at;
    }
    return size;
}

bool isValidFrame(const uint8_t* data, qsizetype size)
{
    if (size < kFrameSize)
        return false;
    return std::memcmp(data, kFrameHeader, sizeof kFrameHeader) == 0 && data[kOffTrailer] == kTrailer;
}

float readFloat(const uint8_t* frame, int offset)
{
    const uint32_t bits = static_cast<uint32_t>(frame[offset]) | (static_cast<uint32_t>(frame[offset + 1]) << 8)
        | (static_cast<uint32_t>(frame[offset + 2]) << 16) | (static_cast<uint32_t>(frame[offset + 3]) << 24);
    float v;
    std::memcpy(&v, &bits, sizeof v);
    return v;
}

void writeFloat(uint8_t* frame, int offset, float value)
{
    uint32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    for (int i = 0; i < 4; ++i)
        frame[offset + i] = static_cast<uint8_t>(bits >> (8 * i));
}

FrameBytes encodeFrame(const MeterReading& f)
{
    FrameBytes b {};
    std::memcpy(b.data(), kFrameHeader, sizeof kFrameHeader);
    b[kOffRangeMarker] = f.rangeMarker;
    b[kOffFlagsA] = f.flagsA;
    b[kOffFlagsB] = f.flagsB;
    writeFloat(b.data(), kOffAir, f.air);
    writeFloat(b.data(), kOffWb, f.wb);
    writeFloat(b.data(), kOffDp, f.dp);
    writeFloat(b.data(), kOffRh, f.rh);
    writeFloat(b.data(), kOffKir, f.kir);
    writeFloat(b.data(), kOffLcd1, f.lcd1);
    writeFloat(b.data(), kOffLcd2, f.lcd2);
    writeFloat(b.data(), kOffLcd3, f.lcd3);
    b[kOffTrailer] = kTrailer;
    return b;
}

std::optional<MeterReading> parseFrame(std::span<const uint8_t> bytes)
{
    const uint8_t* f = bytes.data();
    if (!isValidFrame(f, qsizetype(bytes.size())))
        return std::nullopt;
    MeterReading r;
    r.rangeMarker = f[kOffRangeMarker];
    r.flagsA = f[kOffFlagsA];
    r.flagsB = f[kOffFlagsB];
    r.air = readFloat(f, kOffAir);
    r.wb = readFloat(f, kOffWb);
    r.dp = readFloat(f, kOffDp);
    r.rh = readFloat(f, kOffRh);
    r.kir = readFloat(f, kOffKir);
    r.lcd1 = readFloat(f, kOffLcd1);
    r.lcd2 = readFloat(f, kOffLcd2);
    r.lcd3 = readFloat(f, kOffLcd3);
    return r;
}

std::optional<MeterReading> parseFrame(const QByteArray& bytes)
{
    return parseFrame(std::span(reinterpret_cast<const uint8_t*>(bytes.constData()), size_t(bytes.size())));
}

} // namespace meter
