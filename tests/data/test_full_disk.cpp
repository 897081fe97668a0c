// Saving onto a file system that runs out of space, for every writer of the
// program (WriterTable.h): each must report the failure with its real
// reason (a command line exits 1), leave a file it would replace exactly as
// it was, and leave no new, cut or temporary file behind; with room enough
// the same write succeeds. Runs on a real tmpfs, filled so that a given
// number of bytes stays free: no room at all, and every page count short of
// what the new files need.
#include "DataFixtures.h"
#include "FileNodes.h"
#include "TempDir.h"
#include "WriterTable.h"

#include <QDir>
#include <QFileInfo>
#include <gtest/gtest.h>

namespace {

constexpr qint64 kPage = 4096;
constexpr int kDiskKiB = 256;

qint64 pagesFor(qint64 bytes) { return (bytes + kPage - 1) / kPage * kPage; }

// The file a writer is pointed at, by what it writes.
QString outputName(const WriterRow& w)
{
    if (w.writesExportToo)
        return QStringLiteral("Run.AsmDat");
    if (w.name.contains(QLatin1String("settings")))
        return QStringLiteral("ZB740.ini");
    if (w.name.contains(QLatin1String("export")))
        return QStringLiteral("Out.csv");
    if (w.name.contains(QLatin1String("plot")))
        return QStringLiteral("Out.png");
    return QStringLiteral("Out.pdf");
}

// What an earlier save left at a path: a settings file big enough that its
// rewrite needs several pages, a few pages of something else otherwise.
QByteArray oldContents(const QString& name)
{
    if (name.endsWith(QLatin1String(".ini"))) {
        QByteArray ini = "[Settings]\r\nKey=old value\r\n[Other]\r\n";
        for (int i = 0; ini.size() < 5 * kPage; ++i)
            ini += "Line" + QByteArray::number(i) + "=kept as it was\r\n";
        return ini;
    }
    return "old " + name.toUtf8() + QByteArray(6000, 'o');
}

// The one message a failure of a single-file writer gives.
QString expectedFailure(const WriterRow& w, const QString& out)
{
    const QString reason = QStringLiteral("No space left on device");
    if (w.name == QLatin1String("zb740-cli export"))
        return QStringLiteral("zb740-cli: %1: %2\n").arg(out, reason);
    if (w.name == QLatin1String("zb740-cli plot"))
        return QStringLiteral("zb740-cli: cannot write %1: %2\n").arg(out, reason);
    if (w.name == QLatin1String("zb740-cli report"))
        return QStringLiteral("zb740-cli: Could not save \"%1\": %2\n").arg(out, reason);
    if (w.name == QLatin1String("the window's Export Report as PDF"))
        return QStringLiteral("Could not save \"%1\": %2").arg(out, reason);
    if (w.name == QLatin1String("a settings write"))
        return reason;
    return {};
}

// A PDF names the moment it was made; everything else must be the same.
bool sameOutput(const QByteArray& a, const QByteArray& b)
{
    return a == b || (a.startsWith("%PDF") && b.startsWith("%PDF") && a.size() == b.size());
}

class FullDiskTest : public TempDirTest {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(QDir().mkpath(path("disk")));
        m_disk.mount(path("disk"), kDiskKiB);
    }
    QString onDisk(const QString& name) const { return path("disk/" + name); }

    // Empties the small file system for the next case.
    void clearDisk()
    {
        QDir disk(path("disk"));
        for (const QString& name : disk.entryList(QDir::Files | QDir::Hidden | QDir::System))
            ASSERT_TRUE(disk.remove(name)) << name.toStdString();
        ASSERT_EQ(m_disk.freeBytes(), kDiskKiB * 1024);
    }

    QStringList filesOnDisk() const
    {
        QStringList names = QDir(path("disk")).entryList(QDir::Files | QDir::Hidden | QDir::System);
        names.removeAll(QStringLiteral("filler"));
        return names;
    }

    ScopedTmpfs m_disk;
    ScopedTimeZone m_tz {"UTC0"};
};

} // namespace

