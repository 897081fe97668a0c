// Where a write lands when the path names something other than a plain
// file: a FIFO or a device node named on a command line is written through
// and stays what it is; a symbolic link the user may follow is followed (the
// file it names is replaced, the link kept); a link another user planted in
// a shared folder (sticky and world-writable, like /tmp) is refused by every
// writer, naming the link, and what it names stays as it was.
#include "DataFixtures.h"
#include "FileNodes.h"
#include "TempDir.h"
#include "WriterTable.h"

#include "base/DurableFile.h"
#include "data/RunJournal.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr uid_t kNobody = 65534;
constexpr uid_t kSomeUser = 1000;

struct Owner {
    uid_t uid = 0;
    mode_t mode = 0;
    bool ok = false;
};

Owner ownerOf(const QString& path)
{
    struct stat st {};
    if (::lstat(QFile::encodeName(path).constData(), &st) != 0)
        return {};
    return {st.st_uid, mode_t(st.st_mode & 07777), true};
}

bool makeLink(const QString& link, const QString& target, uid_t owner)
{
    const QByteArray l = QFile::encodeName(link);
    return ::symlink(QFile::encodeName(target).constData(), l.constData()) == 0
        && ::lchown(l.constData(), owner, owner) == 0;
}

bool makeFolder(const QString& folder, mode_t mode, uid_t owner = 0)
{
    const QByteArray f = QFile::encodeName(folder);
    return QDir().mkpath(folder) && ::chown(f.constData(), owner, owner) == 0 && ::chmod(f.constData(), mode) == 0;
}

QString linkTarget(const QString& link)
{
    char to[4096];
    const ssize_t n = ::readlink(QFile::encodeName(link).constData(), to, sizeof to);
    return n < 0 ? QString() : QFile::decodeName(QByteArray(to, n));
}

QStringList entries(const QString& folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

QString refusal(const QString& link)
{
    return QStringLiteral("The symbolic link \"%1\" belongs to another user in a shared folder; it is not followed.")
        .arg(link);
}

// Runs zb740-cli while reading what it writes into a FIFO (its output may be
// larger than the pipe holds).
struct FifoRun {
    int exitCode = -1;
    QByteArray received, out, err;
};

FifoRun runIntoFifo(const QStringList& args, const QString& fifo)
{
    FifoRun r;
    const int reader = ::open(QFile::encodeName(fifo).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    EXPECT_GE(reader, 0);
    if (reader < 0)
        return r;
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("TZ"), QStringLiteral("UTC0"));
    p.setProcessEnvironment(env);
    p.start(QStringLiteral(ZB740_TOOLS_DIR "/zb740-cli"), args);
    auto drain = [&] {
        char block[65536];
        ssize_t n;
        while ((n = ::read(reader, block, sizeof block)) > 0)
            r.received.append(block, n);
    };
    for (int waited = 0; p.state() != QProcess::NotRunning && waited < 60000; waited += 10) {
        drain();
        p.waitForFinished(10);
    }
    drain();
    ::close(reader);
    if (p.state() != QProcess::NotRunning) {
        p.kill();
        p.waitForFinished();
        return r;
    }
    r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = p.readAllStandardOutput();
    r.err = p.readAllStandardError();
    return r;
}

// A whole file saved through DurableFile, step by step.
Status durableSave(const QString& path, const QByteArray& bytes)
{
    DurableFile file(path);
    if (Status s = file.open(); !s.ok())
        return s;
    file.device().write(bytes);
    if (Status s = file.finish(); !s.ok())
        return s;
    return file.commit();
}

class WritePathTest : public TempDirTest {
protected:
    ScopedTimeZone m_tz {"UTC0"};
};

// The command-line writers that take any -o: what each writes, how its
// files begin, and how its failure to write reads.
struct CliOutput {
    const char* command;
    QByteArray magic;
    QStringList options;
    QString failure; // %1: the output, %2: the reason
};

const CliOutput kCliOutputs[] = {
    {"export", QByteArray("\xff\xfe", 2), {}, QStringLiteral("zb740-cli: %1: %2\n")},
    {"plot", QByteArray("\x89PNG"), {}, QStringLiteral("zb740-cli: cannot write %1: %2\n")},
    {"report", QByteArray("%PDF"), {"--date", "2027-01-02 03:04"}, QStringLiteral("zb740-cli: Could not save \"%1\": %2\n")},
};

} // namespace

