// Drives a whole EntropyCoder run over strip arrays the way the engines do:
// a list of plane and band calls per strip, the shared class and parent rows.
#pragma once

#include <cstdint>
#include <vector>

#include "entropy/band_geometry.hpp"
#include "entropy/entropy_coder.hpp"

namespace vrk::testing_support {

struct Call {
    int orientation; // 0 for the plane coder
    int rows;
    int cols;
};

// The plane coder over a whole strip, as graphics mode calls it.
inline std::vector<Call> plane_calls(int height, int width) { return {{0, height, width}}; }

// The wavelet layout of a height x width strip (both multiples of 8): the
// low region, then the three detail bands at quarter and at half size.
inline std::vector<Call> wavelet_calls(int height, int width) {
    const int h = height / 4;
    const int w = width / 4;
    return {{0, h, w}, {1, h, w}, {2, h, w}, {3, h, w}, {1, 2 * h, 2 * w}, {2, 2 * h, 2 * w}, {3, 2 * h, 2 * w}};
}

struct StripArray {
    StripArray(int height, int width)
        : height(height), width(width), values(static_cast<std::size_t>(height) * width),
          context(2 * static_cast<std::size_t>(width) + 4, 0) {}
    StripRows rows() { return StripRows{values.data(), width}; }
    std::int32_t& at(int row, int col) { return values[static_cast<std::size_t>(row) * width + col]; }

    void code(EntropyCoder& coder, const std::vector<Call>& calls) {
        std::int32_t* class_row = context.data() + 1;
        std::int32_t* parent_row = class_row + width + 2;
        for (const Call& call : calls) {
            if (call.orientation == 0)
                coder.code_plane(rows(), class_row, call.rows, call.cols);
            else
                coder.code_band(call.orientation, rows(), call.rows, call.cols, class_row, parent_row);
        }
    }

    int height;
    int width;
    std::vector<std::int32_t> values;
    std::vector<std::int32_t> context;
};

// Whether (row, col) lies in a region that one of the calls codes.
inline bool coded(const std::vector<Call>& calls, int row, int col) {
    for (const Call& call : calls) {
        const int r0 = band_row_offset[call.orientation] * call.rows;
        const int c0 = band_col_offset[call.orientation] * call.cols;
        if (row >= r0 && row < r0 + call.rows && col >= c0 && col < c0 + call.cols) return true;
    }
    return false;
}

// Positions where two arrays differ inside the coded regions.
inline int coded_differences(const std::vector<Call>& calls, StripArray& a, StripArray& b) {
    int wrong = 0;
    for (int r = 0; r < a.height; ++r)
        for (int c = 0; c < a.width; ++c)
            if (coded(calls, r, c) && a.at(r, c) != b.at(r, c)) ++wrong;
    return wrong;
}

} // namespace vrk::testing_support
