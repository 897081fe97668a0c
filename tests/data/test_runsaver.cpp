#include "DataFixtures.h"
#include "ModalAnswers.h"
#include "TempDir.h"

#include "data/RunFiles.h"
#include "app/RunSaver.h"

#include <QBuffer>
#include <QDir>
#include <QFileDialog>
#include <QLineEdit>
#include <QRegularExpression>
#include <csignal>
#include <gtest/gtest.h>
#include <sys/resource.h>

namespace {

struct Chooser {
    QString answer;
    QString startDir, proposed;
    int calls = 0;
    RunSaver::PathChooser fn()
    {
        return [this](QWidget*, const QString& dir, const QString& name) {
            ++calls;
            startDir = dir;
            proposed = name;
            return answer;
        };
    }
};

struct Reports {
    QStringList texts;
    RunSaver::Reporter fn()
    {
        return [this](QWidget*, const QString& t) { texts << t; };
    }
};

// Limits the size of files this process may write, for write failures that
// hold even for root. SIGXFSZ is ignored so the write fails with EFBIG.
class ScopedFileSizeLimit {
public:
    explicit ScopedFileSizeLimit(rlim_t bytes)
    {
        getrlimit(RLIMIT_FSIZE, &m_old);
        m_oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit lim = m_old;
        lim.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &lim);
    }
    ~ScopedFileSizeLimit()
    {
        setrlimit(RLIMIT_FSIZE, &m_old);
        std::signal(SIGXFSZ, m_oldHandler);
    }

private:
    rlimit m_old {};
    void (*m_oldHandler)(int) = nullptr;
};

} // namespace

class RunSaverTest : public TempDirTest {
protected:
    void SetUp() override { m_settings = path(QStringLiteral("Documents/ZB740")); }
    QString m_settings;
    Chooser m_chooser;
    Reports m_reports;

    RunSaver saver(const LiveRun& r)
    {
        RunSaver s(RunView::of(*r.live, r.run.info()), m_settings);
        s.setPathChooser(m_chooser.fn());
        s.setReporter(m_reports.fn());
        return s;
    }
};

TEST(RunFiles, ExportSitsBesideTheDataFile)
{
    const char* cases[][2] = {
        {"/data/runs/Test1.AsmDat", "/data/runs/Test1.csv"},
        {"/data/runs/Data.AsmDat", "/data/runs/Data.csv"},
        {"/data/runs/26-12-07 23.45.55.AsmDat", "/data/runs/26-12-07 23.45.55.csv"},
        {"/data/runs/lower.asmdat", "/data/runs/lower.csv"},
        {"/data/runs/run.csv", "/data/runs/run.csv.csv"},
        {"/data/my.dir/plain", "/data/my.dir/plain.csv"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(RunFiles::exportPathFor(QString::fromUtf8(c[0])), QString::fromUtf8(c[1])) << c[0];
}

TEST_F(RunSaverTest, SavesBothFilesIntoTheChosenPlace)
{
    ScopedTimeZone tz("UTC0");
    LiveRun r(3, utc(2026, 12, 7, 23, 45, 55), 2);
    m_chooser.answer = path("Test1.AsmDat");
    ASSERT_FALSE(QDir(m_settings).exists());

    RunSaver s = saver(r);
    ASSERT_TRUE(s.save(nullptr, {10, -2}).ok());
    EXPECT_TRUE(m_reports.texts.isEmpty());
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);

    // The dialog starts in the settings folder, created on the way, with a
    // name made of the current local time.
    EXPECT_EQ(m_chooser.startDir, m_settings);
    EXPECT_TRUE(QDir(m_settings).exists());
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^\\d\\d-\\d\\d-\\d\\d \\d\\d\\.\\d\\d\\.\\d\\d$"))
                    .match(m_chooser.proposed)
                    .hasMatch())
        << m_chooser.proposed.toStdString();
    EXPECT_EQ(RunSaver::proposedName(utc(2026, 12, 7, 23, 45, 55)), QStringLiteral("26-12-07 23.45.55"));

    const QByteArray data = readAll(path("Test1.AsmDat"));
    EXPECT_EQ(data.size(), 110);
    QBuffer expectedCsv;
    ASSERT_TRUE(expectedCsv.open(QIODevice::WriteOnly));
    ASSERT_TRUE(TextExport::write(expectedCsv, RunView::of(*r.live, r.run.info())).ok());
    EXPECT_EQ(readAll(path("Test1.csv")), expectedCsv.data());
    EXPECT_EQ(QDir(m_tmp.path()).entryList(QDir::Files).size(), 2); // no temporary files left

    // Loaded back: same values, times and scale.
    auto rec = std::make_unique<ReviewRecord>();
    YScaleValues scale;
    ASSERT_TRUE(DataFile::load(path("Test1.AsmDat"), *rec, scale).ok());
    EXPECT_EQ(rec->count, 3);
    for (int i = 0; i < 3; ++i)
        for (int c = 0; c < kChannelCount; ++c)
            EXPECT_EQ(rec->at(i, c), r.live->at(c, i));
    EXPECT_EQ(DataFile::startOf(*rec), r.run.m_tStart);
    EXPECT_EQ(rec->interval, 2);
    EXPECT_EQ(scale, (YScaleValues {10, -2}));
}

