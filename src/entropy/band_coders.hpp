// The context coders through which the engines hand their integers to the
// entropy coder. A plane is coded with 5 models chosen by the sets of
// already coded neighbours; a detail band with 25, chosen by the neighbours
// and by the band's parent values one level coarser.
//
// Both are templates over a value coder (value_coders.hpp): anything with
// int code(Element& x, int model) returning x's set, and over the rows it
// walks: the values themselves (StripRows, std::int32_t), or the sets the
// encoder stored beside them beforehand (StripByteRows, std::uint8_t), which
// is all the arithmetic encoder needs. Model numbers 0 to 4 are the plane
// models, 5 to 29 the band models.
//
// class_row[j] (j from -1 to cols) holds the set of the last value coded in
// column j; its two ends are guards. Within a call every entry is written
// before it is read, given cols >= 3.
#pragma once

#include <array>
#include <cstdint>

#include "core/strip_planes.hpp"
#include "entropy/band_geometry.hpp"
#include "entropy/magnitude_sets.hpp"

namespace vrk {

inline constexpr int plane_model_count = 5;
inline constexpr int band_model_count = 25;
inline constexpr int model_count = plane_model_count + band_model_count;

namespace detail {
// The neighbour context min((sum + round) >> 3, 4) of every sum of four
// sets, plus `first` (the number of the context's first model): one load in
// place of the add, shift and clamp on the way from one value to the next.
constexpr std::array<std::uint8_t, 4 * max_alphabet_size> build_neighbour_contexts(int round, int first) {
    std::array<std::uint8_t, 4 * max_alphabet_size> t{};
    for (int sum = 0; sum < 4 * max_alphabet_size; ++sum) {
        const int c = (sum + round) >> 3;
        t[sum] = static_cast<std::uint8_t>(first + (c < 4 ? c : 4));
    }
    return t;
}
inline constexpr auto plane_contexts = build_neighbour_contexts(6, 0);
inline constexpr auto band_contexts = build_neighbour_contexts(4, plane_model_count);
} // namespace detail

// The set of a parent: of its value, or the set stored in its place.
inline int set_of_parent(std::int32_t value) noexcept { return magnitude_set_of(magnitude_of(value)); }
inline int set_of_parent(std::uint8_t set) noexcept { return set; }

template <class ValueCoder, class Rows>
void code_plane_values(ValueCoder& state, Rows strip, std::int32_t* class_row, int row_count, int cols) {
    // A local copy: the loop's stores of values could alias the stream
    // registers in `state`, which would then go through memory at every value.
    ValueCoder coder = state;
    // Row 0: the context is the set of the value to the left, halved.
    int prev = 0;
    auto* row = strip.row(0);
    for (int j = 0; j < cols; ++j) {
        int c = (prev + 1) >> 1;
        if (c > 4) c = 4;
        prev = coder.code(row[j], c);
        class_row[j] = prev;
    }
    // Later rows: above right, left, above and above left. The left guard
    // repeats the set above column 0 and the right guard the set above the
    // last column.
    for (int i = 1; i < row_count; ++i) {
        row = strip.row(i);
        int ul = class_row[1];
        class_row[-1] = class_row[0];
        class_row[cols] = class_row[cols - 1];
        for (int j = 0; j < cols; ++j) {
            const int k =
                coder.code(row[j], detail::plane_contexts[class_row[j + 1] + class_row[j - 1] + class_row[j] + ul]);
            ul = class_row[j];
            class_row[j] = k;
        }
    }
    state = coder;
}

// Five times the parent context of each column of the band: child columns
// 2m - 1 and 2m share the context of parents m - 1 and m. Returns the set of
// the last parent read.
template <class Element>
int build_parent_row(const Element* parents, std::int32_t* parent_row, int cols) noexcept {
    int prev = set_of_parent(parents[0]);
    for (int m = 1; m <= (cols - 1) >> 1; ++m) {
        const int q = prev;
        prev = set_of_parent(parents[m]);
        int c = (prev + q + 2) >> 2;
        if (c > 4) c = 4;
        parent_row[2 * m - 1] = parent_row[2 * m] = 5 * c;
    }
    parent_row[0] = parent_row[1];
    parent_row[cols - 1] = parent_row[cols - 2];
    return prev;
}

template <class ValueCoder, class Rows>
void code_band_values(ValueCoder& state, int orientation, Rows strip, int row_count, int cols, std::int32_t* class_row,
                      std::int32_t* parent_row) {
    ValueCoder coder = state; // as in the plane coder
    const int row0 = band_row_offset[orientation] * row_count;
    const int col0 = band_col_offset[orientation] * cols;
    int prev = 0;
    for (int i = 0; i < row_count; ++i) {
        // Two child rows share one parent row.
        if ((i & 1) == 0) prev = build_parent_row(strip.row((row0 + i) >> 1) + (col0 >> 1), parent_row, cols);
        auto* row = strip.row(row0 + i) + col0;
        if (i == 0) {
            // The first value's context is the last parent's set, halved.
            for (int j = 0; j < cols; ++j) {
                int c = prev >> 1;
                if (c > 4) c = 4;
                prev = coder.code(row[j], plane_model_count + c + parent_row[j]);
                class_row[j] = prev;
            }
            continue;
        }
        int ul = class_row[1];
        class_row[-1] = class_row[0];
        class_row[cols] = class_row[cols - 1];
        for (int j = 0; j < cols; ++j) {
            const int sum = class_row[j + 1] + class_row[j - 1] + class_row[j] + ul;
            const int k = coder.code(row[j], detail::band_contexts[sum] + parent_row[j]);
            ul = class_row[j];
            class_row[j] = k;
        }
    }
    state = coder;
}

} // namespace vrk
