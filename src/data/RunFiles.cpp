#include "data/RunFiles.h"

#include "base/DurableFile.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {

QString failedPrefix(const QString& path)
{
    return QStringLiteral("Could not save \"%1\": ").arg(QDir::toNativeSeparators(path));
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
    DurableFile data(dataPath);
    DurableFile text(exportPathFor(dataPath));
    for (DurableFile* f : {&data, &text}) {
        if (Status s = f->open(); !s.ok())
            return s.prefixed(failedPrefix(f->path()));
    }
    if (Status s = TextExport::write(text.device(), run); !s.ok())
        return s.prefixed(failedPrefix(text.path()));
    if (Status s = DataFile::write(data.device(), run, scale); !s.ok())
        return s.prefixed(failedPrefix(data.path()));

    // Both complete and on disk before either replaces its old file. The
    // export goes in place first so a data file never appears without its
    // table. Leaving this function abandons whatever was not committed.
    for (DurableFile* f : {&text, &data}) {
        if (Status s = f->finish(); !s.ok())
            return s.prefixed(failedPrefix(f->path()));
    }
    for (DurableFile* f : {&text, &data}) {
        if (Status s = f->commit(); !s.ok())
            return s.prefixed(failedPrefix(f->path()));
    }
    return DurableFile::syncFolderOf(dataPath).prefixed(failedPrefix(dataPath));
}

Status RunFiles::writeExport(QFileDevice& file, const RunView& run)
{
    QBuffer table;
    table.open(QIODevice::WriteOnly);
    if (Status s = TextExport::write(table, run); !s.ok())
        return s;
    return DurableFile::writeFully(file, table.data());
}

Status RunFiles::saveExport(const QString& path, const RunView& run)
{
    QBuffer table;
    table.open(QIODevice::WriteOnly);
    if (Status s = TextExport::write(table, run); !s.ok())
        return s;
    return DurableFile::saveOrWriteThrough(path, table.data());
}
