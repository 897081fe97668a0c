// Folding received buffers into the run, as the recorder does (parse, then
// fold): values, LCD texts, K/IR limits, extremes, alarms and run state, as
// tables of received buffers.
#include "link/MeterProtocol.h"
#include "recorder/ReadingFold.h"
#include "FrameSamples.h"
#include "QtPrinters.h"

#include <gtest/gtest.h>
#include <clocale>
#include <cstdio>
#include <memory>
#include <string>

using namespace meter;

namespace {

// What one received buffer did.
struct Fed {
    bool valid = false;
    bool runStarted = false;
    bool lcdChanged = false;
    bool alarmsChanged = false;
};

class Decoder : public ::testing::Test {
protected:
    RunState run;
    std::unique_ptr<LiveSeries> live = std::make_unique<LiveSeries>();
    ReadingFold fold {run, *live};
    AlarmLimits limits;
    int lastSlot = 0;
    const AlarmFlags& alarms = fold.readout().alarms;
    const std::array<bool, kChannelCount>& hi = alarms.high;
    const std::array<bool, kChannelCount>& low = alarms.low;

    Fed feed(const QByteArray& b, int64_t now = 1000)
    {
        const std::optional<MeterReading> r = parseFrame(b);
        if (!r) {
            fold.foldInvalid();
            return {};
        }
        const ReadingUpdate u = fold.fold(*r, now, limits);
        EXPECT_EQ(u.reading, *r);
        EXPECT_EQ(u.time, now);
        for (int c = 0; c < kChannelCount; ++c)
            EXPECT_EQ(u.values[size_t(c)], live->at(c, u.slot)) << "the update carries what was stored";
        lastSlot = u.slot;
        return {true, u.runStarted, u.lcdChanged, u.alarmsChanged};
    }
    Fed feed(const MeterReading& f) { return feed(bytes(encodeFrame(f))); }
    float slot(int channel) const { return live->at(channel, lastSlot); }
    const DisplayTexts& lcd() const { return fold.readout().lcd; }
    const MinMaxTexts& minMax() const { return fold.readout().minMax; }
    const QString& battery() const { return fold.readout().battery; }
};

TEST_F(Decoder, ExampleFrame)
{
    const Fed r = feed(hex(kExampleFrame));
    ASSERT_TRUE(r.valid);
    EXPECT_EQ(slot(kAir), 25.0f);
    EXPECT_EQ(slot(kWb), 18.5f);
    EXPECT_EQ(slot(kDp), 12.0f);
    EXPECT_EQ(slot(kRh), 45.0f);
    EXPECT_EQ(slot(kKir), 30.0f);
    EXPECT_EQ(lcd().unitMark, "C");
    EXPECT_EQ(run.m_strUnit, "C");
    EXPECT_FALSE(run.m_bFahrenheit);
    EXPECT_EQ(lcd().link, "PC-LINK");
    EXPECT_EQ(battery(), "Normal");
    EXPECT_EQ(lcd().mode, "IRTEMP");
    EXPECT_EQ(lcd().value1, "25.0");
    EXPECT_EQ(lcd().value2, "18.5");
    EXPECT_EQ(lcd().value3, "29.9");
    EXPECT_EQ(lcd().maxMinA, "   ");
    EXPECT_EQ(lcd().holdB, "    ");
    EXPECT_EQ(lcd().recordA, "     ");
    EXPECT_EQ(lcd().wbDp, "  ");
    EXPECT_FALSE(lcd().backlight);
    EXPECT_EQ(minMax().max[kRh], "45.0 %RH");
    EXPECT_EQ(minMax().min[kAir], "25.0C");
    EXPECT_FALSE(run.m_bNoLink);
    EXPECT_TRUE(run.m_bNewFrame);
    EXPECT_TRUE(run.m_bRunEnabled);
}

TEST_F(Decoder, InvalidBuffersAreNotDecoded)
{
    const QByteArray good = hex(kExampleFrame);
    QByteArray wrongHeader = good;
    wrongHeader[2] = 'x';
    QByteArray wrongTrailer = good;
    wrongTrailer[44] = 0;
    QByteArray leadByte = QByteArray(1, '\0') + good;
    const QByteArray cases[] = {QByteArray(), good.left(45), good.left(5), wrongHeader, wrongTrailer, leadByte};
    for (const QByteArray& b : cases) {
        SCOPED_TRACE(b.toHex(' ').toStdString());
        const Fed r = feed(b);
        EXPECT_FALSE(r.valid);
        EXPECT_FALSE(r.lcdChanged);
        EXPECT_TRUE(run.m_bNoLink);
        EXPECT_FALSE(run.m_bNewFrame);
        EXPECT_FALSE(run.m_bRunEnabled);
        EXPECT_TRUE(lcd().value1.isEmpty());
        EXPECT_TRUE(minMax().max[kAir].isEmpty());
    }
}

TEST_F(Decoder, TwoFramesInOneBufferDecodeTheFirstOnly)
{
    const QByteArray both = bytes(encodeFrame(fields(21.0f))) + bytes(encodeFrame(fields(35.0f)));
    ASSERT_TRUE(feed(both).valid);
    EXPECT_EQ(slot(kAir), 21.0f);
    EXPECT_EQ(minMax().max[kAir], "21.0C");
}

TEST_F(Decoder, IndicatorTexts)
{
    struct Case {
        uint8_t a, b;
        const char *maxMinA, *maxMinB, *holdA, *holdB, *recA, *recB, *link, *wbDp, *mode, *battery;
        bool backlight;
    };
    const Case cases[] = {
        {0x00, 0x00, "   ", "   ", "    ", "    ", "     ", "     ", "       ", "  ", "IRTEMP", "Low", false},
        {kAMax, kBMax, "MAX", "MAX", "    ", "    ", "     ", "     ", "       ", "  ", "IRTEMP", "Low", false},
        {kAMax | kAMin, kBMax | kBMin, "     MIN", "      MIN", "    ", "    ", "     ", "     ", "       ", "  ",
            "IRTEMP", "Low", false},
        {kAHold | kARec | kAPcLink | kABatteryNormal, kBHold | kBRec, "   ", "   ", "HOLD", "HOLD", "REC", "REC",
            "PC-LINK", "  ", "IRTEMP", "Normal", false},
        {kAWb, kBTypeK, "   ", "   ", "    ", "    ", "     ", "     ", "       ", "WB", "     TYPE-K", "Low", false},
        {kAWb | kADp, kBBacklight, "   ", "   ", "    ", "    ", "     ", "     ", "       ", "DP", "IRTEMP", "Low",
            true},
        {0x00, kBIrInactive, "   ", "   ", "    ", "    ", "     ", "     ", "       ", "  ", "            ", "Low",
            false},
        {0x00, kBIrInactive | kBTypeK, "   ", "   ", "    ", "    ", "     ", "     ", "       ", "  ", "     TYPE-K",
            "Low", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << int(c.a) << " " << int(c.b));
        MeterReading f = fields();
        f.flagsA = c.a;
        f.flagsB = c.b;
        ASSERT_TRUE(feed(f).valid);
        EXPECT_EQ(lcd().maxMinA, c.maxMinA);
        EXPECT_EQ(lcd().maxMinB, c.maxMinB);
        EXPECT_EQ(lcd().holdA, c.holdA);
        EXPECT_EQ(lcd().holdB, c.holdB);
        EXPECT_EQ(lcd().recordA, c.recA);
        EXPECT_EQ(lcd().recordB, c.recB);
        EXPECT_EQ(lcd().link, c.link);
        EXPECT_EQ(lcd().wbDp, c.wbDp);
        EXPECT_EQ(lcd().mode, c.mode);
        EXPECT_EQ(battery(), c.battery);
        EXPECT_EQ(lcd().backlight, c.backlight);
    }
}

TEST_F(Decoder, KirLimitsPerModeAndMarker)
{
    struct Case {
        bool typeK;
        uint8_t marker;
        float k;
        float stored;
        const char* value3;
    };
    const Case cases[] = {
        {true, kRangeHigh, 3000.0f, 2501.0f, "+OL"},
        {true, kRangeHigh, -200.0f, 2501.0f, "+OL"},
        {true, kRangeHigh, -1000.0f, -9000.0f, "----"},
        {true, kRangeHigh, 2000.0f, 2000.0f, "29.9"},
        {false, kRangeHigh, 600.0f, 505.0f, "+OL"},
        {false, kRangeHigh, -60.0f, 505.0f, "+OL"},
        {false, kRangeLow, -60.0f, -55.0f, "-OL"},
        {true, kRangeLow, -150.0f, -148.0f, "-OL"},
        {true, kRangeLow, -100.0f, -100.0f, "29.9"},
        {false, kRangeLow, -1000.0f, -9000.0f, "----"},
        {false, 0x00, 600.0f, 600.0f, "29.9"},
        {true, 0x00, -1000.0f, -9000.0f, "----"},
        {false, 0x00, 505.0f, 505.0f, "+OL"}, // the limit itself reads as over range
        {true, 0x00, -148.0f, -148.0f, "-OL"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.typeK << " " << int(c.marker) << " " << c.k);
        MeterReading f = fields(20.0f, c.k);
        f.lcd3 = 30.0f;
        f.rangeMarker = c.marker;
        f.flagsB = c.typeK ? kBTypeK : 0;
        ASSERT_TRUE(feed(f).valid);
        EXPECT_EQ(slot(kKir), c.stored);
        EXPECT_EQ(lcd().value3, c.value3);
    }
}

TEST_F(Decoder, Value3Text)
{
    const std::pair<float, const char*> cases[] = {
        {25.37f, "25.3"}, {-25.37f, "-25.3"}, {-0.04f, "-0.0"}, {0.04f, "0.0"}, {0.05f, "0.0"}, {30.0f, "29.9"},
        {-30.0f, "-29.9"}};
    for (const auto& [v, text] : cases) {
        SCOPED_TRACE(v);
        MeterReading f = fields();
        f.lcd3 = v;
        ASSERT_TRUE(feed(f).valid);
        EXPECT_EQ(lcd().value3, text);
    }
}

TEST_F(Decoder, InfraredHoldRepeatsTheLastReadingAndText)
{
    MeterReading f = fields(20.0f, 31.0f);
    f.lcd3 = 31.0f;
    ASSERT_TRUE(feed(f).valid);
    f.kir = 45.0f;
    f.lcd3 = 45.37f;
    f.flagsB = kBIrInactive;
    ASSERT_TRUE(feed(f).valid);
    EXPECT_EQ(slot(kKir), 31.0f);
    EXPECT_EQ(lcd().value3, "30.9");
    EXPECT_EQ(lcd().mode, "            ");
    // Type-K ignores the bit.
    f.flagsB = kBIrInactive | kBTypeK;
    ASSERT_TRUE(feed(f).valid);
    EXPECT_EQ(slot(kKir), 45.0f);
    EXPECT_EQ(lcd().value3, "45.3");
}

TEST_F(Decoder, InfraredHoldBeforeAnyReadingShowsNoReading)
{
    MeterReading f = fields(20.0f, 45.0f);
    f.flagsB = kBIrInactive;
    ASSERT_TRUE(feed(f).valid);
    EXPECT_EQ(slot(kKir), kKirNoReading);
    EXPECT_EQ(lcd().value3, "");
}

TEST_F(Decoder, ZeroFixActsOnceAfterTypeK)
{
    struct Step {
        bool typeK;
        float k;
        float stored;
    };
    const Step steps[] = {
        {false, 0.0f, 0.0f},    // counter starts at 2: no fix at start-up
        {true, 50.0f, 50.0f},   // type-K arms the fix
        {false, 0.0f, 50.0f},   // first infrared frame: last non-zero reading
        {false, 0.0f, 0.0f},    // only once
        {true, 60.0f, 60.0f},
        {false, 33.0f, 33.0f},  // a real reading stays
        {false, 0.0f, 0.0f},
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(testing::Message() << s.typeK << " " << s.k);
        MeterReading f = fields(20.0f, s.k);
        f.flagsB = s.typeK ? kBTypeK : 0;
        ASSERT_TRUE(feed(f).valid);
        EXPECT_EQ(slot(kKir), s.stored);
    }
}

TEST_F(Decoder, NoKirReadingStaysOutOfTheExtremes)
{
    ASSERT_TRUE(feed(fields(20.0f, -1000.0f)).valid);
    EXPECT_EQ(slot(kKir), kKirNoReading);
    EXPECT_EQ(lcd().value3, "----");
    EXPECT_EQ(minMax().max[kKir], "");
    EXPECT_EQ(minMax().min[kKir], "");
    EXPECT_FALSE(low[kKir]);
    EXPECT_FALSE(hi[kKir]);
}

TEST_F(Decoder, MinimumIgnoresValuesAtOrBelowMinus100)
{
    ASSERT_TRUE(feed(fields(-100.0f)).valid);
    EXPECT_EQ(minMax().min[kAir], "");
    EXPECT_EQ(minMax().max[kAir], "-100.0C");
    ASSERT_TRUE(feed(fields(-99.5f)).valid);
    EXPECT_EQ(minMax().min[kAir], "-99.5C");
    ASSERT_TRUE(feed(fields(-150.0f)).valid);
    EXPECT_EQ(minMax().min[kAir], "-99.5C");
    EXPECT_EQ(minMax().max[kAir], "-99.5C");
    ASSERT_TRUE(feed(fields(12.25f)).valid);
    EXPECT_EQ(minMax().max[kAir], "12.2C");
}

TEST_F(Decoder, KirTextsAndAlarmsCutTowardZero)
{
    limits.high[kKir] = 30.05f;
    limits.low[kKir] = -20.05f;
    ASSERT_TRUE(feed(fields(20.0f, 30.07f)).valid);
    EXPECT_EQ(minMax().max[kKir], "30.0C");
    EXPECT_FALSE(hi[kKir]); // 30.07 cut to 30.0
    ASSERT_TRUE(feed(fields(20.0f, -20.07f)).valid);
    EXPECT_EQ(minMax().min[kKir], "-20.0C");
    EXPECT_FALSE(low[kKir]); // -20.07 cut to -20.0
    // A tenth that single precision holds just below itself stays a tenth.
    limits.high[kKir] = 0.7f;
    ASSERT_TRUE(feed(fields(20.0f, 0.7f)).valid);
    EXPECT_TRUE(hi[kKir]);
}

TEST_F(Decoder, AlarmsAgainstLimits)
{
    struct Case {
        int channel;
        float value;
        bool fahrenheit;
        bool hiOn, lowOn;
    };
    limits.high = {30.0f, 30.0f, 30.0f, 30.0f, 60.0f};
    limits.low = {0.0f, 0.0f, 0.0f, 0.0f, 20.0f};
    const Case cases[] = {
        {kAir, 30.0f, false, true, false},    // at the limit
        {kAir, 29.9f, false, false, false},
        {kAir, 0.0f, false, false, true},
        {kAir, -150.0f, false, false, true},  // above -200: still a low alarm
        {kWb, -250.0f, false, false, false},  // at or below -200: none
        {kWb, -200.0f, false, false, false},
        {kAir, 0.0f, true, true, false},      // 32 F is above a 30 limit
        {kDp, -17.8f, true, false, true},     // -0.04 F
        {kRh, 60.0f, true, true, false},      // RH never converted
        {kRh, 20.0f, true, false, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.channel << " " << c.value << " " << c.fahrenheit);
        MeterReading f = fields();
        f.air = 10.0f;
        f.wb = 10.0f;
        f.dp = 10.0f;
        f.kir = 10.0f;
        f.rh = 40.0f;
        float* target[] = {&f.air, &f.wb, &f.dp, &f.kir, &f.rh};
        *target[c.channel] = c.value;
        f.flagsB = c.fahrenheit ? kBFahrenheit : 0;
        ASSERT_TRUE(feed(f).valid);
        for (int ch = 0; ch < kChannelCount; ++ch) {
            const bool hiExpected = ch == c.channel ? c.hiOn : (c.fahrenheit && ch != kRh);
            EXPECT_EQ(hi[ch], hiExpected) << "channel " << ch;
            EXPECT_EQ(low[ch], ch == c.channel && c.lowOn) << "channel " << ch;
        }
    }
}

TEST_F(Decoder, FahrenheitExtremesAndTexts)
{
    MeterReading f = fields(100.0f, 40.0f);
    f.rh = 45.0f;
    f.flagsB = kBFahrenheit;
    const Fed r = feed(f);
    ASSERT_TRUE(r.valid);
    EXPECT_TRUE(run.m_bFahrenheit);
    EXPECT_EQ(run.m_strUnit, "F");
    EXPECT_EQ(lcd().unitMark, "F");
    EXPECT_EQ(slot(kAir), 100.0f); // stored in degrees C
    EXPECT_EQ(minMax().max[kAir], "212.0F");
    EXPECT_EQ(minMax().max[kKir], "104.0F");
    EXPECT_EQ(minMax().max[kRh], "45.0 %RH");
    EXPECT_TRUE(hi[kAir]);  // 212 F >= 140
    EXPECT_FALSE(hi[kRh]);
    // Extremes reached in degrees C show in F afterwards, and back.
    f.air = -40.0f;
    ASSERT_TRUE(feed(f).valid);
    EXPECT_EQ(minMax().min[kAir], "-40.0F");
    f.flagsB = 0;
    ASSERT_TRUE(feed(f).valid);
    EXPECT_EQ(minMax().max[kAir], "100.0C");
    EXPECT_EQ(minMax().min[kAir], "-40.0C");
}

TEST_F(Decoder, ReportsWhatChanged)
{
    MeterReading f = fields();
    Fed r = feed(f);
    EXPECT_TRUE(r.lcdChanged);
    EXPECT_FALSE(r.alarmsChanged);
    r = feed(f);
    EXPECT_FALSE(r.lcdChanged);
    f.air = 25.0f; // the stored value moves but the LCD shows the same
    r = feed(f);
    EXPECT_FALSE(r.lcdChanged);
    f.flagsB = kBBacklight;
    EXPECT_TRUE(feed(f).lcdChanged);
    f.lcd1 = 21.0f;
    EXPECT_TRUE(feed(f).lcdChanged);
    f.air = 150.0f;
    r = feed(f);
    EXPECT_TRUE(r.alarmsChanged);
    EXPECT_FALSE(r.lcdChanged);
    EXPECT_FALSE(feed(f).alarmsChanged);
}

TEST_F(Decoder, RunStartsOnTheFirstFrameAfterRun)
{
    ASSERT_TRUE(feed(fields()).valid);
    EXPECT_TRUE(run.m_bRunEnabled);
    run.m_nCount = 7; // a previous run
    run.confirm(1, 1000);
    const Fed r = feed(bytes(encodeFrame(fields(23.5f))), 4242);
    EXPECT_TRUE(r.runStarted);
    EXPECT_EQ(run.m_nCount, 0);
    EXPECT_EQ(run.m_tStart, 4242);
    EXPECT_EQ(lastSlot, 0);
    EXPECT_EQ(live->at(kAir, 0), 23.5f);
    EXPECT_FALSE(run.m_bRunEnabled); // running
    ASSERT_TRUE(run.commit());
    ASSERT_TRUE(feed(fields(24.5f)).valid);
    EXPECT_EQ(live->at(kAir, 1), 24.5f);
    EXPECT_EQ(live->at(kAir, 0), 23.5f);
}

TEST_F(Decoder, RunEndsOnAnyBufferOnceTheLimitIsReached)
{
    run.confirm(1, 1000);
    ASSERT_TRUE(feed(fields()).valid);
    run.m_nCount = 1000;
    EXPECT_FALSE(feed(QByteArray("garbage")).valid);
    EXPECT_TRUE(run.m_bIdle);
    EXPECT_FALSE(run.m_bRunning);
    EXPECT_FALSE(run.m_bStopEnabled);
}

TEST_F(Decoder, TextsReadTheSameUnderAGermanLocale)
{
    // printf writes "22,5" under a German locale; the texts never do.
    const std::string previous = std::setlocale(LC_ALL, nullptr);
    if (!std::setlocale(LC_ALL, "de_DE.UTF-8"))
        GTEST_SKIP() << "no de_DE.UTF-8 locale on this machine";
    MeterReading f = fields(22.5f, 31.37f);
    f.lcd2 = 45.5f;
    f.rh = 45.5f;
    const bool valid = feed(f).valid;
    f.flagsB = kBFahrenheit;
    f.air = -12.5f;
    const bool valid2 = feed(f).valid;
    char printed[32];
    std::snprintf(printed, sizeof printed, "%.1f", 22.5);
    std::setlocale(LC_ALL, previous.c_str());
    ASSERT_STREQ(printed, "22,5");
    ASSERT_TRUE(valid && valid2);
    EXPECT_EQ(lcd().value1, "22.5");
    EXPECT_EQ(lcd().value2, "45.5");
    EXPECT_EQ(lcd().value3, "31.3");
    EXPECT_EQ(minMax().max[kAir], "72.5F");
    EXPECT_EQ(minMax().min[kAir], "9.5F");
    EXPECT_EQ(minMax().max[kKir], "88.4F");
    EXPECT_EQ(minMax().min[kRh], "45.5 %RH");
}

} // namespace