TEST_F(WritePathTest, PlotAndReportWriteThroughFifosAndDeviceNodesAsExportDoes)
{
    const WriterTable table(path("in"));
    const bool nodes = makeCharDevice(path("null"), 1, 3) && makeCharDevice(path("full"), 1, 7);
    ASSERT_TRUE(makeFifo(path("out.fifo")));
    for (const CliOutput& c : kCliOutputs) {
        SCOPED_TRACE(c.command);
        const QStringList args = QStringList {QLatin1String(c.command), table.dataFile()} + c.options;
        // What it writes into a plain file.
        const WriteOutcome plain = runCli(args + QStringList {"-o", path("plain")});
        ASSERT_TRUE(plain.ok) << plain.message.toStdString();
        const QByteArray expected = readAll(path("plain"));
        ASSERT_TRUE(expected.startsWith(c.magic));

        // A FIFO with a reader gets the whole file and stays a FIFO.
        const FifoRun f = runIntoFifo(args + QStringList {"-o", path("out.fifo")}, path("out.fifo"));
        EXPECT_EQ(f.exitCode, 0) << f.err.toStdString();
        EXPECT_EQ(f.received.size(), expected.size());
        EXPECT_TRUE(f.received.startsWith(c.magic));
        EXPECT_EQ(fileTypeOf(path("out.fifo")), mode_t(S_IFIFO));

        // /dev/stdout: the file on standard output, nothing replaced.
        QProcess p;
        p.start(QStringLiteral(ZB740_TOOLS_DIR "/zb740-cli"), args + QStringList {"-o", "/dev/stdout"});
        ASSERT_TRUE(p.waitForFinished(60000));
        EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
        const QByteArray out = p.readAllStandardOutput();
        EXPECT_EQ(out.size(), expected.size());
        EXPECT_TRUE(out.startsWith(c.magic));

        // Device nodes like /dev/null and /dev/full, made in the test's
        // folder so that a fault cannot harm the system's own.
        if (!nodes)
            continue;
        WriteOutcome o = runCli(args + QStringList {"-o", path("null")});
        EXPECT_EQ(o.exitCode, 0) << o.message.toStdString();
        EXPECT_EQ(fileTypeOf(path("null")), mode_t(S_IFCHR));
        o = runCli(args + QStringList {"-o", path("full")});
        EXPECT_EQ(o.exitCode, 1);
        EXPECT_EQ(o.message, c.failure.arg(path("full"), QStringLiteral("No space left on device")));
        EXPECT_EQ(fileTypeOf(path("full")), mode_t(S_IFCHR));
        EXPECT_EQ(entries(m_tmp.path()), QStringList({"full", "in", "null", "out.fifo", "plain"}));
    }

    // The window's writers and the settings file refuse such a node at once
    // (a FIFO would hold the window until some program read it).
    for (const WriterRow& w : table.rows()) {
        if (w.commandLine)
            continue;
        SCOPED_TRACE(w.name.toStdString());
        for (const char* node : {"out.fifo", "null"}) {
            if (!QFileInfo::exists(path(node)))
                continue;
            const mode_t type = fileTypeOf(path(node));
            const WriteOutcome o = w.write(path(node));
            EXPECT_FALSE(o.ok);
            EXPECT_TRUE(o.message.endsWith(QLatin1String("Not a regular file"))) << o.message.toStdString();
            EXPECT_EQ(fileTypeOf(path(node)), type) << node;
        }
    }
    if (!nodes)
        GTEST_SKIP() << "the FIFO cases ran; making device nodes needs root (and CAP_MKNOD)";
}

TEST_F(WritePathTest, PlotNeverReplacesItsOwnDataFile)
{
    const WriterTable table(path("in"));
    const QByteArray data = readAll(table.dataFile());
    const WriteOutcome o = runCli({"plot", table.dataFile(), "-o", table.dataFile()});
    EXPECT_EQ(o.exitCode, 2);
    EXPECT_TRUE(o.message.startsWith("zb740-cli plot: the image would replace its own data file\n")) << o.message.toStdString();
    EXPECT_EQ(readAll(table.dataFile()), data);
}

