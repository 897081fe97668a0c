#pragma once
// Private-profile style INI access: case-insensitive section and key names,
// integer reads take the leading decimal digits, text reads return at most
// 260 characters, and a write keeps every other line of the file byte for
// byte (see IniText). Missing files, sections or keys give the default; a
// failed write is reported by its status.
//
// Only a plain file of at most 1 MiB is read, opened without waiting: a
// FIFO, a device or a folder, or a larger file, is ignored (the defaults
// apply) with one line on stderr naming it, and is never replaced by a write.
#include "base/Status.h"
#include "settings/IniText.h"

#include <QString>

class IniFile {
public:
    explicit IniFile(QString path) : m_path(std::move(path)) {}

    const QString& path() const { return m_path; }

    int readInt(const QString& section, const QString& key, int defaultValue) const;
    QString readText(const QString& section, const QString& key, const QString& defaultValue) const;
    Status writeText(const QString& section, const QString& key, const QString& value) const;

    static constexpr int kMaxTextLength = IniText::kMaxTextLength;
    static constexpr qint64 kMaxFileSize = 1024 * 1024;

private:
    QString m_path;
};
