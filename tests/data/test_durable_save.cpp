// What a save leaves on disk if the machine stops at any moment: both new
// files are complete and synced before either replaces its old file, and
// the folder is synced after the renames, so a crash leaves each file old
// or new, never empty or cut. Observed through the process's real fsync,
// fdatasync and rename calls (Qt's own included).
#include "DataFixtures.h"
#include "SyncRecorder.h"
#include "TempDir.h"

#include "data/RunFiles.h"

#include <QDir>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace {

struct Node {
    dev_t device = 0;
    ino_t inode = 0;
};

Node nodeOf(const QString& path)
{
    struct stat st {};
    EXPECT_EQ(::stat(QFile::encodeName(path).constData(), &st), 0) << path.toStdString();
    return {st.st_dev, st.st_ino};
}

using SyncRecorder::Event;
using SyncRecorder::Kind;

// Index of the first event matching, or -1.
template <typename Pred>
int firstIndex(const std::vector<Event>& events, Pred pred)
{
    const auto it = std::find_if(events.begin(), events.end(), pred);
    return it == events.end() ? -1 : int(it - events.begin());
}

template <typename Pred>
int lastIndex(const std::vector<Event>& events, Pred pred)
{
    for (int i = int(events.size()) - 1; i >= 0; --i)
        if (pred(events[size_t(i)]))
            return i;
    return -1;
}

auto syncOf(Kind kind, Node n)
{
    return [=](const Event& e) { return e.kind == kind && e.device == n.device && e.inode == n.inode; };
}

auto renameOnto(const QString& path)
{
    const std::string target = QFile::encodeName(path).toStdString();
    return [=](const Event& e) { return e.kind == Kind::Rename && e.target == target; };
}

class DurableSaveTest : public TempDirTest {
protected:
    ScopedTimeZone m_tz {"UTC0"};
    LiveRun m_run {40, utc(2026, 12, 7, 23, 45, 55), 2};
    LiveRun m_oldRun {3, utc(2025, 1, 2, 3, 4, 5), 1};
    RunView view() const { return RunView::of(*m_run.live, m_run.run.info()); }

    void saveOldPair()
    {
        ASSERT_TRUE(RunFiles::saveRun(path("Run.AsmDat"), RunView::of(*m_oldRun.live, m_oldRun.run.info()), {2, 0}).ok());
        m_oldData = readAll(path("Run.AsmDat"));
        m_oldCsv = readAll(path("Run.csv"));
        ASSERT_FALSE(m_oldData.isEmpty());
        ASSERT_FALSE(m_oldCsv.isEmpty());
    }
    void expectOldPair()
    {
        EXPECT_EQ(readAll(path("Run.AsmDat")), m_oldData);
        EXPECT_EQ(readAll(path("Run.csv")), m_oldCsv);
        EXPECT_EQ(QDir(m_tmp.path()).entryList(QDir::Files | QDir::Hidden | QDir::System),
                  QStringList({"Run.AsmDat", "Run.csv"}));
    }
    QByteArray m_oldData, m_oldCsv;
};

} // namespace

TEST_F(DurableSaveTest, BothFilesAreOnDiskBeforeEitherReplacesItsOldFileAndTheFolderAfter)
{
    saveOldPair();
    SyncRecorder::start();
    const Status saved = RunFiles::saveRun(path("Run.AsmDat"), view(), {10, 0});
    const std::vector<Event> events = SyncRecorder::stop();
    ASSERT_TRUE(saved.ok()) << saved.message().toStdString();

    const int dataSynced = firstIndex(events, syncOf(Kind::FileSync, nodeOf(path("Run.AsmDat"))));
    const int csvSynced = firstIndex(events, syncOf(Kind::FileSync, nodeOf(path("Run.csv"))));
    const int dataRenamed = firstIndex(events, renameOnto(path("Run.AsmDat")));
    const int csvRenamed = firstIndex(events, renameOnto(path("Run.csv")));
    ASSERT_GE(dataSynced, 0) << "the new data file was never synced";
    ASSERT_GE(csvSynced, 0) << "the new export was never synced";
    ASSERT_GE(dataRenamed, 0);
    ASSERT_GE(csvRenamed, 0);
    const int firstRename = std::min(dataRenamed, csvRenamed);
    EXPECT_LT(dataSynced, firstRename);
    EXPECT_LT(csvSynced, firstRename);

    const int folderSynced = lastIndex(events, syncOf(Kind::FolderSync, nodeOf(m_tmp.path())));
    ASSERT_GE(folderSynced, 0) << "the folder holding the renamed files was never synced";
    EXPECT_GT(folderSynced, std::max(dataRenamed, csvRenamed));
}

TEST_F(DurableSaveTest, AFailedSyncIsAFailedSave)
{
    saveOldPair();
    SyncRecorder::start(EIO);
    const Status saved = RunFiles::saveRun(path("Run.AsmDat"), view(), {10, 0});
    SyncRecorder::stop();
    EXPECT_FALSE(saved.ok());
    EXPECT_TRUE(saved.message().contains(QString::fromLocal8Bit(std::strerror(EIO)))) << saved.message().toStdString();
    expectOldPair();

    // The export alone (zb740-cli export) is held to the same rule.
    SyncRecorder::start(EIO);
    const Status exported = RunFiles::saveExport(path("Run.csv"), view());
    SyncRecorder::stop();
    EXPECT_FALSE(exported.ok());
    EXPECT_TRUE(exported.message().contains(QString::fromLocal8Bit(std::strerror(EIO))))
        << exported.message().toStdString();
    expectOldPair();
}

TEST_F(DurableSaveTest, FolderSyncFailures)
{
    // A folder that cannot be synced because its file system has no such
    // thing is no failure; a real error is reported: the files are in
    // place, but nobody may count on them surviving a crash.
    struct Case {
        int error;
        bool ok;
    } cases[] = {{EINVAL, true}, {EIO, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::strerror(c.error));
        SyncRecorder::start(0, c.error);
        const Status saved = RunFiles::saveRun(path("Run.AsmDat"), view(), {10, 0});
        SyncRecorder::stop();
        EXPECT_EQ(saved.ok(), c.ok) << saved.message().toStdString();
        if (!c.ok) {
            EXPECT_TRUE(saved.message().contains(QString::fromLocal8Bit(std::strerror(c.error))))
                << saved.message().toStdString();
        }
    }
}
