// The run journal: what is written reads back, whatever moment a crash cuts
// it at; damage is dropped or refused, never read as samples.
#include "DataFixtures.h"
#include "FileNodes.h"
#include "TempDir.h"

#include "base/Crc32.h"
#include "data/Recovery.h"
#include "data/RunFiles.h"
#include "data/RunJournal.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QtEndian>
#include <gtest/gtest.h>
#include <memory>
#include <vector>

#ifdef Q_OS_UNIX
#include <csignal>
#include <fstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace {

ChannelValues sampleValues(int i)
{
    // The values LiveRun fills in, so a journal and a live run can be compared.
    return {20.0f + 0.1f * i, 15.5f - 0.2f * i, 10.25f, 25.96f - i, 55.0f + 0.5f * i};
}

JournalFacts someFacts()
{
    JournalFacts f;
    f.start = utc(2026, 12, 7, 23, 45, 55);
    f.interval = 2;
    f.sampleLimit = 1000;
    f.fahrenheit = false;
    f.unit = QStringLiteral("C");
    f.scale = {10, -2};
    return f;
}

// One step of a journal being written.
struct Step {
    enum Kind { Sample, Scale } kind;
    bool fahrenheit = false;
    YScaleValues scale {};
};

Status readBytes(const QByteArray& bytes, RecoveredRun& run)
{
    QBuffer buf;
    buf.setData(bytes);
    buf.open(QIODevice::ReadOnly);
    return Journal::read(buf, run);
}

void expectSamples(const RecoveredRun& run, int count)
{
    ASSERT_EQ(run.count, count);
    for (int i = 0; i < count; ++i) {
        const ChannelValues v = sampleValues(i);
        for (int c = 0; c < kChannelCount; ++c)
            ASSERT_EQ(run.values[i * kChannelCount + c], v[size_t(c)]) << "sample " << i << " channel " << c;
    }
}

} // namespace

class JournalTest : public TempDirTest {
protected:
    // Writes a journal of the steps; sample i carries sampleValues(i).
    QByteArray write(const QString& name, const JournalFacts& facts, const std::vector<Step>& steps)
    {
        RunJournal journal;
        const Status begun = journal.begin(path(name), facts);
        EXPECT_TRUE(begun.ok()) << begun.message().toStdString();
        int n = 0;
        for (const Step& s : steps) {
            const Status w = s.kind == Step::Sample ? journal.append(n, sampleValues(n), s.fahrenheit)
                                                    : journal.noteScale(s.scale);
            EXPECT_TRUE(w.ok()) << w.message().toStdString();
            if (s.kind == Step::Sample)
                ++n;
        }
        EXPECT_EQ(journal.count(), n);
        return readAll(path(name));
    }
    // n samples in the unit of the start, no scale change.
    QByteArray writeSamples(const QString& name, int n, JournalFacts facts = someFacts())
    {
        return write(name, facts, std::vector<Step>(size_t(n), Step {Step::Sample, facts.fahrenheit}));
    }

    std::unique_ptr<RecoveredRun> run = std::make_unique<RecoveredRun>();
};

TEST_F(JournalTest, HeaderAndRecordsRoundTrip)
{
    const JournalFacts facts = someFacts();
    const std::vector<Step> steps = {
        {Step::Sample}, {Step::Sample}, {Step::Sample}, {Step::Scale, false, {50, 5}},
        {Step::Sample}, {Step::Scale, false, {50, 5}}, // the same scale again writes nothing
        {Step::Sample}, {Step::Sample}, {Step::Sample}};
    const QByteArray bytes = write("run.journal", facts, steps);
    EXPECT_EQ(bytes.size(), Journal::kHeaderSize + 8 * Journal::kRecordSize);
    EXPECT_TRUE(bytes.startsWith("ZB740JNL"));

    const Status s = Journal::load(path("run.journal"), *run);
    ASSERT_TRUE(s.ok()) << s.message().toStdString();
    JournalFacts expected = facts;
    expected.scale = {50, 5};
    EXPECT_EQ(run->facts, expected);
    expectSamples(*run, 7);
    EXPECT_FALSE(run->tornRecordDropped);
    EXPECT_EQ(run->damagedRecordsDropped, 0);
    EXPECT_EQ(run->firstDroppedAt, -1);
    EXPECT_EQ(run->info(), (RunInfo {facts.start, 2, 7, false, QStringLiteral("C")}));

    // A run that committed nothing yet still tells its facts.
    JournalFacts f = facts;
    f.fahrenheit = true;
    f.unit = QStringLiteral("F");
    f.interval = 3600;
    f.sampleLimit = kMaxRunSamples;
    writeSamples("empty.journal", 0, f);
    ASSERT_TRUE(Journal::load(path("empty.journal"), *run).ok());
    EXPECT_EQ(run->facts, f);
    EXPECT_EQ(run->count, 0);
}

