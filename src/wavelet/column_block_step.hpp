// The column rule of the wavelet step (wavelet_step.hpp) run on a block of
// neighbouring columns at once.
//
// A column pass one column at a time strides down the plane and touches a
// new cache line per value. Here a block of Lanes columns is first gathered
// into a small row-major copy; each pair of rows is then one loop over the
// lanes, which the compiler turns into vector code, and the results go
// straight back into the plane's rows. Per column the arithmetic is exactly
// forward_column_step / inverse_column_step.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/wrapping_arithmetic.hpp"
#include "wavelet/wavelet_step.hpp"

namespace vrk {

inline constexpr int column_block_lanes = 16;

// Rows of one block: Lanes values per row, at most max_strip_rows rows.
template <int Lanes>
using ColumnBlockRow = std::int32_t[Lanes];

// Copies rows 0..rows-1 of the Lanes columns starting at `column`.
template <int Lanes>
inline void gather_column_block(const std::int32_t* column, std::ptrdiff_t stride, int rows,
                                ColumnBlockRow<Lanes>* block) noexcept {
    for (int r = 0; r < rows; ++r)
        for (int j = 0; j < Lanes; ++j) block[r][j] = column[r * stride + j];
}

// Forward column rule over Lanes columns: block holds their 2n values, row by
// row; s goes to rows 0..n-1 and d' to rows n..2n-1 at `column`. The carries
// (Lanes values each) are read unless this is the first strip, then rewritten.
template <int Lanes>
inline void forward_column_block(const ColumnBlockRow<Lanes>* x, std::int32_t* column, std::ptrdiff_t stride, int n,
                                 bool first_strip, std::int32_t* carry_low, std::int32_t* carry_high) noexcept {
    // The pair before pair 0 is the carry's: its average difference and difference.
    std::int32_t e_first[Lanes];
    std::int32_t d_first[Lanes];
    for (int j = 0; j < Lanes; ++j) {
        const std::int32_t s0 = wrap_add(x[0][j], x[1][j]) >> 1;
        e_first[j] = first_strip ? 0 : wrap_sub(carry_low[j], s0);
        d_first[j] = first_strip ? 0 : carry_high[j];
    }
    for (int k = 0; k < n; ++k) {
        std::int32_t* const low_row = column + k * stride;
        std::int32_t* const high_row = column + (n + k) * stride;
        const bool last = k == n - 1;
        for (int j = 0; j < Lanes; ++j) {
            const std::int32_t s = wrap_add(x[2 * k][j], x[2 * k + 1][j]) >> 1;
            const std::int32_t d = wrap_sub(x[2 * k][j], x[2 * k + 1][j]);
            std::int32_t e_before = e_first[j];
            std::int32_t d_before = d_first[j];
            if (k > 0) {
                e_before = wrap_sub(wrap_add(x[2 * k - 2][j], x[2 * k - 1][j]) >> 1, s);
                d_before = wrap_sub(x[2 * k - 2][j], x[2 * k - 1][j]);
            }
            std::int32_t prediction = e_before >> 2;
            if (!last) {
                const std::int32_t s_after = wrap_add(x[2 * k + 2][j], x[2 * k + 3][j]) >> 1;
                prediction = predict_difference(e_before, wrap_sub(s, s_after), d_before);
            }
            low_row[j] = s;
            high_row[j] = wrap_sub(d, prediction);
            if (last) {
                carry_low[j] = s;
                carry_high[j] = d;
            }
        }
    }
}

// Inverse column rule over Lanes columns: block holds s in rows 0..n-1 and
// d' in rows n..2n-1; the columns' 2n values go to `column`. Carries as in
// the forward step, so they end up as the forward step left them.
template <int Lanes>
inline void inverse_column_block(const ColumnBlockRow<Lanes>* in, std::int32_t* column, std::ptrdiff_t stride, int n,
                                 bool first_strip, std::int32_t* carry_low, std::int32_t* carry_high) noexcept {
    const ColumnBlockRow<Lanes>* s = in;
    const ColumnBlockRow<Lanes>* high = in + n;
    // Each lane's last unpredicted difference: the one restored value the step carries.
    std::int32_t d_before[Lanes];
    std::int32_t e_first[Lanes];
    for (int j = 0; j < Lanes; ++j) {
        e_first[j] = first_strip ? 0 : wrap_sub(carry_low[j], s[0][j]);
        d_before[j] = first_strip ? 0 : carry_high[j];
    }
    for (int k = 0; k < n; ++k) {
        std::int32_t* const even_row = column + 2 * k * stride;
        std::int32_t* const odd_row = even_row + stride;
        const bool last = k == n - 1;
        for (int j = 0; j < Lanes; ++j) {
            const std::int32_t e_before = k > 0 ? wrap_sub(s[k - 1][j], s[k][j]) : e_first[j];
            std::int32_t prediction = e_before >> 2;
            if (!last) prediction = predict_difference(e_before, wrap_sub(s[k][j], s[k + 1][j]), d_before[j]);
            const std::int32_t d = wrap_add(high[k][j], prediction);
            write_pair(even_row + j, odd_row + j, s[k][j], d);
            d_before[j] = d;
        }
    }
    for (int j = 0; j < Lanes; ++j) {
        carry_low[j] = s[n - 1][j];
        carry_high[j] = d_before[j];
    }
}

} // namespace vrk
