#include "base/LocalTime.h"

#include <cstdio>
#include <cstdlib>
#include <ctime>

namespace LocalTime {

Fields split(int64_t secondsSince1970)
{
    const std::time_t t = static_cast<std::time_t>(secondsSince1970);
    std::tm tm {};
    localtime_r(&t, &tm);
    return {tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec};
}

int64_t join(const Fields& f)
{
    std::tm tm {};
    tm.tm_year = f.year - 1900;
    tm.tm_mon = f.month - 1;
    tm.tm_mday = f.day;
    tm.tm_hour = f.hour;
    tm.tm_min = f.minute;
    tm.tm_sec = f.second;
    tm.tm_isdst = -1;
    return static_cast<int64_t>(std::mktime(&tm));
}

size_t formatInto(char* out, size_t size, int64_t secondsSince1970, const char* strftimeFormat)
{
    const std::time_t t = static_cast<std::time_t>(secondsSince1970);
    std::tm local {};
    localtime_r(&t, &local);
    return std::strftime(out, size, strftimeFormat, &local);
}

size_t formatUtcInto(char* out, size_t size, int64_t secondsSince1970, const char* strftimeFormat)
{
    const std::time_t t = static_cast<std::time_t>(secondsSince1970);
    std::tm utc {};
    gmtime_r(&t, &utc);
    return std::strftime(out, size, strftimeFormat, &utc);
}

int utcOffsetSeconds(int64_t secondsSince1970)
{
    const std::time_t t = static_cast<std::time_t>(secondsSince1970);
    std::tm local {};
    localtime_r(&t, &local);
    return static_cast<int>(local.tm_gmtoff);
}

size_t formatOffsetInto(char* out, size_t size, int offsetSeconds)
{
    const char sign = offsetSeconds < 0 ? '-' : '+';
    const long magnitude = std::labs(long(offsetSeconds));
    const long h = magnitude / 3600, m = magnitude / 60 % 60, s = magnitude % 60;
    const int n = s != 0 ? std::snprintf(out, size, "%c%02ld:%02ld:%02ld", sign, h, m, s)
                         : std::snprintf(out, size, "%c%02ld:%02ld", sign, h, m);
    return n > 0 && size_t(n) < size ? size_t(n) : 0;
}

QString format(int64_t secondsSince1970, const char* strftimeFormat)
{
    char buf[64];
    const size_t n = formatInto(buf, sizeof buf, secondsSince1970, strftimeFormat);
    return QString::fromLatin1(buf, static_cast<qsizetype>(n));
}

} // namespace LocalTime
