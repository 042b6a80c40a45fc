// 32-bit sample arithmetic that wraps instead of overflowing.
//
// Valid images never come near the 32-bit range, so these give exactly the
// ordinary sums there. A damaged compressed file can decode to coefficients
// whose sums do not fit; wrapping keeps that defined, and the image CRC then
// reports the damage.
#pragma once

#include <cstdint>

namespace vrk {

constexpr std::int32_t wrap_add(std::int32_t a, std::int32_t b) noexcept {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(a) + static_cast<std::uint32_t>(b));
}

constexpr std::int32_t wrap_sub(std::int32_t a, std::int32_t b) noexcept {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(a) - static_cast<std::uint32_t>(b));
}

} // namespace vrk
