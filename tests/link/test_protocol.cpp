// Command packets, remote key codes and frame checks.
#include "link/MeterProtocol.h"
#include "FrameSamples.h"
#include "QtPrinters.h"

#include <gtest/gtest.h>

using namespace meter;

namespace {

TEST(Protocol, PollAndWakePackets)
{
    EXPECT_EQ(pollPacket(), hex("11"));
    EXPECT_EQ(wakePacket(), hex("FF AA 55 63 63 00 00 00 C6 00 FF"));
}

TEST(Protocol, ChecksumCarriesIntoHighByte)
{
    // 0xFF + 0xFF + 0xFF = 0x02FD: low byte first.
    EXPECT_EQ(toByteArray(commandPacket(0xFF, 0xFF, 0xFF)), hex("FF AA 55 FF FF FF 00 00 FD 02 FF"));
}

struct KeyCase {
    RemoteKey key;
    const char* press;
    const char* doubleClick; // "" when the key has none
};

TEST(Protocol, RemoteKeyPackets)
{
    const KeyCase cases[] = {
        {RemoteKey::HoldUp, "FF AA 55 6B 1E 00 00 00 89 00 FF", ""},
        {RemoteKey::PowerOff, "FF AA 55 6B 50 00 00 00 BB 00 FF", ""},
        {RemoteKey::MaxMinUp, "FF AA 55 6B 0A 00 00 00 75 00 FF", "FF AA 55 6B 0B 00 00 00 76 00 FF"},
        {RemoteKey::Irt, "FF AA 55 69 0A 00 00 00 73 00 FF", ""},
        {RemoteKey::MaxMinDown, "FF AA 55 6B 3C 00 00 00 A7 00 FF", "FF AA 55 6B 42 00 00 00 AD 00 FF"},
        {RemoteKey::HoldDown, "FF AA 55 6B 32 00 00 00 9D 00 FF", ""},
        {RemoteKey::Avg, "FF AA 55 6B 14 00 00 00 7F 00 FF", "FF AA 55 6B 16 00 00 00 81 00 FF"},
        {RemoteKey::Units, "FF AA 55 6B 28 00 00 00 93 00 FF", "FF AA 55 6B 2C 00 00 00 97 00 FF"},
        {RemoteKey::Area, "FF AA 55 6B 46 46 00 00 F7 00 FF", "FF AA 55 6B 4D 00 00 00 B8 00 FF"},
    };
    for (const KeyCase& c : cases) {
        SCOPED_TRACE(remoteKeyInfo(c.key).controlText);
        EXPECT_EQ(keyPressPacket(c.key), hex(c.press));
        EXPECT_EQ(keyDoubleClickPacket(c.key), hex(c.doubleClick));
        const QByteArray p = keyPressPacket(c.key);
        EXPECT_TRUE(isCommandPacket(reinterpret_cast<const uint8_t*>(p.constData()), p.size()));
    }
}

TEST(Protocol, CommandPacketRecognition)
{
    QByteArray p = wakePacket();
    auto check = [](const QByteArray& b) {
        return isCommandPacket(reinterpret_cast<const uint8_t*>(b.constData()), static_cast<int>(b.size()));
    };
    EXPECT_TRUE(check(p));
    EXPECT_FALSE(check(p.left(10)));
    p[8] = char(0xC7); // checksum off by one
    EXPECT_FALSE(check(p));
}

TEST(Protocol, FrameValidityLooksAtHeaderAndTrailerOnly)
{
    FrameBytes f = encodeFrame({});
    const auto* d = f.data();
    EXPECT_TRUE(isValidFrame(d, kFrameSize));
    EXPECT_FALSE(isValidFrame(d, kFrameSize - 1));
    f[45] = 0x12;
    f[5] = 0x34;
    EXPECT_TRUE(isValidFrame(d, kFrameSize));
    f[44] = 0x66;
    EXPECT_FALSE(isValidFrame(d, kFrameSize));
    f = encodeFrame({});
    f[3] = 0x6B;
    EXPECT_FALSE(isValidFrame(d, kFrameSize));
}

TEST(Protocol, WireTimeOfAFrame)
{
    EXPECT_EQ(wireTimeMs(kFrameSize), 96); // 460 bits at 4800 baud
}

} // namespace
