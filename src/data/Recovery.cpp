#include "data/Recovery.h"

#include "base/LocalTime.h"

#include <QDir>
#include <QFileInfo>
#include <algorithm>

QString Recovery::folderIn(const QString& settingsDir)
{
    return QDir(settingsDir).filePath(QStringLiteral("recovery"));
}

QString Recovery::nameFor(int64_t start)
{
    return LocalTime::format(start, "%y-%m-%d %H.%M.%S");
}

Status Recovery::newJournalPath(const QString& settingsDir, int64_t start, QString& path)
{
    const QString folder = folderIn(settingsDir);
    if (!QDir().mkpath(folder))
        return Status::failure(Status::Code::CannotOpen, QStringLiteral("Could not create the folder \"%1\".")
                                                             .arg(QDir::toNativeSeparators(folder)));
    const QString base = QDir(folder).filePath(nameFor(start));
    for (int n = 1; n < 1000; ++n) {
        const QString candidate = (n == 1 ? base : base + QLatin1Char('-') + QString::number(n))
            + QLatin1String(kJournalSuffix);
        if (!QFileInfo::exists(candidate)) {
            path = candidate;
            return Status::success();
        }
    }
    return Status::failure(Status::Code::Failed, QStringLiteral("The folder \"%1\" holds too many journals of one start time.")
                                                     .arg(QDir::toNativeSeparators(folder)));
}

QStringList Recovery::journalsIn(const QString& settingsDir)
{
    const QDir folder(folderIn(settingsDir));
    QFileInfoList entries = folder.entryInfoList({QStringLiteral("*") + QLatin1String(kJournalSuffix)},
                                                 QDir::Files, QDir::NoSort);
    // By name without the suffix, so "X.journal" comes before "X-2.journal".
    std::sort(entries.begin(), entries.end(), [](const QFileInfo& a, const QFileInfo& b) {
        return a.completeBaseName() < b.completeBaseName();
    });
    QStringList paths;
    for (const QFileInfo& e : entries)
        paths << e.filePath();
    return paths;
}

QString Recovery::journalPathFor(const QString& dataPath)
{
    return dataPath + QLatin1String(kJournalSuffix);
}

QString Recovery::dataPathFor(const QString& journalPath, int64_t start)
{
    QString path = journalPath;
    const QLatin1String suffix(kJournalSuffix);
    if (path.endsWith(suffix)) {
        path.chop(suffix.size());
        const QString name = QFileInfo(path).fileName();
        if (name.endsWith(QLatin1String(kDataSuffix), Qt::CaseInsensitive) && name.size() > int(sizeof kDataSuffix) - 1)
            return path;
    }
    return QFileInfo(journalPath).dir().filePath(nameFor(start) + QLatin1String(kDataSuffix));
}