TEST_F(JournalTest, RecoveredUnitIsTheOneOfTheLastSample)
{
    struct Case {
        const char* name;
        bool startF;
        const char* startUnit;
        std::vector<bool> sampleF;
        bool endF;
        const char* endUnit;
    };
    const Case cases[] = {
        {"unchanged C", false, "C", {false, false}, false, "C"},
        {"C to F", false, "C", {false, false, true}, true, "F"},
        {"F to C", true, "F", {true, false}, false, "C"},
        {"there and back", false, "C", {true, false}, false, "C"},
        {"no sample keeps the start", true, "F", {}, true, "F"},
        {"no unit text before the first frame", false, "", {false}, false, "C"},
    };
    int k = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        JournalFacts f = someFacts();
        f.fahrenheit = c.startF;
        f.unit = QLatin1String(c.startUnit);
        std::vector<Step> steps;
        for (bool sf : c.sampleF)
            steps.push_back({Step::Sample, sf});
        const QString name = QStringLiteral("u%1.journal").arg(k++);
        write(name, f, steps);
        ASSERT_TRUE(Journal::load(path(name), *run).ok());
        EXPECT_EQ(run->facts.fahrenheit, c.endF);
        EXPECT_EQ(run->facts.unit, QLatin1String(c.endUnit));
        expectSamples(*run, int(c.sampleF.size())); // values stay in degrees C
    }
}

TEST_F(JournalTest, EveryTruncationKeepsTheWholeRecordsBeforeIt)
{
    // Records: S0 S1 Y S2 S3 S4.
    const std::vector<Step> steps = {{Step::Sample}, {Step::Sample}, {Step::Scale, false, {200, -5}},
                                     {Step::Sample}, {Step::Sample}, {Step::Sample}};
    const QByteArray full = write("full.journal", someFacts(), steps);
    ASSERT_EQ(full.size(), Journal::kHeaderSize + 6 * Journal::kRecordSize);

    for (qsizetype length = 0; length <= full.size(); ++length) {
        SCOPED_TRACE(length);
        const Status s = readBytes(full.left(length), *run);
        if (length < Journal::kHeaderSize) {
            EXPECT_EQ(s.code(), Status::Code::Damaged);
            EXPECT_TRUE(s.message().contains(QLatin1String("no samples"))) << s.message().toStdString();
            continue;
        }
        ASSERT_TRUE(s.ok()) << s.message().toStdString();
        const int records = int(length - Journal::kHeaderSize) / Journal::kRecordSize;
        const int samples = records >= 3 ? records - 1 : records;
        expectSamples(*run, samples);
        EXPECT_EQ(run->facts.scale, (records >= 3 ? YScaleValues {200, -5} : YScaleValues {10, -2}));
        const bool torn = (length - Journal::kHeaderSize) % Journal::kRecordSize != 0;
        EXPECT_EQ(run->tornRecordDropped, torn);
        EXPECT_EQ(run->firstDroppedAt, torn ? Journal::kHeaderSize + records * Journal::kRecordSize : -1);
        EXPECT_EQ(run->damagedRecordsDropped, 0);
    }

    // The same through a real file cut short.
    ASSERT_TRUE(writeAll(path("cut.journal"), full.left(full.size() - 5)));
    ASSERT_TRUE(Journal::load(path("cut.journal"), *run).ok());
    expectSamples(*run, 4);
    EXPECT_TRUE(run->tornRecordDropped);
}

TEST_F(JournalTest, FlippedByteInTheLastRecordDropsThatRecordOnly)
{
    const QByteArray full = writeSamples("full.journal", 6);
    const qsizetype last = full.size() - Journal::kRecordSize;
    for (int at = 0; at < Journal::kRecordSize; ++at) {
        for (char bit : {char(0x01), char(0x80)}) {
            SCOPED_TRACE(testing::Message() << "byte " << at << " bit " << int(uint8_t(bit)));
            QByteArray bytes = full;
            bytes[last + at] = char(bytes[last + at] ^ bit);
            ASSERT_TRUE(readBytes(bytes, *run).ok());
            expectSamples(*run, 5);
            EXPECT_TRUE(run->tornRecordDropped);
            EXPECT_EQ(run->damagedRecordsDropped, 0);
            EXPECT_EQ(run->firstDroppedAt, last);
        }
    }
}

