#pragma once
// Private-profile style INI access: case-insensitive section and key names,
// integer reads take the leading decimal digits, text reads return at most
// 260 characters, and a write keeps every other line of the file. Missing
// files, sections or keys give the default; a failed write is reported by
// its status.
#include "base/Status.h"

#include <QString>

class IniFile {
public:
    explicit IniFile(QString path) : m_path(std::move(path)) {}

    const QString& path() const { return m_path; }

    int readInt(const QString& section, const QString& key, int defaultValue) const;
    QString readText(const QString& section, const QString& key, const QString& defaultValue) const;
    Status writeText(const QString& section, const QString& key, const QString& value) const;

    static constexpr int kMaxTextLength = 260;

private:
    QString m_path;
};
