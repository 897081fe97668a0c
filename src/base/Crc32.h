#pragma once
// CRC-32 (the reflected 0xEDB88320 polynomial of zip and PNG), computed from a
// table built at compile time: no allocation, usable per record.
#include <array>
#include <cstddef>
#include <cstdint>

namespace Crc32 {

namespace detail {
constexpr std::array<uint32_t, 256> makeTable()
{
    std::array<uint32_t, 256> table {};
    for (uint32_t i = 0; i < 256; ++i) {
        uint32_t c = i;
        for (int k = 0; k < 8; ++k)
            c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        table[i] = c;
    }
    return table;
}
inline constexpr std::array<uint32_t, 256> kTable = makeTable();
} // namespace detail

// Continues a checksum over more bytes; start with 0.
constexpr uint32_t update(uint32_t crc, const unsigned char* data, size_t size)
{
    uint32_t c = ~crc;
    for (size_t i = 0; i < size; ++i)
        c = detail::kTable[(c ^ data[i]) & 0xFF] ^ (c >> 8);
    return ~c;
}

inline uint32_t of(const void* data, size_t size)
{
    return update(0, static_cast<const unsigned char*>(data), size);
}

} // namespace Crc32