TEST_F(RunSaverTest, CancelWritesNothing)
{
    LiveRun r(3, 0, 1);
    RunSaver s = saver(r);
    const Status saved = s.save(nullptr, {});
    EXPECT_FALSE(saved.ok());
    EXPECT_EQ(m_chooser.calls, 1);
    EXPECT_TRUE(m_reports.texts.isEmpty());
    EXPECT_TRUE(saved.isCancelled());
    EXPECT_TRUE(saved.message().isEmpty());
    EXPECT_TRUE(QDir(m_tmp.path()).entryList(QDir::Files).isEmpty());
}

TEST_F(RunSaverTest, UncreatableFileIsReportedWithNameAndReason)
{
    LiveRun r(3, 0, 1);
    ASSERT_TRUE(writeAll(path("plainfile"), "x"));
    // A folder below a regular file cannot exist, whoever asks.
    m_chooser.answer = path("plainfile/sub/Test1.AsmDat");
    RunSaver s = saver(r);
    const Status saved = s.save(nullptr, {});
    EXPECT_FALSE(saved.ok());
    ASSERT_EQ(m_reports.texts.size(), 1);
    EXPECT_TRUE(m_reports.texts[0].contains(QLatin1String("plainfile/sub/Test1.AsmDat"))) << m_reports.texts[0].toStdString();
    EXPECT_EQ(m_reports.texts[0], saved.message());
    EXPECT_GT(m_reports.texts[0].size(), m_chooser.answer.size() + 20); // carries the reason
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}

TEST_F(RunSaverTest, FailedSaveLeavesExistingFilesIntact)
{
    LiveRun r(300, 0, 1);
    ASSERT_TRUE(writeAll(path("Test1.AsmDat"), "old data"));
    ASSERT_TRUE(writeAll(path("Test1.csv"), "old table"));
    m_chooser.answer = path("Test1.AsmDat");
    RunSaver s = saver(r);
    {
        // Both files of this run are larger than 2000 bytes.
        ScopedFileSizeLimit limit(2000);
        EXPECT_FALSE(s.save(nullptr, {}).ok());
    }
    ASSERT_EQ(m_reports.texts.size(), 1);
    EXPECT_TRUE(m_reports.texts[0].contains(QLatin1String("Test1."))) << m_reports.texts[0].toStdString();
    EXPECT_EQ(readAll(path("Test1.AsmDat")), QByteArray("old data"));
    EXPECT_EQ(readAll(path("Test1.csv")), QByteArray("old table"));
    EXPECT_EQ(QDir(m_tmp.path()).entryList(QDir::Files).size(), 2); // temporary files removed

    // An export name taken by a folder stops the save before anything moves.
    ASSERT_TRUE(QDir().mkpath(path("Data.csv")));
    m_chooser.answer = path("Data.AsmDat");
    EXPECT_FALSE(s.save(nullptr, {}).ok());
    ASSERT_EQ(m_reports.texts.size(), 2);
    EXPECT_TRUE(m_reports.texts[1].contains(QLatin1String("Data.csv"))) << m_reports.texts[1].toStdString();
    EXPECT_FALSE(QFile::exists(path("Data.AsmDat")));
}

TEST_F(RunSaverTest, DialogOffersTheDataLoggerFilterAndAddsTheExtension)
{
    QDir().mkpath(m_settings);
    QString seenFilter, seenSuffix, seenDir, seenName;
    bool confirms = false;
    ModalAnswers answers;
    answers.then<QFileDialog>([&](QFileDialog* dlg) {
        seenFilter = dlg->nameFilters().join(QLatin1Char('|'));
        seenSuffix = dlg->defaultSuffix();
        seenDir = dlg->directory().absolutePath();
        confirms = !dlg->testOption(QFileDialog::DontConfirmOverwrite);
        auto* name = dlg->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        ASSERT_NE(name, nullptr);
        seenName = name->text();
        name->setText(QStringLiteral("Run7")); // typed without extension
        QMetaObject::invokeMethod(dlg, "accept");
    });
    const QString chosen = RunSaver::askWithDialog(nullptr, m_settings, QStringLiteral("26-12-07 23.45.55"));
    EXPECT_EQ(seenFilter, QStringLiteral("DataLogger Files (*.AsmDat)"));
    EXPECT_EQ(seenSuffix, QStringLiteral("AsmDat"));
    EXPECT_EQ(seenDir, QDir(m_settings).absolutePath());
    EXPECT_TRUE(confirms);
    EXPECT_EQ(seenName, QStringLiteral("26-12-07 23.45.55.AsmDat"));
    EXPECT_EQ(chosen, QDir(m_settings).absoluteFilePath(QStringLiteral("Run7.AsmDat")));
}
