#pragma once
// The vertical scale of a graph: a gain in value units per division and an
// offset in divisions, over ten divisions. Division line i (0..10) has the
// value (offset + i) x gain. The settings file stores the scale as indexes
// into the two tables; data files store the values.
#include <array>
#include <cstddef>
#include <cstdint>

inline constexpr int kAxisDivisions = 10; // eleven division lines

inline constexpr std::array<int, 9> kGainTable {1, 2, 5, 10, 20, 50, 100, 200, 500};
inline constexpr std::array<int, 5> kOffsetTable {0, 2, 5, -2, -5};

struct YScaleValues {
    int32_t gain = 10;
    int32_t offset = 0;
    bool operator==(const YScaleValues&) const = default;
};

// Gain/offset value of a table index; the fallback when the index is
// outside the table.
inline int gainForIndex(int index, int fallback)
{
    return index >= 0 && index < int(kGainTable.size()) ? kGainTable[std::size_t(index)] : fallback;
}
inline int offsetForIndex(int index, int fallback)
{
    return index >= 0 && index < int(kOffsetTable.size()) ? kOffsetTable[std::size_t(index)] : fallback;
}
// The table index of a value, -1 when the table does not hold it.
inline int indexOfGain(int gain)
{
    for (std::size_t i = 0; i < kGainTable.size(); ++i)
        if (kGainTable[i] == gain)
            return int(i);
    return -1;
}
inline int indexOfOffset(int offset)
{
    for (std::size_t i = 0; i < kOffsetTable.size(); ++i)
        if (kOffsetTable[i] == offset)
            return int(i);
    return -1;
}
