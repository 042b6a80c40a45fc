// Where the detail band of orientation o lies in a strip array: a band of
// rows x cols values starts at row band_row_offset[o] * rows and column
// band_col_offset[o] * cols. Orientation 1 is below the low-pass corner,
// 2 to its right, 3 diagonally below right.
#pragma once

#include <array>

namespace vrk {

inline constexpr std::array<int, 4> band_row_offset = {0, 1, 0, 1};
inline constexpr std::array<int, 4> band_col_offset = {0, 0, 1, 1};

} // namespace vrk
