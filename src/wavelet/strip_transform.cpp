#include "wavelet/strip_transform.hpp"

#include <algorithm>
#include <cassert>

#include "core/strip_schedule.hpp"
#include "core/wrapping_arithmetic.hpp"
#include "wavelet/column_block_step.hpp"
#include "wavelet/wavelet_step.hpp"

namespace vrk {

namespace {

// Runs `visit(value&)` over the band in serpentine order.
template <typename Visit>
void visit_serpentine(std::int32_t* base, std::ptrdiff_t stride, int rows, int cols, Visit visit) noexcept {
    for (int r = 0; r < rows; ++r) {
        std::int32_t* row = base + r * stride;
        if ((r & 1) == 0) {
            for (int c = 0; c < cols; ++c) visit(row[c]);
        } else {
            for (int c = cols - 1; c >= 0; --c) visit(row[c]);
        }
    }
}

enum class Direction { forward, inverse };

// The column steps of one level: blocks of columns side by side (which
// vectorises), then any leftover columns one at a time.
template <Direction direction>
void transform_columns(const PlaneStrip& strip, int level, bool first_strip, std::int32_t* scratch) noexcept {
    const int rows = strip.rows >> level;
    const int cols = strip.cols >> level;
    std::int32_t* const base = strip.base;
    std::int32_t* const carry_low = strip.carries.low[static_cast<std::size_t>(level)];
    std::int32_t* const carry_high = strip.carries.high[static_cast<std::size_t>(level)];
    constexpr int lanes = column_block_lanes;
    ColumnBlockRow<lanes> block[max_strip_rows];
    int c = 0;
    for (; c + lanes <= cols; c += lanes) {
        gather_column_block<lanes>(base + c, strip.stride, rows, block);
        if constexpr (direction == Direction::forward)
            forward_column_block<lanes>(block, base + c, strip.stride, rows / 2, first_strip, carry_low + c,
                                        carry_high + c);
        else
            inverse_column_block<lanes>(block, base + c, strip.stride, rows / 2, first_strip, carry_low + c,
                                        carry_high + c);
    }
    for (; c < cols; ++c) {
        std::int32_t* column = base + c;
        for (int r = 0; r < rows; ++r) scratch[r] = column[r * strip.stride];
        const ColumnCarry carry{carry_low[c], carry_high[c]};
        if constexpr (direction == Direction::forward)
            forward_column_step(scratch, column, strip.stride, rows / 2, first_strip, carry);
        else
            inverse_column_step(scratch, column, strip.stride, rows / 2, first_strip, carry);
    }
}

// The row steps of one level, each transformed back into place from a copy
// in scratch: the whole row forwards, only its averages when inverting (the
// differences are read before the pairs written reach them).
template <Direction direction>
void transform_rows(const PlaneStrip& strip, int level, std::int32_t* scratch) noexcept {
    const int rows = strip.rows >> level;
    const int n = (strip.cols >> level) / 2;
    for (int r = 0; r < rows; ++r) {
        std::int32_t* row = strip.base + r * strip.stride;
        if constexpr (direction == Direction::forward) {
            std::copy_n(row, 2 * n, scratch);
            forward_row_step(scratch, row, n);
        } else {
            std::copy_n(row, n, scratch);
            inverse_row_step(scratch, row + n, row, n);
        }
    }
}

} // namespace

void serpentine_differences(std::int32_t* base, std::ptrdiff_t stride, int rows, int cols) noexcept {
    std::int32_t previous = 0;
    visit_serpentine(base, stride, rows, cols, [&previous](std::int32_t& value) {
        const std::int32_t original = value;
        value = wrap_sub(value, previous);
        previous = original;
    });
}

void inverse_serpentine_differences(std::int32_t* base, std::ptrdiff_t stride, int rows, int cols) noexcept {
    std::int32_t previous = 0;
    visit_serpentine(base, stride, rows, cols, [&previous](std::int32_t& value) {
        value = wrap_add(value, previous);
        previous = value;
    });
}

void forward_transform(const PlaneStrip& strip, int strip_index, std::int32_t* scratch) noexcept {
    assert(strip.rows <= max_strip_rows); // the column blocks hold that many rows
    const int levels = transform_levels(strip.rows, strip.cols);
    const bool first_strip = strip_index == 0;
    for (int level = 0; level < levels; ++level) {
        transform_rows<Direction::forward>(strip, level, scratch);
        transform_columns<Direction::forward>(strip, level, first_strip, scratch);
    }
    serpentine_differences(strip.base, strip.stride, strip.rows >> levels, strip.cols >> levels);
}

void inverse_transform(const PlaneStrip& strip, int strip_index, std::int32_t* scratch) noexcept {
    assert(strip.rows <= max_strip_rows);
    const int levels = transform_levels(strip.rows, strip.cols);
    const bool first_strip = strip_index == 0;
    inverse_serpentine_differences(strip.base, strip.stride, strip.rows >> levels, strip.cols >> levels);
    for (int level = levels - 1; level >= 0; --level) {
        transform_columns<Direction::inverse>(strip, level, first_strip, scratch);
        transform_rows<Direction::inverse>(strip, level, scratch);
    }
}

} // namespace vrk