TEST_F(JournalTest, DamageBeforeTheLastRecordDropsTheRestAndSaysSo)
{
    const QByteArray full = writeSamples("full.journal", 6);
    struct Case {
        const char* name;
        qsizetype at;       // byte to change
        char to;            // its new value
        int samples;        // recovered
        int dropped;        // records dropped as damaged
    };
    const qsizetype r2 = Journal::kHeaderSize + 2 * Journal::kRecordSize;
    const Case cases[] = {
        {"a value", r2 + 9, char(0x55), 2, 4},
        {"the checksum", r2 + 30, char(0x00), 2, 4},
        {"the first record", Journal::kHeaderSize + 4, char(0x07), 0, 6},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QByteArray bytes = full;
        ASSERT_NE(bytes[c.at], c.to);
        bytes[c.at] = c.to;
        ASSERT_TRUE(readBytes(bytes, *run).ok());
        expectSamples(*run, c.samples);
        EXPECT_FALSE(run->tornRecordDropped);
        EXPECT_EQ(run->damagedRecordsDropped, c.dropped);
    }

    // A record with a sound checksum in the wrong place (a sample missing)
    // is not read as the next sample either.
    QByteArray skipped = full.left(Journal::kHeaderSize + 2 * Journal::kRecordSize)
        + full.mid(Journal::kHeaderSize + 3 * Journal::kRecordSize);
    ASSERT_TRUE(readBytes(skipped, *run).ok());
    expectSamples(*run, 2);
    EXPECT_EQ(run->damagedRecordsDropped, 3);
}

TEST_F(JournalTest, FlippedByteInTheHeaderIsRefused)
{
    const QByteArray full = writeSamples("full.journal", 3);
    for (int at = 0; at < Journal::kHeaderSize; ++at) {
        SCOPED_TRACE(at);
        QByteArray bytes = full;
        bytes[at] = char(bytes[at] ^ 0x01);
        run->count = 77;
        const Status s = readBytes(bytes, *run);
        ASSERT_FALSE(s.ok());
        EXPECT_EQ(run->count, 77) << "a refused journal leaves the run alone";
        if (at < 8) {
            EXPECT_EQ(s.code(), Status::Code::InvalidFormat);
            EXPECT_EQ(s.message(), QLatin1String("This is not a run journal."));
        } else if (at < 12) {
            EXPECT_EQ(s.code(), Status::Code::InvalidFormat);
            EXPECT_TRUE(s.message().contains(QLatin1String("format version"))) << s.message().toStdString();
        } else {
            EXPECT_EQ(s.code(), Status::Code::Damaged);
            EXPECT_EQ(s.message(), QLatin1String("The journal's header is damaged (its checksum does not match)."));
        }
    }
    // Not a journal at all.
    EXPECT_EQ(readBytes(QByteArray("\x06KM4471", 7) + QByteArray(100, '\0'), *run).code(), Status::Code::InvalidFormat);
}

TEST_F(JournalTest, ImpossibleHeaderIsRefusedDespiteItsChecksum)
{
    const QByteArray full = writeSamples("full.journal", 2);
    struct Case {
        int at;
        int32_t value;
        const char* says;
    };
    const Case cases[] = {
        {8, 2, "format version 2"},
        {28, 0, "impossible sample interval 0"},
        {32, kMaxRunSamples + 1, "impossible sample limit 10001"},
        {32, 0, "impossible sample limit 0"},
        {12, 65, "impossible layout"},
        {36, 2, "impossible layout"}, // unit flag byte (and the unit length after it)
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.says);
        QByteArray bytes = full;
        qToLittleEndian<int32_t>(c.value, bytes.data() + c.at);
        qToLittleEndian<uint32_t>(Crc32::of(bytes.constData(), 60), bytes.data() + 60);
        const Status s = readBytes(bytes, *run);
        ASSERT_FALSE(s.ok());
        EXPECT_TRUE(s.message().contains(QLatin1String(c.says))) << s.message().toStdString();
    }
}

