#include "settings/IniFile.h"

#include "base/DurableFile.h"
#include "base/RegularFile.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QMutex>
#include <QSet>
#include <cstdio>

namespace {

QString programName()
{
    if (QCoreApplication::instance())
        return QFileInfo(QCoreApplication::applicationFilePath()).fileName();
    return QStringLiteral("zb740");
}

// One line on stderr per file and process: the settings are read many
// times, the reason to ignore a file is said once.
void warnOnce(const QString& path, const char* why)
{
    static QMutex mutex;
    static QSet<QString> warned;
    const QMutexLocker lock(&mutex);
    if (warned.contains(path))
        return;
    warned.insert(path);
    std::fprintf(stderr, "%s: %s: %s\n", qPrintable(programName()), qPrintable(path), why);
    std::fflush(stderr);
}

// Reads the file's bytes; a file that is not read gives an empty text.
Status readBytes(const QString& path, QByteArray& bytes)
{
    const Status s = RegularFile::read(path, IniFile::kMaxFileSize, bytes);
    if (s.code() == Status::Code::NotRegularFile)
        warnOnce(path, "not a regular file, ignored");
    else if (s.code() == Status::Code::Damaged)
        warnOnce(path, "larger than 1 MiB, ignored");
    return s;
}

IniText textOf(const QString& path)
{
    QByteArray bytes;
    (void)readBytes(path, bytes); // missing or unreadable: the defaults
    return IniText(std::move(bytes));
}

} // namespace

int IniFile::readInt(const QString& section, const QString& key, int defaultValue) const
{
    return textOf(m_path).readInt(section, key, defaultValue);
}

QString IniFile::readText(const QString& section, const QString& key, const QString& defaultValue) const
{
    return textOf(m_path).readText(section, key, defaultValue);
}

Status IniFile::writeText(const QString& section, const QString& key, const QString& value) const
{
    QByteArray bytes;
    if (Status s = readBytes(m_path, bytes); !s.ok()) {
        // A file that is there but could not be read is never replaced.
        if (s.code() != Status::Code::CannotOpen || QFileInfo::exists(m_path))
            return s;
    }
    const QByteArray updated = IniText(std::move(bytes)).withText(section, key, value).bytes();

    // Written whole beside the old file and renamed over it, so a full disk
    // leaves the old settings. The folder is not synced: losing the last
    // change of a setting to a crash costs little, and the close writes
    // many keys one after the other.
    DurableFile f(m_path);
    if (Status s = f.open(); !s.ok())
        return s;
    if (f.device().write(updated) != updated.size())
        return Status::failure(Status::Code::WriteFailed, DurableFile::errorText(f.device()));
    if (Status s = f.finish(); !s.ok())
        return s;
    return f.commit();
}
