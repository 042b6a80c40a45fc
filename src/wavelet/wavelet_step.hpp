// The one-dimensional step of the strip wavelet: an S-transform of 2n values
// into n averages s and n differences d, then a prediction of each difference
// from the neighbouring average differences e[k] = s[k] - s[k+1] and from the
// previous unpredicted difference.
//
// Rows start afresh at their left edge. Columns continue across strips: the
// last average and unpredicted difference of a column, kept from the previous
// strip, stand in for e[-1] and d[-1]; the first strip has none and uses 0.
//
// The inverse restores the differences in increasing order, so each
// prediction sees the same inputs as in the forward step, and the whole
// step is exact. All sums wrap (see wrapping_arithmetic.hpp).
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/wrapping_arithmetic.hpp"

namespace vrk {

// P = (3 e[k-1] + 2 e[k] - 2 d[k-1] + 3) >> 3, d[k-1] unpredicted.
constexpr std::int32_t predict_difference(std::int32_t e_before, std::int32_t e_after, std::int32_t d_before) noexcept {
    const std::uint32_t sum = 3u * static_cast<std::uint32_t>(e_before) + 2u * static_cast<std::uint32_t>(e_after) -
                              2u * static_cast<std::uint32_t>(d_before) + 3u;
    return static_cast<std::int32_t>(sum) >> 3;
}

constexpr std::int32_t pair_average(const std::int32_t* x, int k) noexcept {
    return wrap_add(x[2 * k], x[2 * k + 1]) >> 1;
}
constexpr std::int32_t pair_difference(const std::int32_t* x, int k) noexcept {
    return wrap_sub(x[2 * k], x[2 * k + 1]);
}

// Undoes the S-transform of one pair: x[2k] = s + ((d + 1) >> 1), x[2k+1] = x[2k] - d.
inline void write_pair(std::int32_t* first, std::int32_t* second, std::int32_t s, std::int32_t d) noexcept {
    const std::int32_t even = wrap_add(s, wrap_add(d, 1) >> 1);
    *first = even;
    *second = wrap_sub(even, d);
}

// Forward, row rule: x[0..2n) becomes out[0..n) = s, out[n..2n) = d'.
// Rows of fewer than 3 pairs are left unpredicted; otherwise both ends use
// the one average difference they have, e >> 2. x and out must not overlap.
// The averages are written first, so the predictions read them back with no
// state carried from pair to pair, and both passes vectorise.
inline void forward_row_step(const std::int32_t* x, std::int32_t* out, int n) noexcept {
    std::int32_t* high = out + n;
    for (int k = 0; k < n; ++k) out[k] = pair_average(x, k);
    if (n < 3) {
        for (int k = 0; k < n; ++k) high[k] = pair_difference(x, k);
        return;
    }
    const std::int32_t* s = out;
    high[0] = wrap_sub(pair_difference(x, 0), wrap_sub(s[0], s[1]) >> 2);
    for (int k = 1; k < n - 1; ++k) {
        const std::int32_t e_before = wrap_sub(s[k - 1], s[k]);
        const std::int32_t e_after = wrap_sub(s[k], s[k + 1]);
        high[k] = wrap_sub(pair_difference(x, k), predict_difference(e_before, e_after, pair_difference(x, k - 1)));
    }
    high[n - 1] = wrap_sub(pair_difference(x, n - 1), wrap_sub(s[n - 2], s[n - 1]) >> 2);
}

// Inverse, row rule: s[0..n) and high[0..n) = d' become x[0..2n) in out.
// high may be out + n: pair k writes out[2k] and out[2k+1], never beyond
// out[n + k], and reads high[k] before it writes, so every d' is read before
// it is overwritten. Only s must lie apart from out.
inline void inverse_row_step(const std::int32_t* s, const std::int32_t* high, std::int32_t* out, int n) noexcept {
    if (n < 3) {
        for (int k = 0; k < n; ++k) write_pair(out + 2 * k, out + 2 * k + 1, s[k], high[k]);
        return;
    }
    std::int32_t e_prev = wrap_sub(s[0], s[1]);
    std::int32_t d_prev = wrap_add(high[0], e_prev >> 2);
    write_pair(out, out + 1, s[0], d_prev);
    for (int k = 1; k < n - 1; ++k) {
        const std::int32_t e = wrap_sub(s[k], s[k + 1]);
        const std::int32_t d = wrap_add(high[k], predict_difference(e_prev, e, d_prev));
        write_pair(out + 2 * k, out + 2 * k + 1, s[k], d);
        e_prev = e;
        d_prev = d;
    }
    write_pair(out + 2 * (n - 1), out + 2 * n - 1, s[n - 1], wrap_add(high[n - 1], e_prev >> 2));
}

// Inverse, row rule: in[0..n) = s and in[n..2n) = d' become x[0..2n) in out.
inline void inverse_row_step(const std::int32_t* in, std::int32_t* out, int n) noexcept {
    inverse_row_step(in, in + n, out, n);
}

// The last average and unpredicted difference of one column at one level,
// handed from each strip to the next.
struct ColumnCarry {
    std::int32_t& low;
    std::int32_t& high;
};

// Forward, column rule: the column's 2n values x become s in rows 0..n-1 and
// d' in rows n..2n-1 of `column` (entries `stride` apart); the carry is read
// unless this is the first strip, and always rewritten.
inline void forward_column_step(const std::int32_t* x, std::int32_t* column, std::ptrdiff_t stride, int n,
                                bool first_strip, ColumnCarry carry) noexcept {
    std::int32_t* high = column + n * stride;
    std::int32_t s = pair_average(x, 0);
    std::int32_t d = pair_difference(x, 0);
    std::int32_t e_prev = first_strip ? 0 : wrap_sub(carry.low, s);
    std::int32_t d_prev = first_strip ? 0 : carry.high;
    for (int k = 0; k < n - 1; ++k) {
        const std::int32_t s_next = pair_average(x, k + 1);
        const std::int32_t e = wrap_sub(s, s_next);
        column[k * stride] = s;
        high[k * stride] = wrap_sub(d, predict_difference(e_prev, e, d_prev));
        e_prev = e;
        d_prev = d;
        s = s_next;
        d = pair_difference(x, k + 1);
    }
    column[(n - 1) * stride] = s;
    high[(n - 1) * stride] = wrap_sub(d, e_prev >> 2);
    carry.low = s;
    carry.high = d;
}

// Inverse, column rule: in[0..n) = s and in[n..2n) = d' become the column's
// 2n values in `column`; the carry is handled as in the forward step, so it
// ends up as the forward step left it.
inline void inverse_column_step(const std::int32_t* in, std::int32_t* column, std::ptrdiff_t stride, int n,
                                bool first_strip, ColumnCarry carry) noexcept {
    const std::int32_t* s = in;
    const std::int32_t* high = in + n;
    std::int32_t e_prev = first_strip ? 0 : wrap_sub(carry.low, s[0]);
    std::int32_t d_prev = first_strip ? 0 : carry.high;
    for (int k = 0; k < n - 1; ++k) {
        const std::int32_t e = wrap_sub(s[k], s[k + 1]);
        const std::int32_t d = wrap_add(high[k], predict_difference(e_prev, e, d_prev));
        write_pair(column + 2 * k * stride, column + (2 * k + 1) * stride, s[k], d);
        e_prev = e;
        d_prev = d;
    }
    const std::int32_t d_last = wrap_add(high[n - 1], e_prev >> 2);
    write_pair(column + 2 * (n - 1) * stride, column + (2 * n - 1) * stride, s[n - 1], d_last);
    carry.low = s[n - 1];
    carry.high = d_last;
}

} // namespace vrk
