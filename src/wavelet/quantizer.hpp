// Quantization by loss factor: the only lossy step of the wavelet engine.
//
// Only the six detail bands of the two finest levels lose bits; the low
// region (the lowest band and all coarser levels) is always exact.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "core/image_parameters.hpp"

namespace vrk {

// Bits dropped per band, by loss factor, in the order: level 0 orientation
// 3, 2, 1, then level 1 orientation 3, 2, 1. The diagonal band of the finest
// level always loses most; no entry decreases as the loss factor grows.
inline constexpr std::array<std::array<int, 6>, max_loss_factor + 1> quantizer_shifts = {{
    {0, 0, 0, 0, 0, 0},
    {1, 0, 0, 0, 0, 0},
    {2, 0, 0, 0, 0, 0},
    {2, 1, 0, 0, 0, 0},
    {2, 1, 1, 0, 0, 0},
    {3, 1, 1, 1, 0, 0},
    {3, 2, 1, 1, 0, 0},
    {3, 2, 2, 2, 1, 0},
    {4, 2, 2, 2, 1, 1},
    {4, 3, 2, 2, 1, 1},
    {4, 3, 3, 3, 2, 1},
    {5, 3, 3, 3, 2, 2},
    {5, 4, 3, 3, 2, 2},
}};

// Truncates magnitudes, so everything below 2^shift in magnitude becomes 0
// (a dead zone twice as wide as the other steps).
constexpr std::int32_t quantize_value(std::int32_t v, int shift) noexcept {
    if (v >= 0) return v >> shift;
    const std::uint32_t magnitude = 0u - static_cast<std::uint32_t>(v);
    return static_cast<std::int32_t>(0u - (magnitude >> shift));
}

// Puts a nonzero value back near the middle of the magnitudes it stood for,
// rounded towards zero: |q| * 2^shift + 2^(shift-1) - 1.
constexpr std::int32_t dequantize_value(std::int32_t q, int shift) noexcept {
    if (q == 0) return 0;
    const std::uint32_t offset = (1u << (shift - 1)) - 1u;
    const std::uint32_t scaled = static_cast<std::uint32_t>(q) << shift;
    return static_cast<std::int32_t>(q > 0 ? scaled + offset : scaled - offset);
}

// The six bands of a rows x cols plane strip (rows starting `stride` apart
// at base), in place. Loss factor 0 changes nothing.
void quantize_plane(int loss_factor, std::int32_t* base, std::ptrdiff_t stride, int rows, int cols) noexcept;
void dequantize_plane(int loss_factor, std::int32_t* base, std::ptrdiff_t stride, int rows, int cols) noexcept;

} // namespace vrk
