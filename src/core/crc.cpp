#include "core/crc.hpp"

#include <bit>

namespace vrk {

namespace {

// Four bytes as a little-endian word; one load on little-endian machines.
inline std::uint32_t load_le32(const std::uint8_t* p) noexcept {
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

} // namespace

std::uint32_t crc_update(std::uint32_t crc, const std::uint8_t* bytes, std::size_t count) noexcept {
    const auto& t = crc_slices;
    for (; count >= 8; count -= 8, bytes += 8) {
        const std::uint32_t low = crc ^ load_le32(bytes);
        const std::uint32_t high = load_le32(bytes + 4);
        crc = t[7][low & 0xFF] ^ t[6][(low >> 8) & 0xFF] ^ t[5][(low >> 16) & 0xFF] ^ t[4][low >> 24] ^
              t[3][high & 0xFF] ^ t[2][(high >> 8) & 0xFF] ^ t[1][(high >> 16) & 0xFF] ^ t[0][high >> 24];
    }
    for (std::size_t i = 0; i < count; ++i) crc = crc_table[(crc ^ bytes[i]) & 0xFF] ^ (crc >> 8);
    return crc;
}

std::uint32_t crc_update_samples16(std::uint32_t crc, const std::uint16_t* samples, std::size_t count,
                                   std::endian order) noexcept {
    // In chunks, so the bytes go through the sliced loop.
    constexpr std::size_t chunk = 256;
    std::uint8_t bytes[2 * chunk];
    const int high = order == std::endian::big ? 0 : 1;
    while (count != 0) {
        const std::size_t n = count < chunk ? count : chunk;
        for (std::size_t i = 0; i < n; ++i) {
            bytes[2 * i + high] = static_cast<std::uint8_t>(samples[i] >> 8);
            bytes[2 * i + 1 - high] = static_cast<std::uint8_t>(samples[i]);
        }
        crc = crc_update(crc, bytes, 2 * n);
        samples += n;
        count -= n;
    }
    return crc;
}

std::uint32_t crc_update_values(std::uint32_t crc, const std::int32_t* values, std::size_t count) noexcept {
    if constexpr (std::endian::native == std::endian::little)
        return crc_update(crc, reinterpret_cast<const std::uint8_t*>(values), count * sizeof(std::int32_t));
    for (std::size_t i = 0; i < count; ++i) {
        const auto v = static_cast<std::uint32_t>(values[i]);
        const std::uint8_t bytes[4] = {static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8),
                                       static_cast<std::uint8_t>(v >> 16), static_cast<std::uint8_t>(v >> 24)};
        crc = crc_update(crc, bytes, 4);
    }
    return crc;
}

} // namespace vrk
