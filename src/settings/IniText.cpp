#include "settings/IniText.h"

#include <QList>

namespace {

// The file's lines without their '\n' (a '\r' before it stays part of the
// line, so joining them with '\n' gives back the very same bytes), as
// views into the file's bytes.
struct Lines {
    QList<QByteArrayView> lines;
    bool endsWithNewline = false;
    bool crlf = false; // the file's first line end is "\r\n"
};

Lines split(const QByteArray& bytes)
{
    Lines l;
    qsizetype start = 0;
    while (start < bytes.size()) {
        const qsizetype end = bytes.indexOf('\n', start);
        if (end < 0) {
            l.lines << QByteArrayView(bytes).sliced(start);
            break;
        }
        l.lines << QByteArrayView(bytes).sliced(start, end - start);
        start = end + 1;
    }
    l.endsWithNewline = bytes.endsWith('\n');
    l.crlf = bytes.contains('\n') && l.lines.constFirst().endsWith('\r');
    return l;
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

// Index of the line holding "key=" in the section's first occurrence; -1
// when absent. sectionEnd receives the index after the section's last
// non-blank line (-1 when the section is absent). found receives the line.
int findKey(const QList<QByteArrayView>& lines, const QString& section, const QString& key, int* sectionEnd,
            QString* foundLine)
{
    bool inSection = false;
    int found = -1;
    int end = -1;
    for (int i = 0; i < lines.size(); ++i) {
        // Outside the section only a section line matters, and it has a '['.
        if (!inSection && !lines[i].contains('['))
            continue;
        const QString line = QString::fromUtf8(lines[i]);
        const QString name = sectionName(line);
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
        if (!line.trimmed().isEmpty())
            end = i + 1;
        const int eq = line.indexOf(QLatin1Char('='));
        if (eq > 0 && found < 0 && sameName(line.left(eq).trimmed(), key)) {
            found = i;
            if (foundLine)
                *foundLine = line;
        }
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

// The value of the key, or a null string when the key is absent.
QString lookUp(const QByteArray& bytes, const QString& section, const QString& key)
{
    const Lines l = split(bytes);
    QString line;
    if (findKey(l.lines, section, key, nullptr, &line) < 0)
        return {};
    const QString v = valueOf(line);
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
    const Lines l = split(m_bytes);
    int sectionEnd = -1;
    const int at = findKey(l.lines, section, key, &sectionEnd, nullptr);
    const QByteArray lineEnd = l.crlf ? QByteArray("\r\n") : QByteArray("\n");
    auto offsetOf = [&](int line) { return qsizetype(l.lines[line].data() - m_bytes.constData()); };

    // The file as it is, its last line ended in the file's own style: every
    // line keeps its place, the change goes in by byte offsets.
    QByteArray out = m_bytes;
    if (!out.isEmpty() && !l.endsWithNewline)
        out += l.lines.constLast().endsWith('\r') ? QByteArray("\n") : lineEnd;
    if (at >= 0) {
        // Rewritten in place: the key as the file spells it, the line's end kept.
        const QByteArrayView line = l.lines[at];
        const bool cr = line.endsWith('\r');
        const QByteArray keyAsWritten = line.first(line.indexOf('=')).toByteArray().trimmed();
        out.replace(offsetOf(at), line.size() - (cr ? 1 : 0), keyAsWritten + '=' + value.toUtf8());
    } else if (sectionEnd >= 0) {
        const qsizetype where = sectionEnd < l.lines.size() ? offsetOf(sectionEnd) : out.size();
        out.insert(where, key.toUtf8() + '=' + value.toUtf8() + lineEnd);
    } else {
        out += '[' + section.toUtf8() + ']' + lineEnd + key.toUtf8() + '=' + value.toUtf8() + lineEnd;
    }
    return IniText(std::move(out));
}