#ifdef Q_OS_UNIX
TEST_F(JournalTest, SamplesAppendedBeforeAKillAreRecovered)
{
    // A child process journals a run and reports every sample append
    // returned for; it is killed in the middle of the run.
    const QString journalPath = path("killed.journal");
    int acks[2];
    ASSERT_EQ(::pipe(acks), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::close(acks[0]);
        RunJournal journal;
        if (!journal.begin(journalPath, someFacts()).ok())
            ::_exit(2);
        for (int i = 0; i < 1000; ++i) {
            if (!journal.append(i, sampleValues(i), false).ok() || ::write(acks[1], &i, sizeof i) != sizeof i)
                ::_exit(3);
        }
        ::_exit(0);
    }
    ::close(acks[1]);
    int last = -1;
    while (last < 20 && ::read(acks[0], &last, sizeof last) == int(sizeof last)) {
    }
    ::kill(child, SIGKILL);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status)) << "the child ended on its own with " << status;
    for (int more; ::read(acks[0], &more, sizeof more) == int(sizeof more);)
        last = more;
    ::close(acks[0]);
    ASSERT_GE(last, 20);

    ASSERT_TRUE(Journal::load(journalPath, *run).ok());
    // Every acknowledged sample, and at most the one being acknowledged.
    EXPECT_GE(run->count, last + 1);
    EXPECT_LE(run->count, last + 2);
    expectSamples(*run, run->count);
    EXPECT_EQ(run->damagedRecordsDropped, 0);
}
#endif

TEST_F(JournalTest, WriterKeepsItsRules)
{
    JournalFacts facts = someFacts();
    facts.sampleLimit = 3;
    RunJournal journal;
    EXPECT_EQ(journal.append(0, sampleValues(0), false).code(), Status::Code::NotOpen);

    // An existing file is never replaced.
    ASSERT_TRUE(writeAll(path("taken.journal"), "earlier run"));
    EXPECT_FALSE(journal.begin(path("taken.journal"), facts).ok());
    EXPECT_EQ(readAll(path("taken.journal")), QByteArray("earlier run"));
    EXPECT_FALSE(journal.isOpen());

    // Facts no data file could hold are refused, and nothing is created.
    JournalFacts bad = facts;
    bad.interval = 0;
    EXPECT_EQ(journal.begin(path("bad.journal"), bad).code(), Status::Code::BadSetting);
    bad = facts;
    bad.unit = QStringLiteral("degrees C");
    EXPECT_EQ(journal.begin(path("bad.journal"), bad).code(), Status::Code::BadSetting);
    EXPECT_FALSE(QFile::exists(path("bad.journal")));

    ASSERT_TRUE(journal.begin(path("run.journal"), facts).ok());
    EXPECT_TRUE(journal.append(0, sampleValues(0), false).ok());
    EXPECT_FALSE(journal.append(2, sampleValues(2), false).ok()) << "out of order";
    EXPECT_FALSE(journal.append(0, sampleValues(0), false).ok()) << "twice";
    EXPECT_TRUE(journal.append(1, sampleValues(1), false).ok());
    EXPECT_TRUE(journal.append(2, sampleValues(2), false).ok());
    EXPECT_FALSE(journal.append(3, sampleValues(3), false).ok()) << "beyond the limit";
    EXPECT_EQ(journal.count(), 3);
    journal.close();
    ASSERT_TRUE(Journal::load(path("run.journal"), *run).ok());
    expectSamples(*run, 3);
    EXPECT_EQ(run->damagedRecordsDropped + int(run->tornRecordDropped), 0);
}

TEST_F(JournalTest, JournalGoesOnlyWhenRemoved)
{
    {
        RunJournal journal;
        ASSERT_TRUE(journal.begin(path("kept.journal"), someFacts()).ok());
        ASSERT_TRUE(journal.append(0, sampleValues(0), false).ok());
    }
    EXPECT_TRUE(QFile::exists(path("kept.journal"))) << "destroying the writer keeps the journal";

    // A second run in the same writer keeps the first journal too.
    RunJournal journal;
    ASSERT_TRUE(journal.begin(path("first.journal"), someFacts()).ok());
    ASSERT_TRUE(journal.begin(path("second.journal"), someFacts()).ok());
    EXPECT_TRUE(QFile::exists(path("first.journal")));

    ASSERT_TRUE(journal.remove().ok());
    EXPECT_FALSE(QFile::exists(path("second.journal")));
    EXPECT_TRUE(QFile::exists(path("first.journal")));
    EXPECT_FALSE(journal.remove().ok()) << "nothing left to remove";

    EXPECT_TRUE(RunJournal::removeFile(path("kept.journal")).ok());
    EXPECT_FALSE(QFile::exists(path("kept.journal")));
    EXPECT_FALSE(RunJournal::removeFile(path("kept.journal")).ok());
}

