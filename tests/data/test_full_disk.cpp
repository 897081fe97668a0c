// Saving onto a file system that runs out of space: the window's Save and
// zb740-cli export must report the failure with its real reason and leave
// the files they would replace exactly as they were. Runs on a real tmpfs
// of 64 KiB, filled so that a given number of bytes stays free.
#include "DataFixtures.h"
#include "FileNodes.h"
#include "TempDir.h"

#include "app/RunSaver.h"
#include "data/RunFiles.h"

#include <QBuffer>
#include <QDir>
#include <QProcess>
#include <gtest/gtest.h>

namespace {

constexpr qint64 kPage = 4096;

qint64 pagesFor(qint64 bytes) { return (bytes + kPage - 1) / kPage * kPage; }

QByteArray exportBytes(const RunView& run)
{
    QBuffer b;
    b.open(QIODevice::WriteOnly);
    EXPECT_TRUE(TextExport::write(b, run).ok());
    return b.data();
}

QByteArray dataBytes(const RunView& run, YScaleValues scale)
{
    QBuffer b;
    b.open(QIODevice::WriteOnly);
    EXPECT_TRUE(DataFile::write(b, run, scale).ok());
    return b.data();
}

class FullDiskTest : public TempDirTest {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(QDir().mkpath(path("disk")));
        m_disk.mount(path("disk"), 64);
    }
    QString onDisk(const QString& name) const { return path("disk/" + name); }

    // Empties the small file system for the next case.
    void clearDisk()
    {
        QDir disk(path("disk"));
        for (const QString& name : disk.entryList(QDir::Files | QDir::Hidden | QDir::System))
            ASSERT_TRUE(disk.remove(name)) << name.toStdString();
        ASSERT_EQ(m_disk.freeBytes(), 64 * 1024);
    }

    QStringList filesOnDisk() const
    {
        QStringList names = QDir(path("disk")).entryList(QDir::Files | QDir::Hidden | QDir::System);
        names.removeAll(QStringLiteral("filler"));
        return names;
    }

    ScopedTmpfs m_disk;
    ScopedTimeZone m_tz {"UTC0"};
    // A run whose data file fits in Qt's 16 KiB write buffer (so its only
    // write happens at the final flush) and whose export does not.
    LiveRun m_run {300, utc(2026, 12, 7, 23, 45, 55), 2};
    // The files a save may replace: those of a short earlier run.
    LiveRun m_oldRun {3, utc(2025, 1, 2, 3, 4, 5), 1};
    RunView view() const { return RunView::of(*m_run.live, m_run.run.info()); }
    RunView oldView() const { return RunView::of(*m_oldRun.live, m_oldRun.run.info()); }
};

} // namespace

