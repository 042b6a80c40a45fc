#include "wavelet/quantizer.hpp"

#include <cassert>

#include "entropy/band_geometry.hpp"

namespace vrk {

namespace {

// Calls `apply(value&, shift)` on every value of every band whose shift is
// not 0, bands in the order of the shift table.
template <typename Apply>
void for_each_quantized_band(int loss_factor, std::int32_t* base, std::ptrdiff_t stride, int rows, int cols,
                             Apply apply) noexcept {
    assert(loss_factor >= 0 && loss_factor <= max_loss_factor);
    const auto& shifts = quantizer_shifts[static_cast<std::size_t>(loss_factor)];
    for (int column = 0; column < 6; ++column) {
        const int shift = shifts[static_cast<std::size_t>(column)];
        if (shift == 0) continue;
        const int level = column / 3;
        const int orientation = 3 - column % 3;
        const int band_rows = rows >> (level + 1);
        const int band_cols = cols >> (level + 1);
        const std::size_t o = static_cast<std::size_t>(orientation);
        std::int32_t* band = base + band_row_offset[o] * band_rows * stride + band_col_offset[o] * band_cols;
        for (int r = 0; r < band_rows; ++r) {
            std::int32_t* row = band + r * stride;
            for (int c = 0; c < band_cols; ++c) apply(row[c], shift);
        }
    }
}

} // namespace

void quantize_plane(int loss_factor, std::int32_t* base, std::ptrdiff_t stride, int rows, int cols) noexcept {
    for_each_quantized_band(loss_factor, base, stride, rows, cols,
                            [](std::int32_t& v, int shift) { v = quantize_value(v, shift); });
}

void dequantize_plane(int loss_factor, std::int32_t* base, std::ptrdiff_t stride, int rows, int cols) noexcept {
    for_each_quantized_band(loss_factor, base, stride, rows, cols,
                            [](std::int32_t& v, int shift) { v = dequantize_value(v, shift); });
}

} // namespace vrk
