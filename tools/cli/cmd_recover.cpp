// zb740-cli recover JOURNAL [-o FILE.AsmDat] [--remove]: the data file and
// its text export from the journal of a run that was never saved.
// zb740-cli recover --list [--settings-dir DIR]: the journals the window
// left in its recovery folder. A journal a running ZB740 still holds (its
// lock is taken) is neither recovered nor removed, and listed as in use.
#include "CliCommands.h"

#include "base/LocalTime.h"
#include "data/Recovery.h"
#include "data/RunFiles.h"
#include "data/RunJournal.h"
#include "settings/ProgramPaths.h"

#include <QDir>
#include <QFileInfo>
#include <cstdio>
#include <memory>

namespace {

void printUsage(FILE* out)
{
    std::fprintf(out,
                 "Usage: zb740-cli recover JOURNAL [-o FILE.AsmDat] [--remove]\n"
                 "       zb740-cli recover --list [--settings-dir DIR]\n\n"
                 "Writes the data file and its .csv from the journal of a run that was not\n"
                 "saved, and tells how many samples it recovered.\n"
                 "  -o FILE.AsmDat      the data file to write (default: the journal's name\n"
                 "                      without .journal when that ends in .AsmDat, else\n"
                 "                      \"<start time>.AsmDat\" beside the journal); an\n"
                 "                      existing file is replaced only when named here\n"
                 "  --remove            remove the journal once both files are saved (or at\n"
                 "                      once when it holds no samples)\n"
                 "  --list              list the journals of the window's unsaved runs (\"in\n"
                 "                      use by a running ZB740\" for a run still recording)\n"
                 "  --settings-dir DIR  folder of ZB740.ini (default: %s)\n",
                 qPrintable(QDir::toNativeSeparators(ProgramPaths::defaults().settingsDir)));
}

void fail(const QString& file, const QString& message)
{
    std::fprintf(stderr, "zb740-cli: %s: %s\n", qPrintable(QDir::toNativeSeparators(file)), qPrintable(message));
}

QString startText(int64_t start) { return LocalTime::format(start, "%d/%m/%y %H:%M:%S"); }

bool samePath(const QString& a, const QString& b)
{
    return QDir::cleanPath(QFileInfo(a).absoluteFilePath()) == QDir::cleanPath(QFileInfo(b).absoluteFilePath());
}

int list(const QString& settingsDir)
{
    const QStringList journals = Recovery::journalsIn(settingsDir);
    if (journals.isEmpty()) {
        std::fprintf(stderr, "No journals in %s.\n",
                     qPrintable(QDir::toNativeSeparators(Recovery::folderIn(settingsDir))));
        return 0;
    }
    auto run = std::make_unique<RecoveredRun>();
    for (const QString& path : journals) {
        const QString shown = QDir::toNativeSeparators(path);
        FoundJournal found;
        Status s = found.open(path, FoundJournal::Access::Read);
        if (s.code() == Status::Code::Busy) {
            std::printf("%s\t%s\n", qPrintable(shown), Journal::kInUse);
            continue;
        }
        if (s.ok())
            s = found.read(*run);
        if (!s.ok()) {
            std::printf("%s\tcannot be read: %s\n", qPrintable(shown), qPrintable(s.message()));
            continue;
        }
        std::printf("%s\t%d samples\tstarted %s\n", qPrintable(shown), run->count, qPrintable(startText(run->facts.start)));
    }
    return 0;
}

int recover(const QString& journal, QString output, bool removeAfter)
{
    // Taken (locked) until the end, so that nobody else recovers or removes
    // it meanwhile; a journal a running recording holds is left alone.
    FoundJournal found;
    if (const Status s = found.open(journal, FoundJournal::Access::Take); !s.ok()) {
        fail(journal, s.code() == Status::Code::Busy ? s.message() + QStringLiteral("; nothing written") : s.message());
        return 1;
    }
    auto run = std::make_unique<RecoveredRun>();
    const Status read = found.read(*run);
    // A journal without a sample loses nothing by going.
    if (removeAfter && found.holdsNoSample()) {
        if (const Status s = found.remove(); !s.ok()) {
            fail(journal, s.message());
            return 1;
        }
        std::printf("The journal holds no samples; nothing written.\nRemoved %s.\n",
                    qPrintable(QDir::toNativeSeparators(journal)));
        return 0;
    }
    if (!read.ok()) {
        fail(journal, read.message());
        return 1;
    }
    if (run->count == 0) {
        fail(journal, run->damagedRecordsDropped > 0
                          ? QStringLiteral("the first record is damaged; nothing recovered, nothing written")
                          : QStringLiteral("the journal holds no samples; nothing written"));
        return 1;
    }

    const bool chosen = !output.isEmpty();
    if (!chosen)
        output = Recovery::dataPathFor(journal, run->facts.start);
    const QString csv = RunFiles::exportPathFor(output);
    if (samePath(output, journal) || samePath(csv, journal)) {
        fail(output, QStringLiteral("the recovered files would replace the journal itself"));
        return 2;
    }
    // A default name may meet the files of another run: never replace them
    // unasked.
    if (!chosen) {
        for (const QString& existing : {output, csv}) {
            if (QFileInfo::exists(existing)) {
                fail(existing, QStringLiteral("exists already; name the data file to write with -o"));
                return 1;
            }
        }
    }
    if (const Status s = RunFiles::saveRun(output, run->view(), run->facts.scale); !s.ok()) {
        fail(output, s.message());
        return 1;
    }
    std::printf("Recovered %d samples (started %s, interval %d s) into %s and %s.\n", run->count,
                qPrintable(startText(run->facts.start)), run->facts.interval,
                qPrintable(QDir::toNativeSeparators(output)), qPrintable(QDir::toNativeSeparators(QDir::cleanPath(csv))));
    std::printf("%s\n", run->tornRecordDropped ? "A torn last record was dropped." : "No record was torn.");

    if (run->damagedRecordsDropped > 0) {
        fail(journal, QStringLiteral("a damaged record at byte %1: it and the %2 records after it were not recovered; "
                                     "the journal is kept")
                          .arg(run->firstDroppedAt).arg(run->damagedRecordsDropped - 1));
        return 1;
    }
    if (removeAfter) {
        if (const Status s = found.remove(); !s.ok()) {
            fail(journal, s.message());
            return 1;
        }
        std::printf("Removed %s.\n", qPrintable(QDir::toNativeSeparators(journal)));
    }
    return 0;
}

} // namespace

