// Parsing frames and folding their readings into the run allocates nothing
// once the fold exists, even while readings, units, holds and alarms
// change. This executable counts every heap allocation: operator new, and
// malloc/calloc/realloc (Qt's strings and arrays allocate through those),
// forwarded to the C library's own.
#include "link/MeterProtocol.h"
#include "recorder/ReadingFold.h"

#include <gtest/gtest.h>
#include <memory>

#include "CountingAllocator.h"


namespace {

using namespace meter;

TEST(DecoderAlloc, ChangingFramesAllocateNothing)
{
#ifndef ZB740_COUNT_MALLOC
    GTEST_SKIP() << "allocations are counted with glibc only";
#endif
    RunState run;
    run.confirm(1, 10000);
    auto live = std::make_unique<LiveSeries>();
    ReadingFold fold(run, *live);
    AlarmLimits limits;
    limits.high[kAir] = 25.0f;

    // Every frame differs: drifting readings, the unit, holds, the K/IR
    // input with its "----" and over-range texts, new extremes, alarms.
    constexpr int kFrames = 400;
    std::vector<QByteArray> frames;
    for (int i = 0; i < kFrames; ++i) {
        MeterReading f;
        f.air = 15.0f + 0.037f * i;
        f.wb = 12.0f + 0.01f * i;
        f.dp = 8.0f - 0.02f * i;
        f.rh = 40.0f + 0.05f * i;
        f.kir = (i % 7 == 3) ? -1000.0f : (i % 11 == 5) ? 600.0f : 30.0f + 0.11f * i;
        f.rangeMarker = (i % 11 == 5) ? kRangeHigh : 0;
        f.lcd1 = f.air;
        f.lcd2 = f.rh;
        f.lcd3 = f.kir;
        f.flagsA = static_cast<uint8_t>(kAPcLink | ((i % 5 == 0) ? kAHold : 0) | ((i % 3) ? kABatteryNormal : 0));
        f.flagsB = static_cast<uint8_t>(((i % 13 < 6) ? kBFahrenheit : 0) | ((i % 17 == 9) ? kBIrInactive : 0)
            | ((i % 19 > 15) ? kBTypeK : 0) | ((i % 4 == 0) ? kBBacklight : 0));
        const FrameBytes b = encodeFrame(f);
        frames.emplace_back(reinterpret_cast<const char*>(b.data()), kFrameSize);
    }
    const QByteArray garbage(20, 'x');

    ASSERT_TRUE(parseFrame(frames[0]).has_value());
    (void)fold.fold(*parseFrame(frames[0]), 1, limits);
    int lcdChanges = 0;
    int alarmChanges = 0;
    int lastSlot = -1;
    const long long before = g_allocations.load();
    for (int i = 1; i < kFrames; ++i) {
        const std::optional<MeterReading> r = parseFrame(frames[i]);
        ASSERT_TRUE(r.has_value());
        const ReadingUpdate u = fold.fold(*r, 1 + i, limits);
        lcdChanges += u.lcdChanged;
        alarmChanges += u.alarmsChanged;
        lastSlot = u.slot;
        if (!parseFrame(garbage))
            fold.foldInvalid();
        run.m_nCount = i; // as the recorder commits
    }
    const long long allocations = g_allocations.load() - before;
    EXPECT_EQ(allocations, 0);
    EXPECT_GT(lcdChanges, kFrames / 2);
    EXPECT_GT(alarmChanges, 0);
    EXPECT_EQ(lastSlot, kFrames - 2);
    EXPECT_EQ(fold.readout().lcd.link, "PC-LINK");
}

} // namespace
