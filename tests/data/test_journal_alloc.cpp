// Appending a committed sample to the run journal allocates nothing: every
// heap allocation made while samples are appended is counted, Qt's own
// (malloc) included. The write and the sync are system calls on a buffer on
// the stack.
#include "data/RunJournal.h"

#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "CountingAllocator.h"

TEST(JournalAlloc, AppendingSamplesAllocatesNothing)
{
#ifndef ZB740_COUNT_MALLOC
    GTEST_SKIP() << "allocations are counted with glibc only";
#endif
    QTemporaryDir tmp;
    ASSERT_TRUE(tmp.isValid());
    JournalFacts facts;
    facts.start = 1700000000;
    facts.unit = QStringLiteral("C");
    RunJournal journal;
    ASSERT_TRUE(journal.begin(QDir(tmp.path()).filePath(QStringLiteral("run.journal")), facts).ok());

    ChannelValues v {21.5f, 15.0f, 10.0f, -9000.0f, 48.0f};
    bool allOk = true;
    const long long before = g_allocations.load();
    for (int i = 0; i < 300; ++i) {
        v[0] += 0.1f;
        allOk = journal.append(i, v, i >= 150).ok() && allOk;
        if (i == 100)
            allOk = journal.noteScale({50, -2}).ok() && allOk;
    }
    const long long allocations = g_allocations.load() - before;
    EXPECT_TRUE(allOk);
    EXPECT_EQ(allocations, 0);
    EXPECT_EQ(journal.count(), 300);
}
