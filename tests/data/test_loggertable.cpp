// The logger's table of data sets: slots filled in order, the wrap after
// 100, copies back into the displayed record, and nothing shared between a
// slot and the record it came from.
#include "DataFixtures.h"

#include "base/LocalTime.h"
#include "data/LoggerSetTable.h"

#include <gtest/gtest.h>
#include <memory>

namespace {

// A record of n samples whose values tell set, sample and channel apart.
std::unique_ptr<ReviewRecord> recordOf(int tag, int n, int64_t start = 1700000000)
{
    auto r = std::make_unique<ReviewRecord>();
    r->count = n;
    for (int s = 0; s < n; ++s)
        for (int c = 0; c < kChannelCount; ++c)
            r->values[s * kChannelCount + c] = float(tag * 1000 + s + c * 0.1);
    r->startTime = start;
    r->interval = tag % 7 + 1;
    r->unitFlag = tag % 2;
    r->unitText = tag % 2 ? QStringLiteral("F") : QStringLiteral("C");
    return r;
}

} // namespace

TEST(LoggerSetTable, AppendsInOrderAndKeepsEachSetsOwnFacts)
{
    LoggerSetTable table;
    EXPECT_EQ(table.lastIndex(), -1);
    EXPECT_TRUE(table.empty());

    auto a = recordOf(1, 3, 1000);
    const LoggerSetTable::Appended first = table.append(*a, {10, -2});
    EXPECT_EQ(first.slot, 0);
    EXPECT_FALSE(first.wrapped);
    auto b = recordOf(2, kMaxSamples, 2000);
    EXPECT_EQ(table.append(*b, {500, 5}).slot, 1);
    EXPECT_EQ(table.lastIndex(), 1);

    const LoggerDataSet& s0 = table.set(0);
    EXPECT_EQ(s0.count, 3);
    EXPECT_EQ(s0.start, 1000);
    EXPECT_EQ(s0.interval, 2);
    EXPECT_EQ(s0.unitFlag, 1);
    EXPECT_EQ(s0.unit, "F");
    EXPECT_EQ(s0.scale(), (YScaleValues {10, -2}));
    EXPECT_EQ(table.view(0).value(2, kRh), a->at(2, kRh));
    // The slot is a copy: the record may change under it.
    a->values[0] = -1;
    EXPECT_EQ(table.view(0).value(0, kAir), 1000.0f);
    EXPECT_EQ(table.view(1).value(kMaxSamples - 1, kRh), b->at(kMaxSamples - 1, kRh));
    EXPECT_EQ(table.view(1).info().count, kMaxSamples);
}

TEST(LoggerSetTable, CopiesASetBackIntoTheRecordWithItsScale)
{
    ScopedTimeZone tz("UTC0");
    LoggerSetTable table;
    auto a = recordOf(1, 4, utc(2026, 12, 7, 23, 45, 55));
    (void)table.append(*a, {20, 2});
    auto b = recordOf(2, 9);
    (void)table.append(*b, {1, 0});

    auto shown = recordOf(9, 50);
    YScaleValues scale {};
    ASSERT_TRUE(table.copyTo(0, *shown, scale));
    EXPECT_EQ(scale, (YScaleValues {20, 2}));
    EXPECT_EQ(shown->count, 4);
    EXPECT_EQ(shown->at(3, kDp), a->at(3, kDp));
    EXPECT_EQ(shown->startTime, utc(2026, 12, 7, 23, 45, 55));
    EXPECT_EQ((LocalTime::Fields {shown->year, shown->month, shown->day, shown->hour, shown->minute, shown->second}),
              (LocalTime::Fields {2026, 12, 7, 23, 45, 55}));
    EXPECT_EQ(shown->interval, a->interval);
    EXPECT_EQ(shown->unitFlag, a->unitFlag);
    EXPECT_EQ(shown->unitText, a->unitText);

    // Rows that hold no set change nothing.
    for (int bad : {-1, 2, 99, 100}) {
        EXPECT_FALSE(table.copyTo(bad, *shown, scale)) << bad;
        EXPECT_EQ(shown->count, 4) << bad;
    }
}

TEST(LoggerSetTable, TheHundredAndFirstSetStartsOverAtSlotZero)
{
    LoggerSetTable table;
    auto r = recordOf(3, 10);
    for (int i = 0; i < LoggerSetTable::kSlots; ++i) {
        const LoggerSetTable::Appended a = table.append(*r, {});
        EXPECT_EQ(a.slot, i);
        EXPECT_FALSE(a.wrapped);
    }
    EXPECT_EQ(table.lastIndex(), 99);
    auto next = recordOf(4, 5);
    const LoggerSetTable::Appended wrapped = table.append(*next, {});
    EXPECT_EQ(wrapped.slot, 0);
    EXPECT_TRUE(wrapped.wrapped);
    EXPECT_EQ(table.lastIndex(), 0);
    EXPECT_EQ(table.set(0).count, 5);
    YScaleValues scale;
    EXPECT_FALSE(table.copyTo(1, *r, scale)) << "the older sets are gone";

    table.clear();
    EXPECT_EQ(table.lastIndex(), -1);
    EXPECT_EQ(table.append(*r, {}).slot, 0);
}
