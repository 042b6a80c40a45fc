// The reversible wavelet transform of one plane of one strip, in place.
//
// Each level splits the top-left region of the level before into a low-pass
// corner and three detail bands, rows first, then columns; the lowest band
// left after the last level is stored as serpentine differences. The column
// passes continue across strips through the plane's carry rows.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace vrk {

inline constexpr int max_transform_levels = 5;

// Levels for a rows x cols strip (rows 16, 24 or 32, cols a multiple of 8):
// 5 when both are multiples of 32, 4 when both are multiples of 16, else 3,
// so every level halves a whole number of pairs.
constexpr int transform_levels(int rows, int cols) noexcept {
    const int odd_part = (rows | cols) & 24;
    return odd_part == 0 ? 5 : odd_part == 16 ? 4 : 3;
}

// The column state one plane carries from strip to strip: two rows a level,
// each as wide as the plane's strip rows.
struct ColumnCarries {
    std::array<std::int32_t*, max_transform_levels> low{};
    std::array<std::int32_t*, max_transform_levels> high{};
};

// Rows of one plane and their carries, as the transform needs them: rows
// 0..rows-1 start `stride` values apart at `base`.
struct PlaneStrip {
    std::int32_t* base;
    std::ptrdiff_t stride;
    int rows; // 16, 24 or 32
    int cols; // a multiple of 8, at least 32
    const ColumnCarries& carries;
};

// Transforms the plane's rows x cols samples into bands and rewrites the
// carry rows of every level it runs. On strip 0 the carries are not read.
// `scratch` holds at least max(rows, cols) values.
void forward_transform(const PlaneStrip& strip, int strip_index, std::int32_t* scratch) noexcept;

// Undoes forward_transform exactly, leaving the carry rows as it left them.
void inverse_transform(const PlaneStrip& strip, int strip_index, std::int32_t* scratch) noexcept;

// The lowest band: each value minus the one visited before it (0 for the
// first), visiting even rows left to right and odd rows right to left, so
// consecutive values are always neighbours.
void serpentine_differences(std::int32_t* base, std::ptrdiff_t stride, int rows, int cols) noexcept;
void inverse_serpentine_differences(std::int32_t* base, std::ptrdiff_t stride, int rows, int cols) noexcept;

} // namespace vrk
