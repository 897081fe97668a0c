#include "report/ReportFacts.h"

#include "base/LocalTime.h"

#include <QCryptographicHash>
#include <QRegularExpression>
#include <cmath>

namespace ReportFacts {

QByteArray sha256(const QByteArray& bytes)
{
    return QCryptographicHash::hash(bytes, QCryptographicHash::Sha256);
}

QString hashText(const QByteArray& sha256)
{
    if (sha256.isEmpty())
        return QLatin1String(kNoHashText);
    return QString::fromLatin1(sha256.toHex());
}

QString reportId(const QByteArray& sha256, int64_t printedAt)
{
    const QString when = LocalTime::format(printedAt, "%Y%m%d-%H%M%S");
    if (sha256.isEmpty())
        return when;
    return QString::fromLatin1(sha256.toHex().left(12)) + QLatin1Char('-') + when;
}

namespace {

// The value of stored reading s of channel c that takes part in the
// figures, as RunStats takes it; none for a K/IR reading the meter did not
// have and for a value that is no number.
std::optional<double> partaking(const ReportInput& in, int s, int c)
{
    const float stored = in.samples.value(s, c);
    if (c == kKir && stored <= kKirDashesAtOrBelow)
        return std::nullopt;
    const double v = toDisplayUnit(stored, c, in.fahrenheit);
    if (!std::isfinite(v))
        return std::nullopt;
    return v;
}

} // namespace

Facts facts(const ReportInput& in)
{
    Facts out;
    const RunStats stats = runStats(in.samples);
    const double bottom = std::min(in.axis.front(), in.axis.back());
    const double top = std::max(in.axis.front(), in.axis.back());
    for (int c = 0; c < kChannelCount; ++c) {
        ChannelFacts& f = out[size_t(c)];
        f.stats = stats[size_t(c)];
        const std::optional<LimitPair>& limit = in.limits[size_t(c)];
        for (int s = 0; s < in.count(); ++s) {
            const std::optional<double> v = partaking(in, s, c);
            if (!v)
                continue;
            if (limit && (*v < limit->lo || *v > limit->hi))
                ++f.outside;
            if (*v > top)
                ++f.above;
            else if (*v < bottom)
                ++f.below;
        }
    }
    return out;
}

QString limitText(double limit)
{
    if (std::isfinite(limit))
        return QString::number(limit, 'f', 1);
    return limit < 0 ? QStringLiteral("\u2212\u221e") : QStringLiteral("\u221e");
}

QString verdict(const ChannelFacts& f, const std::optional<LimitPair>& limit)
{
    if (!limit || f.stats.count == 0)
        return QStringLiteral("\u2014");
    const QString range = QStringLiteral("[%1, %2]").arg(limitText(limit->lo), limitText(limit->hi));
    if (f.outside == 0)
        return QStringLiteral("PASS: no sample outside ") + range;
    return QStringLiteral("FAIL: %1 %2 outside ")
               .arg(f.outside)
               .arg(f.outside == 1 ? QStringLiteral("sample") : QStringLiteral("samples"))
        + range;
}

std::optional<QString> offScaleNote(const ReportInput& in)
{
    const double bottom = std::min(in.axis.front(), in.axis.back());
    const double top = std::max(in.axis.front(), in.axis.back());
    bool anyShown = false;
    for (int c = 0; c < kChannelCount; ++c) {
        if (!in.shown[size_t(c)])
            continue;
        anyShown = true;
        for (int s = 0; s < in.count(); ++s) {
            const std::optional<double> v = partaking(in, s, c);
            if (v && *v >= bottom && *v <= top)
                return std::nullopt;
        }
    }
    if (!anyShown || in.count() == 0)
        return std::nullopt;
    return QStringLiteral("None of the shown curves lies within the Y scale %1\u2013%2.")
        .arg(in.axis.front(), 0, 'f', 1)
        .arg(in.axis.back(), 0, 'f', 1);
}

QByteArray xmpPacket(const QString& title, const QString& id, const QString& hashText)
{
    const auto esc = [](const QString& s) { return s.toHtmlEscaped().toUtf8(); };
    const QString hash = hashText == QLatin1String(kNoHashText) ? hashText : QLatin1String(kHashLabel) + hashText;
    QByteArray x;
    x += "<?xpacket begin='\xEF\xBB\xBF' id='W5M0MpCehiHzreSzNTczkc9d'?>\n"
         "<x:xmpmeta xmlns:x='adobe:ns:meta/'>\n"
         "<rdf:RDF xmlns:rdf='http://www.w3.org/1999/02/22-rdf-syntax-ns#'>\n"
         "<rdf:Description rdf:about='' xmlns:dc='http://purl.org/dc/elements/1.1/'>\n"
         "<dc:title><rdf:Alt><rdf:li xml:lang='x-default'>";
    x += esc(title);
    x += "</rdf:li></rdf:Alt></dc:title>\n<dc:identifier>";
    x += esc(id);
    x += "</dc:identifier>\n</rdf:Description>\n"
         "<rdf:Description rdf:about='' xmlns:pdf='http://ns.adobe.com/pdf/1.3/'>\n<pdf:Keywords>";
    x += esc(QStringLiteral("ZB740 Test Report; report id ") + id + QStringLiteral("; ") + hash);
    x += "</pdf:Keywords>\n</rdf:Description>\n"
         "<rdf:Description rdf:about='' xmlns:xmp='http://ns.adobe.com/xap/1.0/'>\n"
         "<xmp:CreatorTool>ZB740</xmp:CreatorTool>\n</rdf:Description>\n"
         "</rdf:RDF>\n</x:xmpmeta>\n<?xpacket end='w'?>";
    return x;
}

std::optional<QByteArray> hashCarried(const QByteArray& pdf)
{
    // Qt writes the XMP packet as an uncompressed stream, so its text can
    // be found in the file's bytes. A later update of the file (an editor
    // appending a new packet) comes after the first: the last one counts.
    static const QByteArray open = "<pdf:Keywords>", close = "</pdf:Keywords>";
    static const QRegularExpression hash(QStringLiteral("SHA-256 of the data: ([0-9a-fA-F]{64})(?![0-9a-fA-F])"));
    std::optional<QByteArray> found;
    for (qsizetype at = pdf.indexOf(open); at >= 0; at = pdf.indexOf(open, at + 1)) {
        const qsizetype start = at + open.size();
        const qsizetype end = pdf.indexOf(close, start);
        if (end < 0)
            break;
        const QRegularExpressionMatch m = hash.match(QString::fromLatin1(pdf.mid(start, end - start)));
        if (m.hasMatch())
            found = m.captured(1).toLatin1().toLower();
    }
    return found;
}

} // namespace ReportFacts