TEST_F(FullDiskTest, EveryWriterFailsWithTheReasonAndLeavesTheOldFileAsItWas)
{
    if (!m_disk.mounted())
        return;
    const WriterTable table(path("in"));
    for (const WriterRow& w : table.rows()) {
        // Recording has tests of its own for a disk that fills while it
        // runs, its journal included.
        if (w.records)
            continue;
        const QString name = outputName(w);
        QStringList names;
        for (const QString& output : w.outputsFor(name))
            names << QFileInfo(output).fileName();
        names.sort();

        for (bool overOld : {false, true}) {
            // What the write makes with room enough, written elsewhere.
            const QString refFolder = path(QStringLiteral("ref-%1").arg(overOld));
            QDir(refFolder).removeRecursively();
            ASSERT_TRUE(QDir().mkpath(refFolder));
            if (overOld) {
                for (const QString& n : names)
                    ASSERT_TRUE(writeAll(refFolder + '/' + n, oldContents(n)));
            }
            const WriteOutcome reference = w.write(refFolder + '/' + name);
            ASSERT_TRUE(reference.ok) << w.name.toStdString() << ": " << reference.message.toStdString();
            QList<QByteArray> newFiles;
            qint64 needed = 0;
            for (const QString& n : names) {
                newFiles << readAll(refFolder + '/' + n);
                needed += pagesFor(newFiles.constLast().size());
            }
            ASSERT_LT(needed, kDiskKiB * 1024 - 16 * kPage) << w.name.toStdString() << ": a larger disk is needed";
            if (w.writesExportToo) {
                // A buffered writer would write the data file only at its
                // final flush, the export before.
                ASSERT_EQ(names, QStringList({"Run.AsmDat", "Run.csv"}));
                ASSERT_LT(newFiles[0].size(), 16 * 1024);
                ASSERT_GT(newFiles[1].size(), 16 * 1024);
            }

            for (qint64 free = 0; free < needed; free += kPage) {
                SCOPED_TRACE(testing::Message() << w.name.toStdString() << (overOld ? ", over old files" : ", new files")
                                                << ", free " << free << " of " << needed);
                clearDisk();
                if (overOld) {
                    for (const QString& n : names)
                        ASSERT_TRUE(writeAll(onDisk(n), oldContents(n)));
                }
                ASSERT_TRUE(m_disk.leaveFree(free));

                const WriteOutcome o = w.write(onDisk(name));
                EXPECT_FALSE(o.ok);
                if (w.commandLine) {
                    EXPECT_EQ(o.exitCode, 1);
                } else if (o.reports >= 0) {
                    EXPECT_EQ(o.reports, 1) << "the failure is shown once";
                }
                if (const QString exact = expectedFailure(w, onDisk(name)); !exact.isEmpty()) {
                    EXPECT_EQ(o.message, exact);
                } else {
                    // A run's two files: the one that did not fit is named.
                    EXPECT_TRUE(o.message.contains(QLatin1String("No space left on device"))) << o.message.toStdString();
                    EXPECT_TRUE(o.message.contains(QLatin1String("/disk/Run."))) << o.message.toStdString();
                }
                if (overOld) {
                    for (const QString& n : names)
                        EXPECT_EQ(readAll(onDisk(n)), oldContents(n)) << n.toStdString();
                    EXPECT_EQ(filesOnDisk(), names) << "no new, cut or temporary file";
                } else {
                    EXPECT_EQ(filesOnDisk(), QStringList()) << "no new, cut or temporary file";
                }
            }

            // With exactly the room the new files need, the same write
            // puts them in place whole.
            SCOPED_TRACE(testing::Message() << w.name.toStdString() << (overOld ? ", over old files" : ", new files")
                                            << ", room enough");
            clearDisk();
            if (overOld) {
                for (const QString& n : names)
                    ASSERT_TRUE(writeAll(onDisk(n), oldContents(n)));
            }
            ASSERT_TRUE(m_disk.leaveFree(needed));
            const WriteOutcome o = w.write(onDisk(name));
            EXPECT_TRUE(o.ok) << o.message.toStdString();
            if (o.reports >= 0) {
                EXPECT_EQ(o.reports, 0);
            }
            for (int i = 0; i < names.size(); ++i)
                EXPECT_TRUE(sameOutput(readAll(onDisk(names[i])), newFiles[i])) << names[i].toStdString();
            EXPECT_EQ(filesOnDisk(), names);
        }
    }
}
