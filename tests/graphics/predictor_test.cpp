#include "graphics/predictor.hpp"

#include <algorithm>
#include <climits>
#include <cstdint>

#include <gtest/gtest.h>

namespace vrk {
namespace {

struct MedCase {
    std::int32_t a, b, c, expected;
};

TEST(PredictMed, BranchesAndTies) {
    const MedCase cases[] = {
        // b <= a
        {5, 3, 9, 3},
        {5, 3, 5, 3}, // c at or above a: b
        {5, 3, 4, 4}, // c between: a + b - c
        {5, 3, 3, 5},
        {5, 3, 0, 5}, // c at or below b: a
        // a == b: every branch gives the same value
        {4, 4, 9, 4},
        {4, 4, 4, 4},
        {4, 4, 0, 4},
        // b > a
        {3, 5, 9, 3},
        {3, 5, 5, 3}, // c at or above b: a
        {3, 5, 4, 4}, // between
        {3, 5, 3, 5},
        {3, 5, 0, 5}, // c at or below a: b
        // a gradient: the plane through the neighbours
        {10, 20, 12, 18},
        {20, 10, 12, 18},
    };
    for (const MedCase& m : cases) EXPECT_EQ(predict_med(m.a, m.b, m.c), m.expected) << m.a << ' ' << m.b << ' ' << m.c;
}

TEST(PredictMed, IsTheMedianOfLeftAboveAndTheirPlane) {
    for (int a = -4; a <= 4; ++a)
        for (int b = -4; b <= 4; ++b)
            for (int c = -4; c <= 4; ++c) {
                const int plane = a + b - c;
                const int median = std::max(std::min(a, b), std::min(std::max(a, b), plane));
                ASSERT_EQ(predict_med(a, b, c), median) << a << ' ' << b << ' ' << c;
            }
}

TEST(PredictMed, ExtremeNeighboursDoNotOverflow) {
    // Only a damaged lossless file gets here; the result must still lie between a and b.
    EXPECT_EQ(predict_med(INT32_MAX, INT32_MIN, 0), -1);
    EXPECT_EQ(predict_med(INT32_MIN, INT32_MAX, -1), 0);
    EXPECT_EQ(predict_column0(INT32_MAX, INT32_MAX), INT32_MAX);
    EXPECT_EQ(predict_column0(INT32_MIN, INT32_MAX), 0);
}

TEST(PredictMed, ExtremeNeighboursGiveTheExactMedian) {
    // The result is formed from low + high, which wraps here; it must still be
    // the case analysis done without overflow.
    const std::int64_t values[] = {INT32_MIN, INT32_MIN + 1, -2, -1, 0, 1, INT32_MAX - 1, INT32_MAX};
    for (const std::int64_t a : values)
        for (const std::int64_t b : values)
            for (const std::int64_t c : values) {
                const std::int64_t low = std::min(a, b), high = std::max(a, b);
                const std::int64_t expected = c >= high ? low : c <= low ? high : a + b - c;
                ASSERT_EQ(predict_med(static_cast<std::int32_t>(a), static_cast<std::int32_t>(b),
                                      static_cast<std::int32_t>(c)),
                          expected)
                    << a << ' ' << b << ' ' << c;
            }
}

TEST(PredictColumn0, UsesAboveAndAboveRightWithTheirMeanRoundedDown) {
    EXPECT_EQ(predict_column0(10, 40), 25);
    EXPECT_EQ(predict_column0(40, 10), 25);
    EXPECT_EQ(predict_column0(11, 40), 26); // mean 25 rounded down, so 11 + 40 - 25
    EXPECT_EQ(predict_column0(40, 11), 26);
    EXPECT_EQ(predict_column0(7, 7), 7);
    EXPECT_EQ(predict_column0(7, 8), 8); // mean 7 equals above: the tie gives above-right
}

} // namespace
} // namespace vrk
