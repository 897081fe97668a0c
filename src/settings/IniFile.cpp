#include "settings/IniFile.h"

#include <QFile>
#include <QSaveFile>
#include <QStringList>

namespace {

QStringList readLines(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly | QIODevice::Text))
        return {};
    return QString::fromUtf8(f.readAll()).split(QLatin1Char('\n'));
}

// "[Name]" with surrounding blanks; returns the trimmed name or a null string.
QString sectionName(const QString& line)
{
    const QString t = line.trimmed();
    if (t.size() >= 2 && t.startsWith(QLatin1Char('[')) && t.endsWith(QLatin1Char(']')))
        return t.mid(1, t.size() - 2).trimmed();
    return {};
}

bool sameName(const QString& a, const QString& b)
{
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

// Position of "key=" in the section; -1 when absent. sectionEnd receives the
// index after the section's last non-blank line (-1 when the section is absent).
int findKey(const QStringList& lines, const QString& section, const QString& key, int* sectionEnd)
{
    bool inSection = false;
    int found = -1;
    int end = -1;
    for (int i = 0; i < lines.size(); ++i) {
        const QString name = sectionName(lines[i]);
        if (!name.isNull()) {
            if (inSection)
                break; // a later section of the same name is not read
            inSection = sameName(name, section);
            if (inSection)
                end = i + 1;
            continue;
        }
        if (!inSection)
            continue;
        if (!lines[i].trimmed().isEmpty())
            end = i + 1;
        const int eq = lines[i].indexOf(QLatin1Char('='));
        if (eq > 0 && found < 0 && sameName(lines[i].left(eq).trimmed(), key))
            found = i;
    }
    if (sectionEnd)
        *sectionEnd = end;
    return found;
}

QString valueOf(const QString& line)
{
    QString v = line.mid(line.indexOf(QLatin1Char('=')) + 1).trimmed();
    // A value in matching quotes is read without them.
    if (v.size() >= 2 && (v.front() == QLatin1Char('"') || v.front() == QLatin1Char('\''))
        && v.back() == v.front())
        v = v.mid(1, v.size() - 2);
    return v;
}

} // namespace

int IniFile::readInt(const QString& section, const QString& key, int defaultValue) const
{
    const QStringList lines = readLines(m_path);
    const int at = findKey(lines, section, key, nullptr);
    if (at < 0)
        return defaultValue;
    const QString v = valueOf(lines[at]);
    int i = 0;
    bool negative = false;
    if (i < v.size() && (v[i] == QLatin1Char('-') || v[i] == QLatin1Char('+'))) {
        negative = v[i] == QLatin1Char('-');
        ++i;
    }
    const int digitsStart = i;
    long long n = 0;
    while (i < v.size() && v[i].isDigit() && v[i].unicode() < 128) {
        n = n * 10 + (v[i].unicode() - '0');
        if (n > 2147483647LL)
            n = 2147483647LL; // saturate rather than wrap
        ++i;
    }
    if (i == digitsStart)
        return defaultValue;
    return static_cast<int>(negative ? -n : n);
}

QString IniFile::readText(const QString& section, const QString& key, const QString& defaultValue) const
{
    const QStringList lines = readLines(m_path);
    const int at = findKey(lines, section, key, nullptr);
    const QString v = at < 0 ? defaultValue : valueOf(lines[at]);
    return v.left(kMaxTextLength);
}

Status IniFile::writeText(const QString& section, const QString& key, const QString& value) const
{
    QStringList lines = readLines(m_path);
    if (!lines.isEmpty() && lines.back().isEmpty())
        lines.removeLast(); // the final newline
    int sectionEnd = -1;
    const int at = findKey(lines, section, key, &sectionEnd);
    if (at >= 0) {
        const QString existingKey = lines[at].left(lines[at].indexOf(QLatin1Char('='))).trimmed();
        lines[at] = existingKey + QLatin1Char('=') + value;
    } else if (sectionEnd >= 0) {
        lines.insert(sectionEnd, key + QLatin1Char('=') + value);
    } else {
        lines << (QLatin1Char('[') + section + QLatin1Char(']')) << (key + QLatin1Char('=') + value);
    }

    QSaveFile f(m_path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Text))
        return Status::failure(Status::Code::CannotOpen, f.errorString());
    f.write(lines.join(QLatin1Char('\n')).toUtf8());
    f.write("\n");
    if (!f.commit())
        return Status::failure(Status::Code::WriteFailed, f.errorString());
    return Status::success();
}
