#pragma once
// Local wall-clock time, the one place the program turns seconds since 1970
// into calendar fields and texts and back. Everything is resolved by the C
// library's zone rules, so midnight, month ends and daylight-saving changes
// come out the same in every view, file and export.
#include <QString>
#include <cstddef>
#include <cstdint>

namespace LocalTime {

// A moment split into local calendar fields (four-digit year, month 1..12).
struct Fields {
    int32_t year = 1970, month = 1, day = 1, hour = 0, minute = 0, second = 0;
    bool operator==(const Fields&) const = default;
};

Fields split(int64_t secondsSince1970);
// The moment the fields name; the daylight-saving state is left to the zone
// rules.
int64_t join(const Fields& fields);

// strftime of the moment into out (at most size bytes with the terminator);
// returns the length written, 0 when it does not fit.
size_t formatInto(char* out, size_t size, int64_t secondsSince1970, const char* strftimeFormat);
QString format(int64_t secondsSince1970, const char* strftimeFormat);
// The same in UTC.
size_t formatUtcInto(char* out, size_t size, int64_t secondsSince1970, const char* strftimeFormat);

// The offset from UTC in force at the moment by the local zone's rules, in
// seconds east of UTC (3600 in Berlin in winter, 7200 in summer).
int utcOffsetSeconds(int64_t secondsSince1970);
// An offset as ISO 8601 writes it: "+01:00", "-03:30", "+00:00"; with its
// seconds ("+00:53:28") only where it has them. Returns the length written
// (at most 9, plus the terminator), 0 when it does not fit.
size_t formatOffsetInto(char* out, size_t size, int offsetSeconds);

} // namespace LocalTime
