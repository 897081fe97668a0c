#include "app/EmergencyJournal.h"

#include "data/Recovery.h"

#include <QDir>
#include <QFileInfo>
#include <algorithm>

Status EmergencyJournal::newPathIn(const QString& folder, int64_t start, QString& path)
{
    if (!QFileInfo(folder).isDir())
        return Status::failure(Status::Code::CannotOpen,
                               QStringLiteral("There is no folder \"%1\".").arg(QDir::toNativeSeparators(folder)));
    const QString base = QDir(folder).filePath(QLatin1String(kPrefix) + Recovery::nameFor(start));
    for (int n = 1; n < 1000; ++n) {
        const QString candidate = (n == 1 ? base : base + QLatin1Char('-') + QString::number(n))
            + QLatin1String(Recovery::kJournalSuffix);
        if (!QFileInfo::exists(candidate) && !QFileInfo(candidate).isSymLink()) {
            path = candidate;
            return Status::success();
        }
    }
    return Status::failure(Status::Code::Failed, QStringLiteral("The folder \"%1\" holds too many journals of one start time.")
                                                     .arg(QDir::toNativeSeparators(folder)));
}

QStringList EmergencyJournal::in(const QString& folder)
{
    if (folder.isEmpty())
        return {};
    const QDir dir(folder);
    QFileInfoList entries = dir.entryInfoList(
        {QLatin1String(kPrefix) + QStringLiteral("*") + QLatin1String(Recovery::kJournalSuffix)}, QDir::Files,
        QDir::NoSort);
    // By name without the suffix, so "X.journal" comes before "X-2.journal".
    std::sort(entries.begin(), entries.end(), [](const QFileInfo& a, const QFileInfo& b) {
        return a.completeBaseName() < b.completeBaseName();
    });
    QStringList paths;
    for (const QFileInfo& e : entries)
        paths << e.filePath();
    return paths;
}
