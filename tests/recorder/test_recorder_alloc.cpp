// Committing a sample allocates nothing, journal included: every heap
// allocation (operator new and the malloc family, Qt's own included) made
// while the recorder commits samples of a journaled run is counted.
#include "RecorderFixture.h"

#include <gtest/gtest.h>

#include "CountingAllocator.h"

namespace {

class RecorderAlloc : public RecorderFixture {};

TEST_F(RecorderAlloc, CommittingASampleToTheJournalAllocatesNothing)
{
#ifndef ZB740_COUNT_MALLOC
    GTEST_SKIP() << "allocations are counted with glibc only";
#endif
    recorder->confirmRun(1, 1000);
    // The run's start begins the journal (a path, a file): allowed to
    // allocate. The first commit too (first use of the signal).
    ASSERT_TRUE(sample(1796687155, reading(0)));
    ASSERT_TRUE(recorder->journal().isOpen());

    RunState& run = recorder->run();
    int committed = 0;
    long long allocations = 0;
    for (int i = 1; i < 300; ++i) {
        // The decoder's part, outside the count: the slot and the flag.
        live->writeSlot(run.m_nCount, reading(i));
        run.onValidFrame(1796687155 + i);
        const long long before = g_allocations.load();
        committed += recorder->commitTick() ? 1 : 0;
        allocations += g_allocations.load() - before;
    }
    EXPECT_EQ(committed, 299);
    EXPECT_EQ(allocations, 0);
    EXPECT_EQ(recorder->journal().count(), 300);
}

} // namespace
