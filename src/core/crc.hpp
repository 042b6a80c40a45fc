// The 32-bit CRC that protects a compressed file end to end.
//
// A reflected CRC with the generator 0xAB050503 (0xC0A0A0D5 reflected), no
// initial or final inversion, started from its own seed.
#pragma once

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>

namespace vrk {

inline constexpr std::uint32_t CRC_SEED = 0x56FC2A2C;

namespace detail {
constexpr std::array<std::uint32_t, 256> make_crc_table() {
    std::array<std::uint32_t, 256> table{};
    for (std::uint32_t i = 0; i < 256; ++i) {
        std::uint32_t value = i;
        for (int bit = 0; bit < 8; ++bit) value = (value & 1) ? (value >> 1) ^ 0xC0A0A0D5u : value >> 1;
        table[i] = value;
    }
    return table;
}

// Slice-by-8: slice k maps a byte to its contribution after k further zero
// bytes, so eight bytes cost eight independent lookups instead of a chain of
// eight dependent ones. Slice 0 is crc_table.
constexpr std::array<std::array<std::uint32_t, 256>, 8> make_crc_slices() {
    std::array<std::array<std::uint32_t, 256>, 8> slices{};
    slices[0] = make_crc_table();
    for (std::size_t k = 1; k < 8; ++k)
        for (std::size_t i = 0; i < 256; ++i)
            slices[k][i] = (slices[k - 1][i] >> 8) ^ slices[0][slices[k - 1][i] & 0xFF];
    return slices;
}
} // namespace detail

inline constexpr std::array<std::uint32_t, 256> crc_table = detail::make_crc_table();
inline constexpr std::array<std::array<std::uint32_t, 256>, 8> crc_slices = detail::make_crc_slices();

// The CRC after `count` more bytes.
std::uint32_t crc_update(std::uint32_t crc, const std::uint8_t* bytes, std::size_t count) noexcept;

// The CRC after `count` more 16-bit samples, each as the two bytes an image
// file stores, in `order`.
std::uint32_t crc_update_samples16(std::uint32_t crc, const std::uint16_t* samples, std::size_t count,
                                   std::endian order) noexcept;

// The CRC after `count` more 32-bit values, each as four bytes, least
// significant first.
std::uint32_t crc_update_values(std::uint32_t crc, const std::int32_t* values, std::size_t count) noexcept;

} // namespace vrk