TEST_F(JournalTest, RecoveredRunSavesTheFilesSaveWouldHaveWritten)
{
    ScopedTimeZone tz("Europe/Berlin");
    for (const bool fahrenheit : {false, true}) {
        SCOPED_TRACE(fahrenheit);
        const int n = 250;
        LiveRun live(n, utc(2026, 3, 29, 0, 30, 0), 10, fahrenheit);
        const YScaleValues scale {20, -5};
        ASSERT_TRUE(RunFiles::saveRun(path("saved.AsmDat"), RunView::of(*live.live, live.run.info()), scale).ok());

        JournalFacts facts;
        facts.start = live.run.m_tStart;
        facts.interval = 10;
        facts.sampleLimit = 1000;
        facts.fahrenheit = fahrenheit;
        facts.unit = live.run.m_strUnit;
        facts.scale = scale;
        const QString name = QStringLiteral("run%1.journal").arg(fahrenheit);
        writeSamples(name, n, facts);
        ASSERT_TRUE(Journal::load(path(name), *run).ok());
        ASSERT_TRUE(RunFiles::saveRun(path("recovered.AsmDat"), run->view(), run->facts.scale).ok());

        EXPECT_EQ(readAll(path("recovered.AsmDat")), readAll(path("saved.AsmDat")));
        EXPECT_EQ(readAll(path("recovered.csv")), readAll(path("saved.csv")));
    }
}

TEST_F(JournalTest, RecoveryFolderNamesAndLists)
{
    ScopedTimeZone tz("UTC0");
    const QString settingsDir = path("ZB740");
    const int64_t start = utc(2026, 12, 7, 23, 45, 55);
    EXPECT_TRUE(Recovery::journalsIn(settingsDir).isEmpty());
    EXPECT_FALSE(QFileInfo::exists(Recovery::folderIn(settingsDir))) << "listing creates nothing";

    QString first, second, later;
    ASSERT_TRUE(Recovery::newJournalPath(settingsDir, start, first).ok());
    EXPECT_EQ(first, path("ZB740/recovery/26-12-07 23.45.55.journal"));
    EXPECT_TRUE(QFileInfo(path("ZB740/recovery")).isDir());
    RunJournal a;
    ASSERT_TRUE(a.begin(first, someFacts()).ok());
    ASSERT_TRUE(Recovery::newJournalPath(settingsDir, start, second).ok());
    EXPECT_EQ(second, path("ZB740/recovery/26-12-07 23.45.55-2.journal")) << "never the name of a kept journal";
    RunJournal b;
    ASSERT_TRUE(b.begin(second, someFacts()).ok());
    ASSERT_TRUE(Recovery::newJournalPath(settingsDir, start - 86400, later).ok());
    RunJournal c;
    ASSERT_TRUE(c.begin(later, someFacts()).ok());
    ASSERT_TRUE(writeAll(path("ZB740/recovery/notes.txt"), "x"));
    ASSERT_TRUE(QDir().mkpath(path("ZB740/recovery/folder.journal")));

    EXPECT_EQ(Recovery::journalsIn(settingsDir), (QStringList {later, first, second}));
}

