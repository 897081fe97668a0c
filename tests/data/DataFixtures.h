#pragma once
// Helpers shared by the data file tests: a fixed time zone, a filled run
// and byte-level builders for hand-made data files.
#include "run/RunState.h"
#include "data/DataFile.h"
#include "data/ReadingStore.h"

#include <QByteArray>
#include <QFile>
#include <QtEndian>
#include <cstdlib>
#include <ctime>
#include <memory>

// Sets TZ for the lifetime of the object and restores the previous zone.
class ScopedTimeZone {
public:
    explicit ScopedTimeZone(const char* zone)
        : m_had(qEnvironmentVariableIsSet("TZ")), m_old(qgetenv("TZ"))
    {
        qputenv("TZ", zone);
        tzset();
    }
    ~ScopedTimeZone()
    {
        if (m_had)
            qputenv("TZ", m_old);
        else
            qunsetenv("TZ");
        tzset();
    }

private:
    bool m_had;
    QByteArray m_old;
};

// A live run of n samples whose values differ per sample and channel.
struct LiveRun {
    std::unique_ptr<LiveSeries> live = std::make_unique<LiveSeries>();
    RunState run;

    LiveRun(int n, int64_t start, int intervalSeconds, bool fahrenheit = false)
    {
        run.m_nCount = n;
        run.m_tStart = start;
        run.m_nSampleMs = intervalSeconds * 1000;
        run.m_bFahrenheit = fahrenheit;
        run.m_strUnit = fahrenheit ? QStringLiteral("F") : QStringLiteral("C");
        for (int i = 0; i < n; ++i)
            live->writeSlot(i, {20.0f + 0.1f * i, 15.5f - 0.2f * i, 10.25f, 25.96f - i, 55.0f + 0.5f * i});
    }
};

// Little-endian byte builder for expected and hand-made files.
struct Bytes {
    QByteArray b;
    Bytes& u8(int v) { b.append(char(v)); return *this; }
    Bytes& i32(int32_t v) { char t[4]; qToLittleEndian(v, t); b.append(t, 4); return *this; }
    Bytes& f32(float v) { char t[4]; qToLittleEndian(v, t); b.append(t, 4); return *this; }
    Bytes& raw(const QByteArray& s) { b.append(s); return *this; }
};

inline QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

inline bool writeAll(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

// Seconds since 1970 of a UTC calendar time (for runs under TZ=UTC0).
inline int64_t utc(int y, int mo, int d, int h, int mi, int s)
{
    std::tm tm {};
    tm.tm_year = y - 1900;
    tm.tm_mon = mo - 1;
    tm.tm_mday = d;
    tm.tm_hour = h;
    tm.tm_min = mi;
    tm.tm_sec = s;
    return static_cast<int64_t>(timegm(&tm));
}