TEST_F(WritePathTest, EveryWriterRefusesAnotherUsersLinkInASharedFolder)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root: the planted link must belong to another user (lchown)";
    const WriterTable table(path("in"));
    // A private folder with a private file of the user's; a folder every
    // user may write to, where another user plants links to them.
    ASSERT_TRUE(makeFolder(path("private"), 0700));
    ASSERT_TRUE(makeFolder(path("shared"), 01777));
    const QByteArray secret = "the user's own file, mode 600";
    for (const WriterRow& w : table.rows()) {
        enum class Planted { AtTheOutput, AtTheExportBeside, OnTheWay };
        for (Planted planted : {Planted::AtTheOutput, Planted::AtTheExportBeside, Planted::OnTheWay}) {
            if (planted == Planted::AtTheExportBeside && !w.writesExportToo)
                continue;
            SCOPED_TRACE(testing::Message() << w.name.toStdString() << ", link "
                                            << (planted == Planted::AtTheOutput         ? "at the output"
                                                : planted == Planted::AtTheExportBeside ? "at the export beside it"
                                                                                        : "to the folder on the way"));
            for (const QString& name : entries(path("shared")))
                ASSERT_TRUE(QFile::remove(path("shared/" + name)));
            for (const QString& name : entries(path("private")))
                ASSERT_TRUE(QFile::remove(path("private/" + name)));
            ASSERT_TRUE(writeAll(path("private/secret"), secret));
            ASSERT_EQ(::chmod(QFile::encodeName(path("private/secret")).constData(), 0600), 0);

            QString out, link;
            switch (planted) {
            case Planted::AtTheOutput:
                out = link = path("shared/out.AsmDat");
                ASSERT_TRUE(makeLink(link, path("private/secret"), kNobody));
                break;
            case Planted::AtTheExportBeside:
                out = path("shared/out.AsmDat");
                link = path("shared/out.csv");
                ASSERT_TRUE(makeLink(link, path("private/secret"), kNobody));
                break;
            case Planted::OnTheWay:
                link = path("shared/folder");
                out = link + QStringLiteral("/secret");
                ASSERT_TRUE(makeLink(link, path("private"), kNobody));
                break;
            }
            const QString target = linkTarget(link);

            const WriteOutcome o = w.write(out);
            EXPECT_FALSE(o.ok);
            if (w.commandLine) {
                EXPECT_EQ(o.exitCode, 1);
            }
            if (o.reports >= 0) {
                EXPECT_EQ(o.reports, 1) << "the refusal is shown once";
            }
            EXPECT_TRUE(o.message.contains(refusal(link))) << o.message.toStdString();

            // Nothing written where the link leads, nothing replaced.
            EXPECT_EQ(readAll(path("private/secret")), secret);
            EXPECT_EQ(ownerOf(path("private/secret")).mode, mode_t(0600));
            EXPECT_EQ(entries(path("private")), QStringList {"secret"});
            EXPECT_EQ(fileTypeOf(link), mode_t(S_IFLNK));
            EXPECT_EQ(linkTarget(link), target);
            QStringList left = entries(path("shared"));
            left.removeAll(QFileInfo(link).fileName());
            if (w.records) {
                // Its samples are kept in its journal, which never follows a
                // link (a new file only).
                left.removeAll(QStringLiteral("out.AsmDat.journal"));
            }
            EXPECT_EQ(left, QStringList()) << "nothing new in the shared folder";
        }
    }

    // A journal is never begun through such a link either.
    for (const QString& name : entries(path("shared")))
        ASSERT_TRUE(QFile::remove(path("shared/" + name)));
    ASSERT_TRUE(makeLink(path("shared/folder"), path("private"), kNobody));
    JournalFacts facts;
    facts.start = utc(2026, 1, 2, 3, 4, 5);
    facts.interval = 1;
    facts.sampleLimit = 10;
    facts.unit = QStringLiteral("C");
    RunJournal journal;
    const Status begun = journal.begin(path("shared/folder/run.journal"), facts);
    EXPECT_FALSE(begun.ok());
    EXPECT_TRUE(begun.message().contains(refusal(path("shared/folder")))) << begun.message().toStdString();
    EXPECT_EQ(entries(path("private")), QStringList {"secret"});
    ASSERT_TRUE(makeLink(path("shared/run.journal"), path("private/new.journal"), kNobody));
    EXPECT_FALSE(journal.begin(path("shared/run.journal"), facts).ok());
    EXPECT_EQ(entries(path("private")), QStringList {"secret"});
}

