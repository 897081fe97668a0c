// The INI reader and writer on arbitrary bytes. Reads never fail and keep
// to their limits; a write of one key reads back as written and leaves
// every other line of the file byte for byte.
#include "settings/IniText.h"

#include <QList>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <iterator>

namespace {

void check(bool holds)
{
    if (!holds)
        std::abort();
}

// The lines of a file without their '\n', as views into its bytes.
QList<QByteArrayView> linesOf(const QByteArray& bytes)
{
    QList<QByteArrayView> lines;
    for (qsizetype start = 0; start < bytes.size();) {
        qsizetype end = bytes.indexOf('\n', start);
        if (end < 0)
            end = bytes.size();
        lines << QByteArrayView(bytes).sliced(start, end - start);
        start = end + 1;
    }
    return lines;
}

// The same line, or the file's unterminated last line given its '\r'
// when the write ended the file in its own "\r\n" style.
bool sameLine(QByteArrayView before, QByteArrayView after, bool lastUnterminated)
{
    return after == before
        || (lastUnterminated && after.size() == before.size() + 1 && after.endsWith('\r')
            && after.startsWith(before));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    const IniText text(bytes);

    // Names of the program's own files, in other cases too.
    static const char* const kNames[][2] = {
        {"COMInfo", "COM num"}, {"yGainInfo", "GAIN NUM"}, {"Alarmhi1Info", "Hi1 limit"},
        {"SamprateInfo", "Samprate"}, {"S", "k"},
    };
    for (size_t i = 0; i < std::size(kNames); ++i) {
        const QString s = QString::fromLatin1(kNames[i][0]), k = QString::fromLatin1(kNames[i][1]);
        if (i % 2)
            (void)text.readInt(s, k, 7);
        else
            check(text.readText(s, k, QStringLiteral("d")).size() <= IniText::kMaxTextLength);
    }

    // One write: the choice of key and value comes from the input's size.
    const auto& [section, key] = kNames[size % 5];
    const QString s = QString::fromLatin1(section), k = QString::fromLatin1(key);
    const QString value = size % 2 ? QStringLiteral("42") : QString::fromUtf8("\xC3\xA9t\xC3\xA9 \"q\"");
    const IniText written = text.withText(s, k, value);
    check(written.readText(s, k, QStringLiteral("none")) == value);
    check(written.bytes().endsWith('\n'));

    // Exactly one line changed, one key inserted, or a section and its key
    // added at the end.
    const QList<QByteArrayView> before = linesOf(bytes), after = linesOf(written.bytes());
    const bool unterminated = !bytes.isEmpty() && !bytes.endsWith('\n');
    auto same = [&](qsizetype i, qsizetype j) {
        return sameLine(before[i], after[j], unterminated && i == before.size() - 1);
    };
    const qsizetype added = after.size() - before.size();
    check(added >= 0 && added <= 2);
    qsizetype firstDiff = 0;
    while (firstDiff < before.size() && same(firstDiff, firstDiff))
        ++firstDiff;
    if (added == 0) {
        for (qsizetype i = firstDiff + 1; i < before.size(); ++i)
            check(same(i, i));
    } else if (added == 1) {
        for (qsizetype i = firstDiff; i < before.size(); ++i)
            check(same(i, i + 1));
    } else {
        check(firstDiff == before.size());
    }
    return 0;
}