TEST_F(FullDiskTest, WindowSaveFailsWithTheReasonAndKeepsTheOldFiles)
{
    if (!m_disk.mounted())
        return;
    const QByteArray newData = dataBytes(view(), {10, 0});
    const QByteArray newCsv = exportBytes(view());
    ASSERT_LT(newData.size(), 16 * 1024);
    ASSERT_GT(newCsv.size(), 16 * 1024);
    const qint64 needed = pagesFor(newData.size()) + pagesFor(newCsv.size());
    const QByteArray oldData = dataBytes(oldView(), {2, -2});
    const QByteArray oldCsv = exportBytes(oldView());

    QStringList reports;
    RunSaver saver(view(), path("settings"));
    saver.setPathChooser([this](QWidget*, const QString&, const QString&) { return onDisk("Run.AsmDat"); });
    saver.setReporter([&](QWidget*, const QString& text) { reports << text; });

    // Every free size short of what the two files need, around Qt's 16 KiB
    // buffer; the last ones hold the whole export but not the data file.
    for (bool withOldFiles : {false, true}) {
        for (qint64 free = 0; free < needed; free += kPage) {
            SCOPED_TRACE(testing::Message() << (withOldFiles ? "over old files" : "new files") << ", free " << free);
            clearDisk();
            if (withOldFiles) {
                ASSERT_TRUE(writeAll(onDisk("Run.AsmDat"), oldData));
                ASSERT_TRUE(writeAll(onDisk("Run.csv"), oldCsv));
            }
            ASSERT_TRUE(m_disk.leaveFree(free));
            reports.clear();

            const Status saved = saver.save(nullptr, {10, 0});
            EXPECT_FALSE(saved.ok());
            EXPECT_FALSE(saved.isCancelled());
            ASSERT_EQ(reports.size(), 1);
            EXPECT_EQ(reports[0], saved.message());
            EXPECT_TRUE(reports[0].contains(QLatin1String("No space left on device"))) << reports[0].toStdString();
            EXPECT_TRUE(reports[0].contains(QLatin1String("/disk/Run."))) << reports[0].toStdString();
            if (withOldFiles) {
                EXPECT_EQ(readAll(onDisk("Run.AsmDat")), oldData);
                EXPECT_EQ(readAll(onDisk("Run.csv")), oldCsv);
                EXPECT_EQ(filesOnDisk(), QStringList({"Run.AsmDat", "Run.csv"}));
            } else {
                EXPECT_EQ(filesOnDisk(), QStringList());
            }
        }
    }

    // With room for both, the same save replaces the old pair completely.
    clearDisk();
    ASSERT_TRUE(writeAll(onDisk("Run.AsmDat"), oldData));
    ASSERT_TRUE(writeAll(onDisk("Run.csv"), oldCsv));
    ASSERT_TRUE(m_disk.leaveFree(needed));
    reports.clear();
    EXPECT_TRUE(saver.save(nullptr, {10, 0}).ok());
    EXPECT_TRUE(reports.isEmpty());
    EXPECT_EQ(readAll(onDisk("Run.AsmDat")), newData);
    EXPECT_EQ(readAll(onDisk("Run.csv")), newCsv);
    EXPECT_EQ(filesOnDisk(), QStringList({"Run.AsmDat", "Run.csv"}));
}

TEST_F(FullDiskTest, CliExportFailsWithTheReasonAndKeepsTheOldFile)
{
    if (!m_disk.mounted())
        return;
    // The data file lives outside the small file system; only the export
    // goes onto it.
    ASSERT_TRUE(RunFiles::saveRun(path("Run.AsmDat"), view(), {10, 0}).ok());
    const QByteArray newCsv = readAll(path("Run.csv"));
    ASSERT_GT(newCsv.size(), 16 * 1024);
    const QByteArray oldCsv = exportBytes(oldView());

    auto exportTo = [&](const QString& out) {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("TZ"), QStringLiteral("UTC0"));
        p.setProcessEnvironment(env);
        p.start(QStringLiteral(ZB740_TOOLS_DIR "/zb740-cli"), {"export", path("Run.AsmDat"), "-o", out});
        EXPECT_TRUE(p.waitForFinished(30000));
        return std::make_pair(p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1,
                              QString::fromLocal8Bit(p.readAllStandardError()));
    };

    for (bool withOldFile : {false, true}) {
        for (qint64 free = 0; free < pagesFor(newCsv.size()); free += kPage) {
            SCOPED_TRACE(testing::Message() << (withOldFile ? "over an old file" : "new file") << ", free " << free);
            clearDisk();
            if (withOldFile) {
                ASSERT_TRUE(writeAll(onDisk("Out.csv"), oldCsv));
            }
            ASSERT_TRUE(m_disk.leaveFree(free));

            const auto [status, err] = exportTo(onDisk("Out.csv"));
            EXPECT_EQ(status, 1);
            EXPECT_EQ(err, QStringLiteral("zb740-cli: %1: No space left on device\n").arg(onDisk("Out.csv")));
            if (withOldFile) {
                EXPECT_EQ(readAll(onDisk("Out.csv")), oldCsv);
                EXPECT_EQ(filesOnDisk(), QStringList({"Out.csv"}));
            } else {
                EXPECT_EQ(filesOnDisk(), QStringList());
            }
        }
    }

    clearDisk();
    ASSERT_TRUE(writeAll(onDisk("Out.csv"), oldCsv));
    ASSERT_TRUE(m_disk.leaveFree(pagesFor(newCsv.size())));
    const auto [status, err] = exportTo(onDisk("Out.csv"));
    EXPECT_EQ(status, 0) << err.toStdString();
    EXPECT_EQ(readAll(onDisk("Out.csv")), newCsv);
}
