#include "data/RunFiles.h"

#include "data/FileSync.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>

namespace {

QString failedPrefix(const QString& path)
{
    return QStringLiteral("Could not save \"%1\": ").arg(QDir::toNativeSeparators(path));
}

Status openFor(QSaveFile& file)
{
    if (!file.open(QIODevice::WriteOnly))
        return Status::failure(Status::Code::CannotOpen, failedPrefix(file.fileName()) + file.errorString());
    return Status::success();
}

Status commit(QSaveFile& file)
{
    if (!file.commit())
        return Status::failure(Status::Code::WriteFailed, failedPrefix(file.fileName()) + file.errorString());
    return Status::success();
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

Status RunFiles::saveRun(const QString& dataPath, const RunView& run, YScaleValues scale)
{
    QSaveFile data(dataPath);
    QSaveFile text(exportPathFor(dataPath));
    if (Status s = openFor(data); !s.ok())
        return s;
    if (Status s = openFor(text); !s.ok())
        return s;

    if (Status s = TextExport::write(text, run); !s.ok())
        return s.prefixed(failedPrefix(text.fileName()));
    if (Status s = DataFile::write(data, run, scale); !s.ok())
        return s.prefixed(failedPrefix(data.fileName()));

    // Both are complete in their temporary files; put them in place. The
    // export goes first so a data file never appears without its table.
    // Each commit syncs its file before the rename; syncing the folder
    // afterwards makes the new names durable too, so once this returns a
    // crash cannot take the files back (and a run journal may go).
    if (Status s = commit(text); !s.ok())
        return s;
    if (Status s = commit(data); !s.ok())
        return s;
    return FileSync::syncFolderOf(dataPath);
}

Status RunFiles::saveExport(const QString& path, const RunView& run)
{
    QSaveFile text(path);
    if (Status s = openFor(text); !s.ok())
        return s;
    if (Status s = TextExport::write(text, run); !s.ok())
        return s.prefixed(failedPrefix(path));
    if (Status s = commit(text); !s.ok())
        return s;
    return FileSync::syncFolderOf(path);
}
