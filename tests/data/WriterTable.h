#pragma once
// Every writer of the program that saves a file where the user says, as a
// table of rows that each write to one given output path: the window's
// Save and its Export Report as PDF, the settings file, and the command
// line's export, plot, report, recover and record. The tests that hold all
// writers to the same rules (a full disk, a planted link) run over it, so a
// writer added to the program is added here once and meets every rule.
#include "DataFixtures.h"

#include "app/RunSaver.h"
#include "data/RunFiles.h"
#include "data/RunJournal.h"
#include "report/ReportInput.h"
#include "report/ReportPrinter.h"
#include "settings/IniFile.h"

#include <QDir>
#include <QProcess>
#include <functional>
#include <gtest/gtest.h>
#include <vector>

// What a writer said about one write.
struct WriteOutcome {
    bool ok = false;
    int exitCode = -1; // of a command line; -1 for a writer inside the process
    int reports = -1;  // messages a window writer showed; -1 for the others
    QString message;   // the failure as shown, printed on stderr or returned
};

struct WriterRow {
    QString name;
    bool commandLine = false;
    // Needs the simulated meter and a second of recording.
    bool records = false;
    // The files it writes for an output path: a run's data file comes with
    // its text export beside it.
    bool writesExportToo = false;
    std::function<WriteOutcome(const QString& out)> write;

    QStringList outputsFor(const QString& out) const
    {
        return writesExportToo ? QStringList {out, RunFiles::exportPathFor(out)} : QStringList {out};
    }
};

inline WriteOutcome runCli(const QStringList& args)
{
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("TZ"), QStringLiteral("UTC0"));
    p.setProcessEnvironment(env);
    p.start(QStringLiteral(ZB740_TOOLS_DIR "/zb740-cli"), args);
    WriteOutcome o;
    if (!p.waitForFinished(60000) || p.exitStatus() != QProcess::NormalExit) {
        p.kill();
        p.waitForFinished();
        o.message = QStringLiteral("zb740-cli %1 did not end normally").arg(args.join(QLatin1Char(' ')));
        return o;
    }
    o.exitCode = p.exitCode();
    o.ok = o.exitCode == 0;
    // Without a runtime folder in the environment, Qt's start of the GUI
    // library says so on stderr: not the program's own message.
    for (const QByteArray& line : p.readAllStandardError().split('\n')) {
        if (!line.isEmpty() && !line.startsWith("QStandardPaths: XDG_RUNTIME_DIR not set"))
            o.message += QString::fromLocal8Bit(line) + QLatin1Char('\n');
    }
    return o;
}

// The inputs every writer needs (a run, its data file, its journal), made
// in a folder of their own, and the table of writers over them.
class WriterTable {
public:
    // Call under TZ=UTC0.
    explicit WriterTable(const QString& folder)
        : m_folder(folder)
    {
        EXPECT_TRUE(QDir().mkpath(folder));
        EXPECT_TRUE(RunFiles::saveRun(dataFile(), view(), {10, 0}).ok());
        JournalFacts facts;
        facts.start = m_run.run.m_tStart;
        facts.interval = m_run.run.intervalSeconds();
        facts.sampleLimit = 1000;
        facts.unit = m_run.run.m_strUnit;
        facts.scale = {10, 0};
        RunJournal journal;
        EXPECT_TRUE(journal.begin(journalFile(), facts).ok());
        for (int i = 0; i < m_run.run.m_nCount; ++i) {
            ChannelValues v;
            for (int c = 0; c < kChannelCount; ++c)
                v[size_t(c)] = m_run.live->at(c, i);
            EXPECT_TRUE(journal.append(i, v, false).ok());
        }
    }

    QString dataFile() const { return m_folder + QStringLiteral("/Run.AsmDat"); }
    QString journalFile() const { return m_folder + QStringLiteral("/Run.journal"); }
    RunView view() const { return RunView::of(*m_run.live, m_run.run.info()); }

    std::vector<WriterRow> rows() const
    {
        std::vector<WriterRow> rows;
        rows.push_back({QStringLiteral("the window's Save"), false, false, true, [this](const QString& out) {
                            WriteOutcome o;
                            QStringList shown;
                            RunSaver saver(view(), m_folder + QStringLiteral("/settings"));
                            saver.setPathChooser([&](QWidget*, const QString&, const QString&) { return out; });
                            saver.setReporter([&](QWidget*, const QString& text) { shown << text; });
                            const Status s = saver.save(nullptr, {10, 0});
                            o.ok = s.ok();
                            o.reports = int(shown.size());
                            o.message = shown.isEmpty() ? s.message() : shown.constFirst();
                            EXPECT_EQ(o.message, s.message()) << "the failure shown is the one returned";
                            return o;
                        }});
        rows.push_back({QStringLiteral("the window's Export Report as PDF"), false, false, false,
                        [this](const QString& out) {
                            WriteOutcome o;
                            QStringList shown;
                            ReportPrinter printer;
                            printer.setPathChooser([&](QWidget*, const QString&, const QString&) { return out; });
                            printer.setReporter([&](QWidget*, const QString& text) { shown << text; });
                            printer.setClock([] { return utc(2027, 1, 2, 3, 4, 0); });
                            const ReportInput input = ReportInputs::ofSavedRun(view(), {true, true, true, true, true},
                                                                               {10, 0});
                            const Status s = printer.exportPdf(nullptr, input, m_folder + QStringLiteral("/settings"));
                            o.ok = s.ok();
                            o.reports = int(shown.size());
                            o.message = shown.isEmpty() ? s.message() : shown.constFirst();
                            EXPECT_EQ(o.message, s.message()) << "the failure shown is the one returned";
                            return o;
                        }});
        rows.push_back({QStringLiteral("a settings write"), false, false, false, [](const QString& out) {
                            WriteOutcome o;
                            const Status s = IniFile(out).writeText(QStringLiteral("Settings"), QStringLiteral("Key"),
                                                                    QStringLiteral("new value"));
                            o.ok = s.ok();
                            o.message = s.message();
                            return o;
                        }});
        rows.push_back({QStringLiteral("zb740-cli export"), true, false, false, [this](const QString& out) {
                            return runCli({QStringLiteral("export"), dataFile(), QStringLiteral("-o"), out});
                        }});
        rows.push_back({QStringLiteral("zb740-cli plot"), true, false, false, [this](const QString& out) {
                            return runCli({QStringLiteral("plot"), dataFile(), QStringLiteral("-o"), out});
                        }});
        rows.push_back({QStringLiteral("zb740-cli report"), true, false, false, [this](const QString& out) {
                            return runCli({QStringLiteral("report"), dataFile(), QStringLiteral("-o"), out,
                                           QStringLiteral("--date"), QStringLiteral("2027-01-02 03:04")});
                        }});
        rows.push_back({QStringLiteral("zb740-cli recover"), true, false, true, [this](const QString& out) {
                            return runCli({QStringLiteral("recover"), journalFile(), QStringLiteral("-o"), out});
                        }});
        rows.push_back({QStringLiteral("zb740-cli record"), true, true, true, [](const QString& out) {
                            return runCli({QStringLiteral("record"), QStringLiteral("--simulate"),
                                           QStringLiteral("--interval"), QStringLiteral("1"), QStringLiteral("--count"),
                                           QStringLiteral("1"), QStringLiteral("-o"), out});
                        }});
        return rows;
    }

private:
    QString m_folder;
    // A run whose data file fits in Qt's 16 KiB write buffer (so that a
    // buffered writer would write it only at its final flush) and whose
    // export does not.
    LiveRun m_run {300, utc(2026, 12, 7, 23, 45, 55), 2};
};
