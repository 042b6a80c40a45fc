// The length code of a strip record: a count below 2^30 in 1 to 4 bytes.
// The top two bits of the first byte say how many bytes follow; the value's
// remaining high bits fill the first byte's low six bits, then its lower
// bytes follow, most significant first.
#pragma once

#include <cstdint>

namespace vrk {

inline constexpr std::uint32_t length_code_limit = 1u << 30;

// Writes the code of v (< 2^30) to out; returns its size in bytes.
constexpr int encode_length_code(std::uint32_t v, std::uint8_t* out) noexcept {
    int k = 0;
    while (k < 3 && (v >> (8 * k)) >= 64) ++k;
    out[0] = static_cast<std::uint8_t>(k * 64 + ((v >> (8 * k)) & 63));
    for (int j = k - 1, i = 1; j >= 0; --j, ++i) out[i] = static_cast<std::uint8_t>(v >> (8 * j));
    return k + 1;
}

// Reads a code through next_byte(), which returns the next byte (0 to 255)
// or fails by itself at the end of the input.
template <class NextByte>
std::uint32_t decode_length_code(NextByte&& next_byte) {
    const auto first = static_cast<std::uint32_t>(next_byte());
    const int k = static_cast<int>(first >> 6);
    std::uint32_t v = (first & 63) << (8 * k);
    for (int j = k - 1; j >= 0; --j) v |= static_cast<std::uint32_t>(next_byte()) << (8 * j);
    return v;
}

} // namespace vrk
