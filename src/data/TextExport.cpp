#include "data/TextExport.h"

#include "base/LocalTime.h"
#include "base/TenthsText.h"

#include <QIODevice>
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <utility>

namespace {

// Everything written is ASCII: widening each byte gives UTF-16LE. The wide
// text is gathered and handed to the device a few kilobytes at a time.
class Utf16Writer {
public:
    // The longest piece put() widens at once.
    static constexpr qsizetype kPiece = 128;

    explicit Utf16Writer(QIODevice& device) : m_device(device) {}

    // Widens n bytes of text, which has room for kPiece bytes to be read
    // (those past n are widened too, and overwritten or never handed on).
    void put(const char* text, qsizetype n)
    {
        while (n > 0 && m_error.isEmpty()) {
            if (m_used + 2 * kPiece > kWide)
                flush();
            const qsizetype part = std::min(n, kPiece);
            widen(text, m_wide + m_used);
            m_used += 2 * part;
            text += part;
            n -= part;
        }
    }
    void putRaw(const char* bytes, qint64 n)
    {
        flush();
        write(bytes, n);
    }
    // Hands what was gathered to the device.
    void flush()
    {
        const qsizetype used = std::exchange(m_used, 0);
        if (used > 0)
            write(m_wide, used);
    }
    const QString& error() const { return m_error; }

private:
    // A whole piece at a time: a loop of fixed length the compiler makes
    // into vector code.
    static void widen(const char* __restrict text, char* __restrict wide)
    {
        for (qsizetype i = 0; i < kPiece; ++i) {
            wide[2 * i] = text[i];
            wide[2 * i + 1] = 0;
        }
    }
    void write(const char* bytes, qint64 n)
    {
        if (m_error.isEmpty() && m_device.write(bytes, n) != n) {
            m_error = m_device.errorString();
            if (m_error.isEmpty())
                m_error = QStringLiteral("write failed");
        }
    }

    static constexpr qsizetype kWide = 16 * 1024;
    QIODevice& m_device;
    QString m_error;
    char m_wide[kWide];
    qsizetype m_used = 0;
};

// Two digits of v (0..99), as strftime's "%m", "%d", "%y", "%H", "%M" and
// "%S" write them.
char* twoDigits(char* out, int v)
{
    out[0] = char('0' + v / 10 % 10);
    out[1] = char('0' + v % 10);
    return out + 2;
}

// "MM-DD-YY/HH:MM:SS" of the local fields: strftime's "%m-%d-%y/%H:%M:%S",
// without its locale machinery. Returns the length (17).
int formatRowTime(char* out, const LocalTime::Fields& f)
{
    char* p = out;
    p = twoDigits(p, f.month);
    *p++ = '-';
    p = twoDigits(p, f.day);
    *p++ = '-';
    p = twoDigits(p, (f.year % 100 + 100) % 100);
    *p++ = '/';
    p = twoDigits(p, f.hour);
    *p++ = ':';
    p = twoDigits(p, f.minute);
    *p++ = ':';
    p = twoDigits(p, f.second);
    return int(p - out);
}

} // namespace

int TextExport::formatValueInto(char* out, float stored, int channel, bool fahrenheit)
{
    if (channel == kKir && stored <= kKirDashesAtOrBelow) {
        std::memcpy(out, "----", 4);
        return 4;
    }
    const float shown = toDisplayUnit(stored, channel, fahrenheit);
    if (channel != kKir)
        return TenthsText::formatFloat(out, shown);
    // K/IR is cut to tenths toward zero, in single precision as the meter does.
    const float scaled = std::trunc(shown * 10.0f);
    if (std::isfinite(scaled) && std::fabs(scaled) < 1e15f)
        return TenthsText::formatWholeTenths(out, static_cast<long long>(scaled));
    return TenthsText::formatDouble(out, cutToTenth(shown));
}

const char* TextExport::headerLine(bool fahrenheit)
{
    return fahrenheit ? "NO\tAIR(F)\tWB(F)\tDP(F)\tK/IR(F)\tRH(%RH)\tTIME"
                      : "NO\tAIR(C)\tWB(C)\tDP(C)\tK/IR(C)\tRH(%RH)\tTIME";
}

QByteArray TextExport::formatValue(float stored, int channel, bool fahrenheit)
{
    char buf[64];
    static_assert(sizeof buf >= TenthsText::kMaxLength);
    const int n = formatValueInto(buf, stored, channel, fahrenheit);
    return QByteArray(buf, std::min<int>(n, sizeof buf - 1));
}

Status TextExport::write(QIODevice& device, const RunView& run)
{
    Utf16Writer out(device);
    out.putRaw("\xFF\xFE", 2);
    // A float printed with "%.1f" needs at most 48 characters; the writer
    // reads whole pieces.
    char row[512 + Utf16Writer::kPiece] = {};
    const char* header = headerLine(run.fahrenheit());
    const qsizetype headerLength = qsizetype(std::strlen(header));
    std::memcpy(row, header, size_t(headerLength));
    std::memcpy(row + headerLength, "\r\n", 2);
    out.put(row, headerLength + 2);

    for (int i = 0; i < run.count() && out.error().isEmpty(); ++i) {
        int len = int(std::to_chars(row, row + 16, i + 1).ptr - row);
        for (int c = 0; c < kChannelCount; ++c) {
            row[len++] = '\t';
            len += formatValueInto(row + len, run.value(i, c), c, run.fahrenheit());
        }
        // Each row's time comes from the C library on the absolute time, so
        // midnight, month ends and daylight-saving changes come out right.
        row[len++] = '\t';
        len += formatRowTime(row + len, LocalTime::split(run.timeOf(i)));
        row[len++] = '\r';
        row[len++] = '\n';
        out.put(row, len);
    }
    out.flush();
    if (!out.error().isEmpty())
        return Status::failure(Status::Code::WriteFailed, out.error());
    return Status::success();
}
