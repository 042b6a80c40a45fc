#include "graphics/near_lossless.hpp"

#include <algorithm>
#include <cstdlib>

#include <gtest/gtest.h>

#include "core/image_parameters.hpp"

namespace vrk {
namespace {

TEST(RandomDraw, FirstDrawsFromTheStartState) {
    NearLossless run;
    EXPECT_EQ(run.random_draw(), 41);
    EXPECT_EQ(run.random_draw(), 18467);
    EXPECT_EQ(run.random_draw(), 6334);
    run.random_seed(1);
    EXPECT_EQ(run.random_draw(), 41);
}

TEST(RandomDraw, StaysWithin15Bits) {
    NearLossless run;
    run.random_seed(0xFFFFFFFFu);
    for (int i = 0; i < 100000; ++i) {
        const std::int32_t r = run.random_draw();
        ASSERT_GE(r, 0);
        ASSERT_LE(r, 32767);
    }
}

TEST(NearLosslessTables, LossFactor3At8Bits) {
    const int width = 40;
    const NearLossless t(width, 3, 8);
    EXPECT_EQ(t.max_sample(), 255);
    EXPECT_EQ(t.step(), 7);
    EXPECT_EQ(t.dither_limit(), 1);
    EXPECT_EQ(t.error_limit(), 256);
    EXPECT_EQ(t.index_limit(), 37);
    const std::int32_t* q = t.quantize_table();
    for (int e = 0; e <= 3; ++e) EXPECT_EQ(q[e], 0) << e;
    for (int e = 4; e <= 10; ++e) EXPECT_EQ(q[e], 1) << e;
    for (int e = 11; e <= 17; ++e) EXPECT_EQ(q[e], 2) << e;
    EXPECT_EQ(q[256], 37);
    for (int e = 1; e <= 256; ++e) ASSERT_EQ(q[-e], -q[e]) << e;
    for (int j = -37; j <= 37; ++j) ASSERT_EQ(t.dequantize_table()[j], 7 * j) << j;
}

TEST(NearLosslessTables, DitherIsDrawnFromTheSeedLPlusTableSize) {
    const int width = 40;
    NearLossless t(width, 3, 8);
    const std::size_t n = 31 + 3 * width;
    ASSERT_EQ(t.dither_offset_count(), n);

    NearLossless reference;
    reference.random_seed(34 + 3 * width);
    bool seen[3] = {};
    for (std::size_t k = 0; k < n; ++k) {
        const int u = reference.random_draw() % 2;
        const int v = reference.random_draw() % 2;
        ASSERT_EQ(t.dither_offsets()[k], u - v) << k;
        seen[t.dither_offsets()[k] + 1] = true;
    }
    EXPECT_TRUE(seen[0] && seen[1] && seen[2]);
    // The generator goes on from where the table left it.
    EXPECT_EQ(t.random_draw(), reference.random_draw());
}

TEST(NearLosslessTables, NoDitherAndNoSeedBelowLossFactor3) {
    for (int L : {1, 2}) {
        NearLossless t(37, L, 8);
        EXPECT_EQ(t.dither_limit(), 0);
        for (std::size_t k = 0; k < t.dither_offset_count(); ++k) ASSERT_EQ(t.dither_offsets()[k], 0);
        EXPECT_EQ(t.random_draw(), 41) << "the generator must be left in its start state";
    }
}

struct DerivedValues {
    int loss_factor, bits, step, dither_limit, index_limit;
};

TEST(NearLosslessTables, DerivedValuesPerLossFactor) {
    const DerivedValues cases[] = {
        {1, 8, 3, 0, 85},   {2, 8, 5, 0, 51},   {3, 8, 7, 1, 37},     {4, 8, 9, 1, 28},      {5, 8, 11, 2, 23},
        {6, 8, 13, 2, 20},  {7, 8, 15, 3, 17},  {8, 8, 17, 3, 15},    {9, 8, 19, 4, 14},     {10, 8, 21, 4, 12},
        {11, 8, 23, 5, 11}, {12, 8, 25, 5, 10}, {1, 16, 3, 0, 21845}, {12, 16, 25, 5, 2622},
    };
    for (const DerivedValues& c : cases) {
        const NearLossless t(32, c.loss_factor, c.bits);
        EXPECT_EQ(t.step(), c.step) << c.loss_factor;
        EXPECT_EQ(t.dither_limit(), c.dither_limit) << c.loss_factor;
        EXPECT_EQ(t.index_limit(), c.index_limit) << c.loss_factor << " at " << c.bits << " bits";
        EXPECT_EQ(t.quantize_table()[t.error_limit()], c.index_limit);
    }
}

// Every reconstruction lies within L of its sample, next to 0 and max_sample
// too, for every prediction and every offset the dither can give.
TEST(NearLosslessTables, ReconstructionWithinLossFactor) {
    for (int L = 1; L <= max_loss_factor; ++L) {
        const NearLossless t(32, L, 8);
        const std::int32_t h = t.dither_limit();
        for (int s = 0; s <= 255; ++s)
            for (int p = 0; p <= 255; ++p)
                for (int d = -h; d <= h; ++d) {
                    const std::int32_t index = t.quantize_table()[s - p + d];
                    ASSERT_LE(std::abs(index), t.index_limit());
                    const std::int32_t v = std::clamp(p + t.dequantize_table()[index] - d, 0, 255);
                    ASSERT_LE(std::abs(v - s), L) << "L " << L << " s " << s << " p " << p << " d " << d;
                }
    }
}

// The encoder's one-lookup shortcut must agree with the decoder's two lookups
// over the whole error range, at every depth and loss factor.
TEST(NearLosslessTables, ReconstructTableIsDequantizedQuantize) {
    for (int bits : {8, 10, 16})
        for (int L = 1; L <= max_loss_factor; ++L) {
            const NearLossless t(32, L, bits);
            for (std::int32_t e = -t.error_limit(); e <= t.error_limit(); ++e)
                ASSERT_EQ(t.reconstruct_table()[e], t.dequantize_table()[t.quantize_table()[e]])
                    << "bits " << bits << " L " << L << " e " << e;
        }
}

} // namespace
} // namespace vrk