TEST_F(WritePathTest, LinksAreFollowedAsTheKernelsProtectedSymlinksRuleAllows)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root: the links must belong to other users (lchown)";
    // The kernel's rule: in a folder that is sticky and writable by every
    // user, a link is followed only when it belongs to the one following
    // it or to the folder's owner (here also: to root). Elsewhere, always.
    struct Case {
        const char* what;
        mode_t folderMode;
        uid_t folderOwner;
        uid_t linkOwner;
        bool followed;
    } cases[] = {
        {"the user's own link in a shared folder", 01777, 0, 0, true},
        {"the folder owner's link in a shared folder", 01777, kSomeUser, kSomeUser, true},
        {"another user's link in a shared folder", 01777, 0, kNobody, false},
        {"another user's link in someone else's shared folder", 01777, kSomeUser, kNobody, false},
        {"another user's link in a folder writable by all, not sticky", 0777, 0, kNobody, true},
        {"another user's link in a sticky folder not writable by all", 01775, 0, kNobody, true},
        {"another user's link in their own folder", 0755, kNobody, kNobody, true},
    };
    ASSERT_TRUE(makeFolder(path("private"), 0700));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        QDir(path("links")).removeRecursively();
        ASSERT_TRUE(writeAll(path("private/target"), "old"));
        ASSERT_TRUE(makeFolder(path("links"), c.folderMode, c.folderOwner));
        // Absolute and relative links alike.
        for (const QString& to : {path("private/target"), QStringLiteral("../private/target")}) {
            ASSERT_TRUE(QFile::remove(path("links/out")) || !QFileInfo::exists(path("links/out")));
            ASSERT_TRUE(makeLink(path("links/out"), to, c.linkOwner));
            const Status s = durableSave(path("links/out"), "new");
            EXPECT_EQ(s.ok(), c.followed) << s.message().toStdString();
            EXPECT_EQ(readAll(path("private/target")), c.followed ? "new" : "old");
            if (!c.followed) {
                EXPECT_EQ(s.message(), refusal(path("links/out")));
            }
            EXPECT_EQ(fileTypeOf(path("links/out")), mode_t(S_IFLNK));
            ASSERT_TRUE(writeAll(path("private/target"), "old"));
        }
    }

    // A chain: the user's own link leads to a planted one, which is refused;
    // a planted link to a file that does not exist yet makes no file there.
    QDir(path("links")).removeRecursively();
    ASSERT_TRUE(makeFolder(path("links"), 01777));
    ASSERT_TRUE(makeLink(path("links/planted"), path("private/target"), kNobody));
    ASSERT_TRUE(makeLink(path("mine"), path("links/planted"), 0));
    Status s = durableSave(path("mine"), "new");
    EXPECT_EQ(s.message(), refusal(path("links/planted")));
    EXPECT_EQ(readAll(path("private/target")), "old");
    ASSERT_TRUE(makeLink(path("links/dangling"), path("private/new"), kNobody));
    s = durableSave(path("links/dangling"), "new");
    EXPECT_EQ(s.message(), refusal(path("links/dangling")));
    EXPECT_FALSE(QFileInfo::exists(path("private/new")));
}

TEST_F(WritePathTest, SavesThroughTheUsersOwnLinksReplaceWhatTheyNameAndKeepThem)
{
    // Runs as any user: links in the user's own folders.
    const WriterTable table(path("in"));
    ASSERT_TRUE(QDir().mkpath(path("real/sub")));
    ASSERT_TRUE(writeAll(path("real/sub/data.csv"), "old"));
    // A relative link to a relative link through a link to a folder.
    ASSERT_TRUE(QFile::link(QStringLiteral("real/sub"), path("folder")));
    ASSERT_TRUE(QFile::link(QStringLiteral("folder/data.csv"), path("first.csv")));
    ASSERT_TRUE(QFile::link(QStringLiteral("first.csv"), path("mine.csv")));
    const WriteOutcome o = runCli({"export", table.dataFile(), "-o", path("mine.csv")});
    EXPECT_TRUE(o.ok) << o.message.toStdString();
    EXPECT_EQ(readAll(path("real/sub/data.csv")), readAll(RunFiles::exportPathFor(table.dataFile())));
    EXPECT_EQ(fileTypeOf(path("mine.csv")), mode_t(S_IFLNK));
    EXPECT_EQ(fileTypeOf(path("first.csv")), mode_t(S_IFLNK));
    EXPECT_EQ(entries(path("real/sub")), QStringList {"data.csv"}) << "no temporary file left";

    // The window's Save through a link to the data file: the export goes
    // beside the link, as the user named it.
    ASSERT_TRUE(QFile::link(QStringLiteral("real/sub/run.AsmDat"), path("run.AsmDat")));
    ASSERT_TRUE(RunFiles::saveRun(path("run.AsmDat"), table.view(), {10, 0}).ok());
    EXPECT_EQ(readAll(path("real/sub/run.AsmDat")), readAll(table.dataFile()));
    EXPECT_EQ(fileTypeOf(path("run.AsmDat")), mode_t(S_IFLNK));
    EXPECT_EQ(fileTypeOf(path("run.csv")), mode_t(S_IFREG));

    // A loop of links is named as such and writes nothing.
    ASSERT_TRUE(QFile::link(QStringLiteral("loop2"), path("loop1")));
    ASSERT_TRUE(QFile::link(QStringLiteral("loop1"), path("loop2")));
    const Status looped = durableSave(path("loop1"), "new");
    EXPECT_EQ(looped.message(), qt_error_string(ELOOP));
}
