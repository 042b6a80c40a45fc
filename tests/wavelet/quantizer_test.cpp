#include "wavelet/quantizer.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

namespace vrk {
namespace {

TEST(Quantizer, ValuesTruncateTowardsZeroAndComeBackNearTheMiddle) {
    struct Case {
        std::int32_t v;
        int shift;
        std::int32_t quantized, restored;
    };
    const Case cases[] = {
        {1, 1, 0, 0},   {-1, 1, 0, 0},     {5, 1, 2, 4},   {-5, 1, -2, -4}, // s = 1: exactly 2q
        {3, 2, 0, 0},   {-3, 2, 0, 0},     {7, 2, 1, 5},   {-9, 2, -2, -9}, // s = 2: 4|q| + 1
        {8, 3, 1, 11},  {-8, 3, -1, -11},                                   // s = 3: 8|q| + 3
        {45, 4, 2, 39}, {-45, 4, -2, -39},                                  // loss factor 12, orientation 2
        {0, 5, 0, 0},   {-31, 5, 0, 0},    {32, 5, 1, 47},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(quantize_value(c.v, c.shift), c.quantized) << c.v << " >> " << c.shift;
        EXPECT_EQ(dequantize_value(c.quantized, c.shift), c.restored) << c.quantized << " << " << c.shift;
    }
}

// The shift of position (r, c) of a rows x cols plane, from the band layout:
// level 0 bands lie outside the top-left half-size corner, level 1 bands
// outside the quarter-size corner, and the quarter-size corner is never
// quantized. Orientation 1 is below, 2 to the right, 3 diagonally.
int shift_at(int loss_factor, int r, int c, int rows, int cols) {
    for (int level = 0; level < 2; ++level) {
        const int half_rows = rows >> (level + 1);
        const int half_cols = cols >> (level + 1);
        const int orientation = (r >= half_rows ? 1 : 0) + (c >= half_cols ? 2 : 0);
        if (orientation != 0) return quantizer_shifts[loss_factor][level * 3 + (3 - orientation)];
    }
    return 0;
}

TEST(Quantizer, EachBandGetsItsOwnShiftAndTheLowRegionStaysExact) {
    std::mt19937 generator(3);
    std::uniform_int_distribution<std::int32_t> value(-5000, 5000);
    for (const auto& [rows, cols] : {std::pair{16, 40}, std::pair{24, 64}, std::pair{32, 48}}) {
        const int stride = cols + 8; // columns beyond the plane must stay as they are
        std::vector<std::int32_t> original(static_cast<std::size_t>(rows * stride));
        for (auto& v : original) v = value(generator);
        for (int loss_factor = 0; loss_factor <= max_loss_factor; ++loss_factor) {
            std::vector<std::int32_t> plane = original;
            quantize_plane(loss_factor, plane.data(), stride, rows, cols);
            for (int r = 0; r < rows; ++r) {
                for (int c = 0; c < stride; ++c) {
                    const std::int32_t v = original[r * stride + c];
                    const int shift = c < cols ? shift_at(loss_factor, r, c, rows, cols) : 0;
                    const std::int32_t expected = shift == 0 ? v : quantize_value(v, shift);
                    ASSERT_EQ(plane[r * stride + c], expected)
                        << "loss " << loss_factor << " at " << r << "," << c << " of " << rows << "x" << cols;
                }
            }
            dequantize_plane(loss_factor, plane.data(), stride, rows, cols);
            for (int r = 0; r < rows; ++r) {
                for (int c = 0; c < stride; ++c) {
                    const std::int32_t v = original[r * stride + c];
                    const int shift = c < cols ? shift_at(loss_factor, r, c, rows, cols) : 0;
                    const std::int32_t expected = shift == 0 ? v : dequantize_value(quantize_value(v, shift), shift);
                    ASSERT_EQ(plane[r * stride + c], expected) << "loss " << loss_factor << " at " << r << "," << c;
                }
            }
        }
    }
}

TEST(Quantizer, LossFactorOneTouchesOnlyTheFinestDiagonalBand) {
    const int rows = 16, cols = 32;
    std::vector<std::int32_t> plane(rows * cols, 5);
    quantize_plane(1, plane.data(), cols, rows, cols);
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c < cols; ++c)
            EXPECT_EQ(plane[r * cols + c], r >= rows / 2 && c >= cols / 2 ? 2 : 5) << r << "," << c;
}

} // namespace
} // namespace vrk
