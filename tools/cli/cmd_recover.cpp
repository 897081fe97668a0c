// zb740-cli recover JOURNAL [-o FILE.AsmDat] [--remove]: the data file and
// its text export from the journal of a run that was never saved.
// zb740-cli recover --list [--settings-dir DIR]: the journals the window
// left in its recovery folder. A journal a running ZB740 still holds (its
// lock is taken) is neither recovered nor removed, and listed as in use.
#include "CliCommands.h"
#include "CliOutput.h"

#include "base/CommandLine.h"
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

using cli::fail;

QString usage()
{
    return QStringLiteral(
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
               "  --settings-dir DIR  folder of ZB740.ini (default: %1)\n")
        .arg(QDir::toNativeSeparators(ProgramPaths::defaults().settingsDir));
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
    CommandLine line(QStringLiteral("zb740-cli recover"), usage(), versionLine());
    line.addValue(QStringLiteral("o"), QStringLiteral("FILE.AsmDat"), CommandLine::Once | CommandLine::NotEmpty);
    line.addValue(QStringLiteral("settings-dir"), QStringLiteral("DIR"), CommandLine::Once | CommandLine::NotEmpty);
    line.addSwitch(QStringLiteral("list"));
    line.addSwitch(QStringLiteral("remove"));
    if (const int status = line.process(args); status >= 0)
        return status;
    const QStringList journals = line.arguments();
    if (journals.size() > 1)
        return line.usageError(QStringLiteral("unexpected argument '%1'").arg(journals[1]));
    const std::optional<QString> output = line.value(QStringLiteral("o"));
    const std::optional<QString> settingsDir = line.value(QStringLiteral("settings-dir"));
    const bool removeAfter = line.isSet(QStringLiteral("remove"));
    if (line.isSet(QStringLiteral("list"))) {
        if (!journals.isEmpty() || output || removeAfter)
            return line.usageError(QStringLiteral("--list takes no journal, -o or --remove"));
        return list(settingsDir.value_or(ProgramPaths::defaults().settingsDir));
    }
    if (journals.isEmpty())
        return line.usageError(QStringLiteral("no journal given"));
    if (settingsDir)
        return line.usageError(QStringLiteral("--settings-dir goes with --list"));
    // The recovered run is a data file and its .csv: two files, which
    // standard output cannot be.
    if (output && isStandardOutput(*output))
        return line.usageError(QStringLiteral("-o - (standard output) cannot take a recovered run: it is a data file "
                                              "and its .csv; name the data file to write"));
    return recover(journals.first(), output.value_or(QString()), removeAfter);
}