TEST_F(JournalTest, DefaultDataFileOfAJournal)
{
    ScopedTimeZone tz("UTC0");
    const int64_t start = utc(2026, 12, 7, 23, 45, 55);
    const struct {
        const char* journal;
        const char* data;
    } cases[] = {
        {"/d/run.AsmDat.journal", "/d/run.AsmDat"},
        {"/d/run.asmdat.journal", "/d/run.asmdat"},
        {"/d/26-12-07 23.45.55.journal", "/d/26-12-07 23.45.55.AsmDat"},
        {"/d/other.journal", "/d/26-12-07 23.45.55.AsmDat"},
        {"/d/.AsmDat.journal", "/d/26-12-07 23.45.55.AsmDat"},
        {"/d/run.AsmDat", "/d/26-12-07 23.45.55.AsmDat"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Recovery::dataPathFor(QLatin1String(c.journal), start), QLatin1String(c.data)) << c.journal;
    EXPECT_EQ(Recovery::journalPathFor(QStringLiteral("/d/run.AsmDat")), QLatin1String("/d/run.AsmDat.journal"));
}

// --- journals in use, journals without a sample, journals not to be read ---

namespace {

// Opens path as a journal found on disk; the status of the open.
Status tryTake(const QString& path, FoundJournal::Access access = FoundJournal::Access::Take)
{
    FoundJournal found;
    return found.open(path, access);
}

#ifdef Q_OS_UNIX
// Bytes this process has read through read() and the like so far.
qint64 bytesReadByThisProcess()
{
    std::ifstream io("/proc/self/io");
    std::string key;
    qint64 value = 0;
    while (io >> key >> value) {
        if (key == "rchar:")
            return value;
    }
    return -1;
}
#endif

} // namespace

TEST_F(JournalTest, AJournalIsInUseWhileItsWriterHoldsIt)
{
    const QString p = path("live.journal");
    auto journal = std::make_unique<RunJournal>();
    ASSERT_TRUE(journal->begin(p, someFacts()).ok());
    // Before its first sample, with samples, and once the run ended unsaved:
    // the program that recorded it still has the run.
    for (const char* when : {"begun", "with samples", "closed"}) {
        SCOPED_TRACE(when);
        if (std::string(when) == "with samples") {
            ASSERT_TRUE(journal->append(0, sampleValues(0), false).ok());
            ASSERT_TRUE(journal->append(1, sampleValues(1), false).ok());
        }
        if (std::string(when) == "closed")
            journal->close();
        for (auto access : {FoundJournal::Access::Read, FoundJournal::Access::Take}) {
            const Status s = tryTake(p, access);
            EXPECT_EQ(s.code(), Status::Code::Busy);
            EXPECT_EQ(s.message(), QLatin1String("in use by a running ZB740"));
        }
        const Status removed = RunJournal::removeFile(p);
        EXPECT_EQ(removed.code(), Status::Code::Busy) << removed.message().toStdString();
        EXPECT_TRUE(QFile::exists(p));
        // Reading it as such (a test, a look) is not refused.
        ASSERT_TRUE(Journal::load(p, *run).ok());
    }
    EXPECT_EQ(run->count, 2);

    // Let go (the program ended), it is free: readers share it, a taker
    // holds it alone.
    journal->release();
    EXPECT_TRUE(QFile::exists(p));
    {
        FoundJournal a, b;
        ASSERT_TRUE(a.open(p, FoundJournal::Access::Read).ok());
        ASSERT_TRUE(b.open(p, FoundJournal::Access::Read).ok());
        EXPECT_EQ(tryTake(p).code(), Status::Code::Busy) << "read by others";
    }
    {
        FoundJournal taker;
        ASSERT_TRUE(taker.open(p, FoundJournal::Access::Take).ok());
        EXPECT_EQ(tryTake(p, FoundJournal::Access::Read).code(), Status::Code::Busy);
        ASSERT_TRUE(taker.read(*run).ok());
        EXPECT_EQ(run->count, 2);
        EXPECT_FALSE(taker.holdsNoSample());
        ASSERT_TRUE(taker.remove().ok());
    }
    EXPECT_FALSE(QFile::exists(p));

    // A writer's own remove() needs no lock of anyone else's.
    ASSERT_TRUE(journal->begin(p, someFacts()).ok());
    ASSERT_TRUE(journal->remove().ok());
    EXPECT_FALSE(QFile::exists(p));
}

#ifdef Q_OS_UNIX
TEST_F(JournalTest, TheLockGoesWithTheProcessThatHeldIt)
{
    // A program recording into a journal, then killed: the system lets the
    // lock go, and the journal is a crash's leftover to recover.
    const QString p = path("crashed.journal");
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::close(ready[0]);
        RunJournal journal;
        const char ok = journal.begin(p, someFacts()).ok() && journal.append(0, sampleValues(0), false).ok() ? 1 : 0;
        if (::write(ready[1], &ok, 1) != 1)
            ::_exit(3);
        for (;;)
            ::pause();
    }
    ::close(ready[1]);
    char ok = 0;
    ASSERT_EQ(::read(ready[0], &ok, 1), 1);
    ::close(ready[0]);
    ASSERT_EQ(ok, 1);
    EXPECT_EQ(tryTake(p).code(), Status::Code::Busy);
    ::kill(child, SIGKILL);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    FoundJournal found;
    ASSERT_TRUE(found.open(p, FoundJournal::Access::Take).ok());
    ASSERT_TRUE(found.read(*run).ok());
    EXPECT_EQ(run->count, 1);
}
#endif