int cli::runRecover(const QStringList& args)
{
    QString journal, output, settingsDir;
    bool listing = false, removeAfter = false, haveOutput = false, haveSettingsDir = false;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        if (a == QLatin1String("--help") || a == QLatin1String("-h")) {
            printUsage(stdout);
            return 0;
        }
        if (a == QLatin1String("-o") || a == QLatin1String("--settings-dir")) {
            const bool isOutput = a == QLatin1String("-o");
            bool& seen = isOutput ? haveOutput : haveSettingsDir;
            if (i + 1 >= args.size() || seen || args[i + 1].isEmpty()) {
                printUsage(stderr);
                return 2;
            }
            seen = true;
            (isOutput ? output : settingsDir) = args[++i];
        } else if (a == QLatin1String("--list") && !listing) {
            listing = true;
        } else if (a == QLatin1String("--remove") && !removeAfter) {
            removeAfter = true;
        } else if (a.startsWith(QLatin1Char('-')) || !journal.isEmpty()) {
            printUsage(stderr);
            return 2;
        } else {
            journal = a;
        }
    }
    if (listing) {
        if (!journal.isEmpty() || haveOutput || removeAfter) {
            printUsage(stderr);
            return 2;
        }
        return list(haveSettingsDir ? settingsDir : ProgramPaths::defaults().settingsDir);
    }
    if (journal.isEmpty() || haveSettingsDir) {
        printUsage(stderr);
        return 2;
    }
    return recover(journal, output, removeAfter);
}
