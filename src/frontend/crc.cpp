#include "frontend/crc.hpp"

namespace vrk {

std::uint32_t crc_update(std::uint32_t crc, const std::uint8_t* bytes, std::size_t count) noexcept {
    for (std::size_t i = 0; i < count; ++i) crc = crc_table[(crc ^ bytes[i]) & 0xFF] ^ (crc >> 8);
    return crc;
}

} // namespace vrk