TEST_F(JournalTest, AReservedNameIsHeldThroughRunsWithoutASample)
{
    const QString p = path("run.AsmDat.journal");
    {
        RunJournal journal;
        ASSERT_TRUE(journal.reserve(p).ok());
        EXPECT_TRUE(QFile::exists(p));
        EXPECT_EQ(QFileInfo(p).size(), 0);
        EXPECT_EQ(tryTake(p).code(), Status::Code::Busy) << "taken from the reservation on";
        RunJournal other;
        EXPECT_EQ(other.reserve(p).code(), Status::Code::Busy);
        EXPECT_EQ(other.begin(p, someFacts()).code(), Status::Code::Busy);

        // A run that ends without a sample leaves the empty file, still held.
        ASSERT_TRUE(journal.begin(p, someFacts()).ok());
        EXPECT_EQ(QFileInfo(p).size(), Journal::kHeaderSize);
        journal.close();
        ASSERT_TRUE(journal.empty().ok());
        EXPECT_EQ(QFileInfo(p).size(), 0);
        EXPECT_EQ(tryTake(p).code(), Status::Code::Busy);

        // The next run writes into it.
        ASSERT_TRUE(journal.begin(p, someFacts()).ok());
        ASSERT_TRUE(journal.append(0, sampleValues(0), false).ok());
        journal.close();
        EXPECT_FALSE(journal.empty().ok()) << "a sample is never emptied away";
    }
    ASSERT_TRUE(Journal::load(p, *run).ok());
    EXPECT_EQ(run->count, 1) << "a journal with a sample stays when let go";
    ASSERT_TRUE(RunJournal::removeFile(p).ok());

    // An unused reservation goes when let go: it holds nothing.
    {
        RunJournal journal;
        ASSERT_TRUE(journal.reserve(p).ok());
    }
    EXPECT_FALSE(QFile::exists(p));
    {
        RunJournal journal;
        ASSERT_TRUE(journal.reserve(p).ok());
        ASSERT_TRUE(journal.begin(path("elsewhere.journal"), someFacts()).ok());
        EXPECT_FALSE(QFile::exists(p)) << "another journal let the reservation go";
    }

    // A folder that cannot be written: the system's reason.
    ASSERT_TRUE(writeAll(path("file"), "x"));
    RunJournal journal;
    const Status s = journal.reserve(path("file/run.AsmDat.journal"));
    EXPECT_EQ(s.code(), Status::Code::CannotOpen);
    EXPECT_EQ(s.message(), QLatin1String("Not a directory"));
}

