#include "data/TextExport.h"

#include "base/LocalTime.h"
#include "base/TenthsText.h"

#include <QIODevice>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace {

// Everything written is ASCII: widening each byte gives UTF-16LE.
class Utf16Writer {
public:
    explicit Utf16Writer(QIODevice& device) : m_device(device) {}

    void put(const char* text, qsizetype n)
    {
        if (!m_error.isEmpty())
            return;
        char wide[2 * kChunk];
        while (n > 0) {
            const qsizetype part = std::min<qsizetype>(n, kChunk);
            for (qsizetype i = 0; i < part; ++i) {
                wide[2 * i] = text[i];
                wide[2 * i + 1] = 0;
            }
            if (m_device.write(wide, 2 * part) != 2 * part) {
                m_error = m_device.errorString();
                if (m_error.isEmpty())
                    m_error = QStringLiteral("write failed");
                return;
            }
            text += part;
            n -= part;
        }
    }
    void putRaw(const char* bytes, qint64 n)
    {
        if (m_error.isEmpty() && m_device.write(bytes, n) != n) {
            m_error = m_device.errorString();
            if (m_error.isEmpty())
                m_error = QStringLiteral("write failed");
        }
    }
    const QString& error() const { return m_error; }

private:
    static constexpr qsizetype kChunk = 256;
    QIODevice& m_device;
    QString m_error;
};

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
    const char* header = headerLine(run.fahrenheit());
    out.put(header, qsizetype(std::strlen(header)));
    out.put("\r\n", 2);

    // A float printed with "%.1f" needs at most 48 characters.
    char row[512];
    for (int i = 0; i < run.count() && out.error().isEmpty(); ++i) {
        int len = std::snprintf(row, sizeof row, "%d", i + 1);
        for (int c = 0; c < kChannelCount; ++c) {
            row[len++] = '\t';
            len += formatValueInto(row + len, run.value(i, c), c, run.fahrenheit());
        }
        // Each row's time comes from the C library on the absolute time, so
        // midnight, month ends and daylight-saving changes come out right.
        row[len++] = '\t';
        len += int(LocalTime::formatInto(row + len, sizeof row - len, run.timeOf(i), "%m-%d-%y/%H:%M:%S"));
        row[len++] = '\r';
        row[len++] = '\n';
        out.put(row, len);
    }
    if (!out.error().isEmpty())
        return Status::failure(Status::Code::WriteFailed, out.error());
    return Status::success();
}
