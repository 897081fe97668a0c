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

} // namespace LocalTime
