#include "data/RunFiles.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>

namespace {

QString failedText(const QString& path, const QString& reason)
{
    return QStringLiteral("Could not save \"%1\": %2").arg(QDir::toNativeSeparators(path), reason);
}

QString openFor(QSaveFile& file)
{
    if (!file.open(QIODevice::WriteOnly))
        return failedText(file.fileName(), file.errorString());
    return {};
}

} // namespace

QString RunFiles::exportPathFor(const QString& dataPath)
{
    QString name = QFileInfo(dataPath).fileName();
    const QLatin1String ext(".AsmDat");
    if (name.endsWith(ext, Qt::CaseInsensitive) && name.size() > ext.size())
        name.chop(ext.size());
    return QFileInfo(dataPath).dir().filePath(name + QLatin1String(".csv"));
}

QString RunFiles::saveRun(const QString& dataPath, const LiveSeries& live, const RunState& run, YScaleValues scale)
{
    QSaveFile data(dataPath);
    QSaveFile text(exportPathFor(dataPath));
    if (QString e = openFor(data); !e.isEmpty())
        return e;
    if (QString e = openFor(text); !e.isEmpty())
        return e;

    if (QString e = TextExport::write(text, RunView::of(live, run)); !e.isEmpty())
        return failedText(text.fileName(), e);
    const DataFileResult r = DataFile::write(data, live, run, scale);
    if (!r.ok())
        return failedText(data.fileName(), r.message);

    // Both are complete in their temporary files; put them in place. The
    // export goes first so a data file never appears without its table.
    if (!text.commit())
        return failedText(text.fileName(), text.errorString());
    if (!data.commit())
        return failedText(data.fileName(), data.errorString());
    return {};
}

QString RunFiles::saveExport(const QString& path, const RunView& run)
{
    QSaveFile text(path);
    if (QString e = openFor(text); !e.isEmpty())
        return e;
    if (QString e = TextExport::write(text, run); !e.isEmpty())
        return failedText(path, e);
    if (!text.commit())
        return failedText(path, text.errorString());
    return {};
}
