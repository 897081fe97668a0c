#pragma once
// The bytes exchanged with the meter: the one-byte poll, the 11-byte command
// packets (wake and remote keys) and the layout of the 46-byte reply frame.
#include <QByteArray>
#include <array>
#include <cstdint>
#include <optional>
#include <span>

namespace meter {

// Sent once per second after each good reply.
inline constexpr uint8_t kPollByte = 0x11;
QByteArray pollPacket();

// Host-to-meter command: FF AA 55, group, command, parameter, 00 00,
// 16-bit sum of bytes 3..7 (low byte first), FF.
inline constexpr int kCommandPacketSize = 11;
using CommandBytes = std::array<uint8_t, kCommandPacketSize>;
CommandBytes commandPacket(uint8_t group, uint8_t command, uint8_t parameter);
QByteArray toByteArray(const CommandBytes& packet);
// True when `data` holds a well-formed command packet (lead-in, checksum,
// trailer) at its start.
bool isCommandPacket(const uint8_t* data, int size);

// Sent as the last step of every port open: codes 63 63 00.
inline constexpr uint8_t kWakeGroup = 0x63, kWakeCommand = 0x63;
QByteArray wakePacket();

// Remote keys of the virtual meter face.
enum class RemoteKey : int {
    HoldUp,    // "HOLDUP"
    PowerOff,  // "POWEROFF"
    MaxMinUp,  // "MAX/MINUP"
    Irt,       // "IRT"
    MaxMinDown,// "MAXMIND"
    HoldDown,  // "HOLDD"
    Avg,       // "AVG"
    Units,     // "UNITS"
    Area,      // "AREA"
};
inline constexpr int kRemoteKeyCount = 9;

struct KeyCodes {
    uint8_t group, command, parameter;
};

struct RemoteKeyInfo {
    RemoteKey key;
    int controlId;
    const char* controlText;
    KeyCodes press;
    bool hasDoubleClick;
    KeyCodes doubleClick;
};

const std::array<RemoteKeyInfo, kRemoteKeyCount>& remoteKeys();
const RemoteKeyInfo& remoteKeyInfo(RemoteKey key);
QByteArray keyPressPacket(RemoteKey key);
// Empty for keys without a double-click code.
QByteArray keyDoubleClickPacket(RemoteKey key);

// Reply frame layout.
inline constexpr int kFrameSize = 46;
inline constexpr uint8_t kFrameHeader[5] = {0xAA, 0x61, 0x64, 0x6A, 0x67};
inline constexpr int kOffRangeMarker = 6;
inline constexpr int kOffFlagsA = 7;
inline constexpr int kOffFlagsB = 8;
inline constexpr int kOffAir = 9, kOffWb = 13, kOffDp = 17, kOffRh = 21, kOffKir = 25;
inline constexpr int kOffLcd1 = 29, kOffLcd2 = 33, kOffLcd3 = 37;
inline constexpr int kOffTrailer = 44;
inline constexpr uint8_t kTrailer = 0x67;
inline constexpr uint8_t kRangeHigh = 0x64, kRangeLow = 0x9C;

// Flags A (byte 7).
inline constexpr uint8_t kAMax = 0x01, kAMin = 0x02, kAWb = 0x04, kADp = 0x08, kAHold = 0x10, kARec = 0x20,
                         kABatteryNormal = 0x40, kAPcLink = 0x80;
// Flags B (byte 8).
inline constexpr uint8_t kBMax = 0x01, kBMin = 0x02, kBHold = 0x04, kBRec = 0x08, kBTypeK = 0x10,
                         kBFahrenheit = 0x20, kBBacklight = 0x40, kBIrInactive = 0x80;

// Where a frame can start in received bytes: the first complete header, or
// else the longest tail that could be the beginning of one (a header split
// across two reads); the bytes before it are line noise.
qsizetype frameStart(const uint8_t* data, qsizetype size);

// Header and trailer checks of a buffer; fewer than kFrameSize bytes are
// never a frame.
bool isValidFrame(const uint8_t* data, qsizetype size);
inline bool isValidFrame(const QByteArray& b)
{
    return isValidFrame(reinterpret_cast<const uint8_t*>(b.constData()), b.size());
}

// Little-endian IEEE-754 single at `offset`.
float readFloat(const uint8_t* frame, int offset);
void writeFloat(uint8_t* frame, int offset, float value);

// One reply frame as a value: everything the meter sends in it, as sent
// (flag bytes, range marker, readings in degrees C and percent, the three
// LCD values in the meter's display unit). The simulated meter encodes one;
// parseFrame() is the inverse. What the program makes of a reading over
// time (K/IR fixes, texts, extremes, alarms) belongs to the run, not here.
struct MeterReading {
    uint8_t rangeMarker = 0;
    uint8_t flagsA = kABatteryNormal | kAPcLink;
    uint8_t flagsB = 0;
    float air = 0, wb = 0, dp = 0, rh = 0, kir = 0;
    float lcd1 = 0, lcd2 = 0, lcd3 = 0;

    bool fahrenheit() const { return (flagsB & kBFahrenheit) != 0; }
    bool typeK() const { return (flagsB & kBTypeK) != 0; }
    // In infrared mode the meter holds its last value.
    bool irInactive() const { return (flagsB & kBIrInactive) != 0; }
    bool backlight() const { return (flagsB & kBBacklight) != 0; }
    bool batteryNormal() const { return (flagsA & kABatteryNormal) != 0; }

    bool operator==(const MeterReading&) const = default;
};
using FrameBytes = std::array<uint8_t, kFrameSize>;
FrameBytes encodeFrame(const MeterReading& f);

// The reading of the frame at the start of `bytes`: none when fewer than
// kFrameSize bytes are given or the header or trailer is wrong (no other
// byte is examined, and bytes after the frame are ignored). Pure: the same
// bytes always give the same reading. Finding the header in a stream of
// received bytes is the link's job (frameStart).
std::optional<MeterReading> parseFrame(std::span<const uint8_t> bytes);
std::optional<MeterReading> parseFrame(const QByteArray& bytes);

// Wire time of `bytes` at 4800 baud, 8N1 (10 bits a byte), rounded up.
inline constexpr int wireTimeMs(int bytes, int baud = 4800) { return (bytes * 10 * 1000 + baud - 1) / baud; }

} // namespace meter
