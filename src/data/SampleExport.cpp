#include "data/SampleExport.h"

#include "base/LocalTime.h"
#include "base/TenthsText.h"
#include "data/TextExport.h"

#include <QBuffer>
#include <QIODevice>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace {

constexpr const char* kKeys[kChannelCount] = {"air", "wet_bulb", "dew_point", "k_ir", "rh"};

// Appends text to a line being built; the line's room is never exceeded
// (kMaxLineLength holds the longest line by far).
struct Line {
    explicit Line(char* to) : out(to) {}
    char* out;
    size_t n = 0;
    void put(const char* text, size_t len)
    {
        const size_t room = SampleExport::kMaxLineLength - 1 - n;
        const size_t take = len < room ? len : room;
        std::memcpy(out + n, text, take);
        n += take;
    }
    void put(const char* text) { put(text, std::strlen(text)); }
    void putValue(const RunView& run, int sample, int channel, const char* none)
    {
        char v[TenthsText::kMaxLength];
        const int len = SampleExport::valueInto(v, run.value(sample, channel), channel, run.fahrenheit());
        if (len > 0)
            put(v, size_t(len));
        else
            put(none);
    }
};

// The sample's date and time ("2026-12-11T02:00:07"), local or in UTC, and
// the offset that goes with it.
size_t timeInto(char* out, size_t size, int64_t t, bool utc, int& offsetSeconds)
{
    const char* iso = "%Y-%m-%dT%H:%M:%S";
    offsetSeconds = utc ? 0 : LocalTime::utcOffsetSeconds(t);
    return utc ? LocalTime::formatUtcInto(out, size, t, iso) : LocalTime::formatInto(out, size, t, iso);
}

class Writer {
public:
    explicit Writer(QIODevice& device) : m_device(device) {}
    void put(const char* bytes, size_t n)
    {
        if (m_error.isEmpty() && m_device.write(bytes, qint64(n)) != qint64(n)) {
            m_error = m_device.errorString();
            if (m_error.isEmpty())
                m_error = QStringLiteral("write failed");
        }
    }
    const QString& error() const { return m_error; }

private:
    QIODevice& m_device;
    QString m_error;
};

} // namespace

std::optional<SampleExport::Format> SampleExport::formatNamed(const QString& name)
{
    if (name == QLatin1String("tsv"))
        return Format::Tsv;
    if (name == QLatin1String("csv"))
        return Format::Csv;
    if (name == QLatin1String("jsonl"))
        return Format::Jsonl;
    return std::nullopt;
}

const char* SampleExport::channelKey(int channel)
{
    return channel >= 0 && channel < kChannelCount ? kKeys[channel] : "";
}

const char* SampleExport::csvHeader(bool fahrenheit)
{
    return fahrenheit ? "time,utc_offset,air_F,wet_bulb_F,dew_point_F,k_ir_F,rh_percent"
                      : "time,utc_offset,air_C,wet_bulb_C,dew_point_C,k_ir_C,rh_percent";
}

int SampleExport::valueInto(char* out, float stored, int channel, bool fahrenheit)
{
    if (channel == kKir && stored <= kKirDashesAtOrBelow)
        return 0;
    if (!std::isfinite(toDisplayUnit(stored, channel, fahrenheit)))
        return 0;
    const int n = TextExport::formatValueInto(out, stored, channel, fahrenheit);
    // A value beyond what a float's tenths hold ("inf") is no number either.
    for (int i = 0; i < n; ++i) {
        if (out[i] == 'i' || out[i] == 'n')
            return 0;
    }
    if (n == 4 && std::memcmp(out, "-0.0", 4) == 0) {
        std::memcpy(out, "0.0", 3);
        return 3;
    }
    return n;
}

size_t SampleExport::csvRow(char* out, const RunView& run, int sample, bool utc)
{
    Line line(out);
    char time[64];
    int offset = 0;
    line.put(time, timeInto(time, sizeof time, run.timeOf(sample), utc, offset));
    line.put(",");
    char offsetText[16];
    line.put(offsetText, LocalTime::formatOffsetInto(offsetText, sizeof offsetText, offset));
    for (int c = 0; c < kChannelCount; ++c) {
        line.put(",");
        line.putValue(run, sample, c, "");
    }
    line.put("\r\n");
    return line.n;
}

size_t SampleExport::jsonLine(char* out, const RunView& run, int sample, bool utc)
{
    Line line(out);
    char time[64];
    int offset = 0;
    line.put("{\"time\":\"");
    line.put(time, timeInto(time, sizeof time, run.timeOf(sample), utc, offset));
    if (utc) {
        line.put("Z");
    } else {
        char offsetText[16];
        line.put(offsetText, LocalTime::formatOffsetInto(offsetText, sizeof offsetText, offset));
    }
    line.put("\"");
    for (int c = 0; c < kChannelCount; ++c) {
        line.put(",\"");
        line.put(kKeys[c]);
        line.put("\":");
        line.putValue(run, sample, c, "null");
    }
    line.put(run.fahrenheit() ? ",\"unit\":\"F\",\"sample\":" : ",\"unit\":\"C\",\"sample\":");
    char number[16];
    const int n = std::snprintf(number, sizeof number, "%d", sample + 1);
    line.put(number, size_t(n));
    line.put("}\n");
    return line.n;
}

Status SampleExport::write(QIODevice& device, const RunView& run, Format format, bool utc)
{
    if (format == Format::Tsv)
        return TextExport::write(device, run);
    Writer out(device);
    if (format == Format::Csv) {
        const char* header = csvHeader(run.fahrenheit());
        out.put(header, std::strlen(header));
        out.put("\r\n", 2);
    }
    char line[kMaxLineLength];
    for (int i = 0; i < run.count() && out.error().isEmpty(); ++i) {
        const size_t n = format == Format::Csv ? csvRow(line, run, i, utc) : jsonLine(line, run, i, utc);
        out.put(line, n);
    }
    if (!out.error().isEmpty())
        return Status::failure(Status::Code::WriteFailed, out.error());
    return Status::success();
}

QByteArray SampleExport::bytes(const RunView& run, Format format, bool utc)
{
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    (void)write(buffer, run, format, utc); // a buffer takes every write
    return buffer.data();
}
