#include "settings/IniText.h"

namespace {

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

// Where a key is in the text: its line (without the '\n'; a '\r' before it
// stays part of the line) as byte offset and length, and the offset just
// past the section's last non-blank line and its '\n' (where a new key of
// the section goes). -1 when absent.
struct Place {
    qsizetype keyLine = -1;
    qsizetype keyLineLength = 0;
    qsizetype sectionEnd = -1;
    QString keyLineText;
};

// Looks through the section's first occurrence, line by line, without
// copying the text; a later section of the same name is not read.
Place findKey(const QByteArray& bytes, const QString& section, const QString& key)
{
    Place p;
    bool inSection = false;
    for (qsizetype start = 0; start < bytes.size();) {
        qsizetype end = bytes.indexOf('\n', start);
        if (end < 0)
            end = bytes.size();
        const QByteArrayView raw = QByteArrayView(bytes).sliced(start, end - start);
        const qsizetype next = end + 1;
        const qsizetype lineStart = start;
        start = next;
        // Outside the section only a section line matters, and it has a '['.
        if (!inSection && !raw.contains('['))
            continue;
        const QString line = QString::fromUtf8(raw);
        const QString name = sectionName(line);
        if (!name.isNull()) {
            if (inSection)
                break;
            inSection = sameName(name, section);
            if (inSection)
                p.sectionEnd = next;
            continue;
        }
        if (!inSection)
            continue;
        if (!line.trimmed().isEmpty())
            p.sectionEnd = next;
        const int eq = line.indexOf(QLatin1Char('='));
        if (eq > 0 && p.keyLine < 0 && sameName(line.left(eq).trimmed(), key)) {
            p.keyLine = lineStart;
            p.keyLineLength = raw.size();
            p.keyLineText = line;
        }
    }
    return p;
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

// The value of the key, or a null string when the key is absent.
QString lookUp(const QByteArray& bytes, const QString& section, const QString& key)
{
    const Place p = findKey(bytes, section, key);
    if (p.keyLine < 0)
        return {};
    const QString v = valueOf(p.keyLineText);
    return v.isNull() ? QString(QLatin1String("")) : v;
}

} // namespace

int IniText::readInt(const QString& section, const QString& key, int defaultValue) const
{
    const QString v = lookUp(m_bytes, section, key);
    if (v.isNull())
        return defaultValue;
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

QString IniText::readText(const QString& section, const QString& key, const QString& defaultValue) const
{
    const QString v = lookUp(m_bytes, section, key);
    return (v.isNull() ? defaultValue : v).left(kMaxTextLength);
}

IniText IniText::withText(const QString& section, const QString& key, const QString& value) const
{
    const Place p = findKey(m_bytes, section, key);
    // The file's own line end: "\r\n" when its first line ends so.
    const qsizetype firstNewline = m_bytes.indexOf('\n');
    const bool crlf = firstNewline > 0 && m_bytes[firstNewline - 1] == '\r';
    const QByteArray lineEnd = crlf ? QByteArray("\r\n") : QByteArray("\n");

    // The file as it is, its last line ended in the file's own style: every
    // line keeps its place, the change goes in by byte offsets.
    QByteArray out = m_bytes;
    if (!out.isEmpty() && !out.endsWith('\n'))
        out += out.endsWith('\r') ? QByteArray("\n") : lineEnd;
    if (p.keyLine >= 0) {
        // Rewritten in place: the key as the file spells it, the line's end kept.
        const QByteArrayView line = QByteArrayView(m_bytes).sliced(p.keyLine, p.keyLineLength);
        const bool cr = line.endsWith('\r');
        const QByteArray keyAsWritten = line.first(line.indexOf('=')).toByteArray().trimmed();
        out.replace(p.keyLine, line.size() - (cr ? 1 : 0), keyAsWritten + '=' + value.toUtf8());
    } else if (p.sectionEnd >= 0) {
        // After the section's last line; past the end means after the line
        // end just added.
        const qsizetype where = p.sectionEnd < m_bytes.size() ? p.sectionEnd : out.size();
        out.insert(where, key.toUtf8() + '=' + value.toUtf8() + lineEnd);
    } else {
        out += '[' + section.toUtf8() + ']' + lineEnd + key.toUtf8() + '=' + value.toUtf8() + lineEnd;
    }
    return IniText(std::move(out));
}
