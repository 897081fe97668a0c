// Parsing a received frame into a reading: a pure function of the bytes,
// the inverse of the simulated meter's encoder. No run, no store.
#include "link/MeterProtocol.h"
#include "link/SimulatedMeter.h"
#include "FrameSamples.h"
#include "QtPrinters.h"

#include <gtest/gtest.h>
#include <cmath>
#include <cstring>
#include <limits>

using namespace meter;

namespace {

QByteArray bytesOf(const FrameBytes& f) { return bytes(f); }

// The float fields bit for bit (a negative zero is not a zero here).
void expectSameBits(const MeterReading& a, const MeterReading& b)
{
    EXPECT_EQ(bytesOf(encodeFrame(a)), bytesOf(encodeFrame(b)));
}

TEST(ParseFrame, TheDocumentedExampleFrame)
{
    const std::optional<MeterReading> r = parseFrame(hex(kExampleFrame));
    ASSERT_TRUE(r.has_value());
    EXPECT_EQ(r->air, 25.0f);
    EXPECT_EQ(r->wb, 18.5f);
    EXPECT_EQ(r->dp, 12.0f);
    EXPECT_EQ(r->rh, 45.0f);
    EXPECT_EQ(r->kir, 30.0f);
    EXPECT_EQ(r->lcd1, 25.0f);
    EXPECT_EQ(r->lcd2, 18.5f);
    EXPECT_EQ(r->lcd3, 30.0f);
    EXPECT_EQ(r->rangeMarker, 0);
    EXPECT_EQ(r->flagsA, kABatteryNormal | kAPcLink);
    EXPECT_EQ(r->flagsB, 0);
    EXPECT_FALSE(r->fahrenheit());
    EXPECT_FALSE(r->typeK());
    EXPECT_FALSE(r->irInactive());
    EXPECT_FALSE(r->backlight());
    EXPECT_TRUE(r->batteryNormal());
}

TEST(ParseFrame, SimulatedMetersFramesRoundTrip)
{
    // The simulated meter in each of its starting states, a few frames of
    // each: bytes -> reading -> bytes gives the same bytes, and the reading
    // carries what the meter was set to.
    struct Case {
        const char* what;
        SimulatedMeterOptions options;
        bool fahrenheit, typeK, battery;
        uint8_t marker;
        float kir;  // NaN: the simulated surface temperature
    };
    auto opts = [](bool f, bool k, bool lowBattery, float kir) {
        SimulatedMeterOptions o;
        o.fahrenheit = f;
        o.typeK = k;
        o.batteryLow = lowBattery;
        o.fixedKir = kir;
        return o;
    };
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const Case cases[] = {
        {"celsius, infrared", opts(false, false, false, nan), false, false, true, 0, nan},
        {"fahrenheit", opts(true, false, false, nan), true, false, true, 0, nan},
        {"type-K, low battery", opts(false, true, true, nan), false, true, false, 0, nan},
        {"no probe", opts(false, false, false, -1000.0f), false, false, true, 0, -1000.0f},
        {"type-K over range", opts(false, true, false, 3000.0f), false, true, true, kRangeHigh, 3000.0f},
        {"infrared under range", opts(true, false, false, -60.0f), true, false, true, kRangeLow, -60.0f},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SimulatedMeter sim(c.options);
        for (int i = 0; i < 3; ++i) {
            const FrameBytes frame = sim.currentFrame();
            const std::optional<MeterReading> r = parseFrame(bytesOf(frame));
            ASSERT_TRUE(r.has_value());
            EXPECT_EQ(bytesOf(encodeFrame(*r)), bytesOf(frame));
            EXPECT_EQ(r->fahrenheit(), c.fahrenheit);
            EXPECT_EQ(r->typeK(), c.typeK);
            EXPECT_EQ(r->batteryNormal(), c.battery);
            EXPECT_EQ(r->rangeMarker, c.marker);
            EXPECT_TRUE((r->flagsA & kAPcLink) != 0);
            if (!std::isnan(c.kir)) {
                EXPECT_EQ(r->kir, c.kir);
            }
            // Room readings with consistent psychrometrics, in degrees C.
            EXPECT_GT(r->air, 15.0f);
            EXPECT_LT(r->air, 30.0f);
            EXPECT_LT(r->dp, r->wb);
            EXPECT_LT(r->wb, r->air);
        }
    }
}

TEST(ParseFrame, ReadingsRoundTripThroughTheEncoder)
{
    // reading -> bytes -> reading, bit for bit, whatever the fields hold.
    auto reading = [](uint8_t marker, uint8_t a, uint8_t b, float v, float k) {
        MeterReading r;
        r.rangeMarker = marker;
        r.flagsA = a;
        r.flagsB = b;
        r.air = v;
        r.wb = v - 4.5f;
        r.dp = v - 9.25f;
        r.rh = 45.0f;
        r.kir = k;
        r.lcd1 = v;
        r.lcd2 = 45.0f;
        r.lcd3 = k;
        return r;
    };
    const float inf = std::numeric_limits<float>::infinity();
    const MeterReading cases[] = {
        reading(0, 0, 0, 0.0f, 0.0f),
        reading(0, 0xFF, 0xFF, -0.0f, -0.0f),
        reading(kRangeHigh, kAMax | kAHold, kBTypeK | kBFahrenheit, 22.5f, 2501.0f),
        reading(kRangeLow, kAMin | kADp, kBIrInactive | kBBacklight, -40.0f, -55.0f),
        reading(0x05, kAWb | kARec, kBMin | kBRec | kBHold, 1e-40f, -1000.0f),
        reading(0xFF, kABatteryNormal, kBMax, std::numeric_limits<float>::max(), -inf),
        reading(0x9B, kAPcLink, 0, std::numeric_limits<float>::lowest(), inf),
    };
    for (const MeterReading& r : cases) {
        SCOPED_TRACE(bytesOf(encodeFrame(r)).toHex(' ').toStdString());
        const std::optional<MeterReading> back = parseFrame(bytesOf(encodeFrame(r)));
        ASSERT_TRUE(back.has_value());
        EXPECT_EQ(*back, r);
        expectSameBits(*back, r);
    }
    // NaN compares unequal to itself, but its bits survive.
    MeterReading n = reading(0, 0, 0, 20.0f, 20.0f);
    n.kir = std::numeric_limits<float>::quiet_NaN();
    const std::optional<MeterReading> back = parseFrame(bytesOf(encodeFrame(n)));
    ASSERT_TRUE(back.has_value());
    EXPECT_TRUE(std::isnan(back->kir));
    expectSameBits(*back, n);
}

TEST(ParseFrame, BadBuffersGiveNoReading)
{
    const QByteArray good = hex(kExampleFrame);
    auto with = [&](int offset, char value) {
        QByteArray b = good;
        b[offset] = value;
        return b;
    };
    const std::pair<const char*, QByteArray> cases[] = {
        {"empty", QByteArray()},
        {"one byte short", good.left(45)},
        {"header only", good.left(5)},
        {"header byte 0", with(0, char(0xAB))},
        {"header byte 1", with(1, 'A')},
        {"header byte 2", with(2, 'x')},
        {"header byte 3", with(3, 'J')},
        {"header byte 4", with(4, 'h')},
        {"trailer", with(44, 0)},
        {"a stray byte before the frame", QByteArray(1, '\0') + good},
        {"header of a frame that never came", hex("AA 61 64 6A 68") + QByteArray(41, '\0')},
        {"garbage", QByteArray("garbage")},
        {"a command packet", wakePacket()},
    };
    for (const auto& [what, b] : cases) {
        SCOPED_TRACE(what);
        EXPECT_FALSE(parseFrame(b).has_value());
        EXPECT_FALSE(parseFrame(std::span(reinterpret_cast<const uint8_t*>(b.constData()), size_t(b.size())))
                         .has_value());
    }
}

TEST(ParseFrame, OnlyTheHeaderTrailerAndFieldsAreRead)
{
    // Bytes 5, 41..43 and 45 carry nothing, and what follows the frame in
    // the same buffer is not part of it.
    const QByteArray good = hex(kExampleFrame);
    const MeterReading expected = *parseFrame(good);
    QByteArray noisy = good;
    for (int offset : {5, 41, 42, 43, 45})
        noisy[offset] = char(0x5A + offset);
    const std::pair<const char*, QByteArray> cases[] = {
        {"unused bytes set", noisy},
        {"two frames", good + bytes(encodeFrame(fields(35.0f)))},
        {"trailing noise", good + QByteArray("xyz")},
    };
    for (const auto& [what, b] : cases) {
        SCOPED_TRACE(what);
        const std::optional<MeterReading> r = parseFrame(b);
        ASSERT_TRUE(r.has_value());
        EXPECT_EQ(*r, expected);
    }
}

TEST(ParseFrame, IsPure)
{
    // The same bytes give the same reading, whatever came before them.
    const QByteArray a = bytes(encodeFrame(fields(21.0f, 31.0f)));
    MeterReading held = fields(22.0f, 45.0f);
    held.flagsB = kBIrInactive;
    const QByteArray b = bytes(encodeFrame(held));
    const MeterReading first = *parseFrame(b);
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(parseFrame(a).has_value());
        EXPECT_EQ(*parseFrame(b), first);
    }
    EXPECT_EQ(first.kir, 45.0f) << "a held infrared reading is passed on as sent";
}

} // namespace