TEST_F(JournalTest, AJournalWithoutASampleIsToldApart)
{
    const QByteArray full = writeSamples("full.journal", 3);
    const qsizetype r0 = Journal::kHeaderSize;
    QByteArray firstDamaged = full;
    firstDamaged[r0 + 9] = char(firstDamaged[r0 + 9] ^ 0x10);
    const struct {
        const char* name;
        QByteArray bytes;
        bool noSample;
    } cases[] = {
        {"empty", {}, true},
        {"in the magic", full.left(5), true},
        {"in the header", full.left(40), true},
        {"the header", full.left(r0), true},
        {"a torn first record", full.left(r0 + 20), true},
        {"a sample", full.left(r0 + Journal::kRecordSize), false},
        {"the first record damaged, more after it", firstDamaged, false},
        {"a damaged header", QByteArray(full).replace(30, 1, "\x7f"), false},
        {"not a journal", QByteArray("notes about a run, nothing more"), false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(writeAll(path("j.journal"), c.bytes));
        FoundJournal found;
        ASSERT_TRUE(found.open(path("j.journal"), FoundJournal::Access::Take).ok());
        (void)found.read(*run);
        EXPECT_EQ(found.holdsNoSample(), c.noSample);
    }
}

#ifdef Q_OS_UNIX
TEST_F(JournalTest, OnlyRegularFilesAreReadAndNoneIsWaitedFor)
{
    // A FIFO, and a link to one, named as journals: opening either for
    // reading would wait for a writer forever.
    ASSERT_TRUE(makeFifo(path("pipe")));
    ASSERT_TRUE(makeFifo(path("fifo.journal")));
    ASSERT_TRUE(QFile::link(path("pipe"), path("link.journal")));
    ASSERT_TRUE(QDir().mkpath(path("folder.journal")));
    FifoUnblocker guard1(path("pipe")), guard2(path("fifo.journal"));
    for (const char* name : {"fifo.journal", "link.journal", "folder.journal"}) {
        SCOPED_TRACE(name);
        const Status loaded = Journal::load(path(QLatin1String(name)), *run);
        EXPECT_EQ(loaded.code(), Status::Code::NotRegularFile);
        EXPECT_EQ(loaded.message(), QLatin1String("Not a regular file"));
        EXPECT_EQ(tryTake(path(QLatin1String(name))).code(), Status::Code::NotRegularFile);
        EXPECT_EQ(RunJournal::removeFile(path(QLatin1String(name))).code(), Status::Code::NotRegularFile);
    }
    EXPECT_EQ(guard1.done() + guard2.done(), 0) << "a reader was blocked";
    EXPECT_EQ(fileTypeOf(path("fifo.journal")), mode_t(S_IFIFO)) << "not removed";
}

TEST_F(JournalTest, ReadingStopsAtTheLongestJournalTheHeaderAllows)
{
    // Two samples, then a hole of a gigabyte (a sparse file takes no room):
    // what follows the damage is counted from the size, not read.
    const QByteArray two = writeSamples("two.journal", 2);
    const qint64 size = qint64(1) << 30;
    ASSERT_TRUE(writeAll(path("sparse.journal"), two));
    {
        QFile f(path("sparse.journal"));
        ASSERT_TRUE(f.resize(size));
    }
    const qint64 before = bytesReadByThisProcess();
    ASSERT_TRUE(Journal::load(path("sparse.journal"), *run).ok());
    const qint64 read = bytesReadByThisProcess() - before;
    expectSamples(*run, 2);
    EXPECT_EQ(run->firstDroppedAt, two.size());
    EXPECT_EQ(run->damagedRecordsDropped, (size - two.size()) / Journal::kRecordSize);
    if (before >= 0) {
        EXPECT_LT(read, 1 << 20) << "bytes read of a journal of 128 bytes and a hole of a gigabyte";
    }

    // Changes of the scale: a journal keeps at most kMaxScaleRecords, and a
    // reader takes no more (here a sample limit of 3 and a flood of valid
    // scale records).
    JournalFacts facts = someFacts();
    facts.sampleLimit = 3;
    RunJournal writer;
    ASSERT_TRUE(writer.begin(path("scales.journal"), facts).ok());
    QByteArray bytes = readAll(path("scales.journal"));
    writer.release();
    auto scaleRecord = [](int samplesBefore, int32_t gain) {
        QByteArray r(Journal::kRecordSize, '\0');
        r[0] = 'Y';
        qToLittleEndian<int32_t>(samplesBefore, r.data() + 4);
        qToLittleEndian<int32_t>(gain, r.data() + 8);
        qToLittleEndian<uint32_t>(Crc32::of(r.constData(), 28), r.data() + 28);
        return r;
    };
    for (int i = 0; i < Journal::kMaxScaleRecords + 5; ++i)
        bytes += scaleRecord(0, 10 + i % 2);
    ASSERT_TRUE(readBytes(bytes, *run).ok());
    EXPECT_EQ(run->count, 0);
    EXPECT_EQ(run->facts.scale.gain, 10 + (Journal::kMaxScaleRecords - 1) % 2);
    EXPECT_EQ(run->damagedRecordsDropped, 5);
    EXPECT_EQ(run->firstDroppedAt, Journal::kHeaderSize + qint64(Journal::kMaxScaleRecords) * Journal::kRecordSize);
}
#endif

TEST_F(JournalTest, TheWriterKeepsNoMoreScaleChangesThanAReaderTakes)
{
    // Ten thousand synced records: in memory where the system has a
    // memory file system, so the syncs cost nothing.
    QTemporaryDir shm(QStringLiteral("/dev/shm/zb740-test-XXXXXX"));
    const QString p = shm.isValid() ? QDir(shm.path()).filePath(QStringLiteral("run.journal")) : path("run.journal");
    JournalFacts facts = someFacts();
    RunJournal journal;
    ASSERT_TRUE(journal.begin(p, facts).ok());
    ASSERT_TRUE(journal.append(0, sampleValues(0), false).ok());
    for (int i = 0; i < Journal::kMaxScaleRecords; ++i)
        ASSERT_TRUE(journal.noteScale({facts.scale.gain + 1 + i % 2, 0}).ok()) << i;
    const Status more = journal.noteScale({facts.scale.gain + 5, 0});
    EXPECT_FALSE(more.ok());
    EXPECT_TRUE(more.message().contains(QLatin1String("changes of the scale"))) << more.message().toStdString();
    ASSERT_TRUE(journal.append(1, sampleValues(1), false).ok()) << "samples go on";
    journal.close();
    ASSERT_TRUE(Journal::load(p, *run).ok());
    expectSamples(*run, 2);
    EXPECT_EQ(run->damagedRecordsDropped + int(run->tornRecordDropped), 0);
}
