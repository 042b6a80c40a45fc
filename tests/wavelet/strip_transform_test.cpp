#include "wavelet/strip_transform.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <climits>
#include <cstdint>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "core/strip_planes.hpp"
#include "wavelet/wavelet_step.hpp"

namespace vrk {
namespace {

using Values = std::vector<std::int32_t>;

// ---- the one-dimensional step ----

struct StepCase {
    const char* name;
    bool column;
    bool first_strip;
    std::int32_t carry_low, carry_high; // before (columns only)
    Values x;
    Values expected;                    // s then d'
    std::int32_t low_after, high_after; // columns only
};

const StepCase step_cases[] = {
    // The eight samples of the worked example, through each rule.
    {"row", false, true, 0, 0, {10, 12, 14, 13, 9, 7, 7, 8}, {11, 13, 8, 7, -1, 0, 0, -1}, 0, 0},
    {"column_strip0", true, true, 99, 99, {10, 12, 14, 13, 9, 7, 7, 8}, {11, 13, 8, 7, -1, 0, 0, -1}, 7, -1},
    {"column_later", true, false, 20, -3, {10, 12, 14, 13, 9, 7, 7, 8}, {11, 13, 8, 7, -6, 0, 0, -1}, 7, -1},
    // Two pairs: rows are not predicted, columns use P(0) and then e[0] >> 2.
    {"row_n2", false, true, 0, 0, {4, 1, 9, 12}, {2, 10, 3, -3}, 0, 0},
    {"column_n2", true, true, 0, 0, {4, 1, 9, 12}, {2, 10, 5, -1}, 10, -3},
    // One pair: the column's only difference is predicted from the carry alone.
    {"row_n1", false, true, 0, 0, {5, 2}, {3, 3}, 0, 0},
    {"column_n1_strip0", true, true, 20, 7, {5, 2}, {3, 3}, 3, 3},
    {"column_n1_later", true, false, 20, 7, {5, 2}, {3, -1}, 3, 3},
    // Rounding of negatives: (-3 + -2) >> 1 = -3, and the inverse gives -3, -2.
    {"row_negative_pair", false, true, 0, 0, {-3, -2}, {-3, -1}, 0, 0},
};

class WaveletStep : public ::testing::TestWithParam<StepCase> {};

TEST_P(WaveletStep, ForwardGivesTheKnownValuesAndInverseRestoresThem) {
    const StepCase& c = GetParam();
    const int n = static_cast<int>(c.x.size() / 2);
    Values out(c.x.size());
    std::int32_t low = c.carry_low, high = c.carry_high;
    if (c.column)
        forward_column_step(c.x.data(), out.data(), 1, n, c.first_strip, ColumnCarry{low, high});
    else
        forward_row_step(c.x.data(), out.data(), n);
    EXPECT_EQ(out, c.expected);

    Values restored(c.x.size());
    if (c.column) {
        EXPECT_EQ(low, c.low_after);
        EXPECT_EQ(high, c.high_after);
        std::int32_t inverse_low = c.carry_low, inverse_high = c.carry_high;
        inverse_column_step(out.data(), restored.data(), 1, n, c.first_strip, ColumnCarry{inverse_low, inverse_high});
        EXPECT_EQ(inverse_low, c.low_after);
        EXPECT_EQ(inverse_high, c.high_after);
    } else {
        inverse_row_step(out.data(), restored.data(), n);
    }
    EXPECT_EQ(restored, c.x);
}

INSTANTIATE_TEST_SUITE_P(KnownValues, WaveletStep, ::testing::ValuesIn(step_cases),
                         [](const auto& info) { return std::string(info.param.name); });

// The strip transform inverts rows in place with only the averages copied
// out: every difference must be read before a restored pair overwrites it.
TEST(WaveletStep, RowInverseInPlaceMatchesSeparateBuffers) {
    std::mt19937 random(3);
    for (const int n : {1, 2, 3, 4, 5, 8, 13}) {
        Values x(2 * static_cast<std::size_t>(n));
        for (std::int32_t& v : x) v = static_cast<std::int32_t>(random() % 2001) - 1000;
        Values coded(x.size());
        forward_row_step(x.data(), coded.data(), n);

        Values separate(x.size());
        inverse_row_step(coded.data(), separate.data(), n);
        Values in_place = coded;
        const Values averages(coded.begin(), coded.begin() + n);
        inverse_row_step(averages.data(), in_place.data() + n, in_place.data(), n);
        EXPECT_EQ(in_place, separate) << n;
        EXPECT_EQ(in_place, x) << n;
    }
}

TEST(WaveletStep, ColumnWritesAtItsStride) {
    // A column of four values inside a 3-wide array: the other columns stay put.
    std::array<std::int32_t, 12> column_major{};
    column_major.fill(-7);
    const Values x = {4, 1, 9, 12};
    std::int32_t low = 0, high = 0;
    forward_column_step(x.data(), column_major.data() + 1, 3, 2, true, ColumnCarry{low, high});
    EXPECT_EQ(column_major, (std::array<std::int32_t, 12>{-7, 2, -7, -7, 10, -7, -7, 5, -7, -7, -1, -7}));
}

// ---- the plane transform ----

TEST(StripTransform, LevelCountFollowsTheOddPartOfHeightAndWidth) {
    struct Case {
        int rows, cols, levels;
    };
    for (const Case c : {Case{32, 32, 5}, Case{32, 96, 5}, Case{32, 48, 4}, Case{32, 40, 3}, Case{24, 64, 3},
                         Case{24, 48, 3}, Case{16, 32, 4}, Case{16, 48, 4}, Case{16, 40, 3}}) {
        EXPECT_EQ(transform_levels(c.rows, c.cols), c.levels) << c.rows << " x " << c.cols;
    }
}

TEST(StripTransform, SerpentineRunsAlternateRowsBackwards) {
    // Three rows: row 1 is visited right to left, p carries over row ends.
    Values band = {1, 2, 3, //
                   4, 5, 6, //
                   7, 8, 9};
    serpentine_differences(band.data(), 3, 3, 3);
    EXPECT_EQ(band, (Values{1, 1, 1,   //
                            -1, -1, 3, //
                            3, 1, 1}));
    inverse_serpentine_differences(band.data(), 3, 3, 3);
    EXPECT_EQ(band, (Values{1, 2, 3, 4, 5, 6, 7, 8, 9}));
}

// One plane of one strip, 32 rows of `cols` values (rows beyond the strip
// included), with its carry rows and helpers to fill and copy them.
struct PlaneFixture {
    StripPlanes planes;
    std::vector<std::int32_t> carry_store;
    ColumnCarries carries;
    std::vector<std::int32_t> scratch_line;
    PlaneStrip strip;

    PlaneFixture(int rows, int cols)
        : planes(1, cols), carry_store(2 * max_transform_levels * static_cast<std::size_t>(cols), 0),
          scratch_line(static_cast<std::size_t>(std::max(cols, max_strip_rows))), strip{planes.row(0, 0), cols, rows,
                                                                                        cols, carries} {
        for (int l = 0; l < max_transform_levels; ++l) {
            carries.low[static_cast<std::size_t>(l)] = carry_store.data() + (2 * l) * cols;
            carries.high[static_cast<std::size_t>(l)] = carry_store.data() + (2 * l + 1) * cols;
        }
    }
    PlaneFixture(const PlaneFixture&) = delete;

    // The same plane and carries, as a strip of another height.
    PlaneStrip with_rows(int rows) const { return PlaneStrip{strip.base, strip.stride, rows, strip.cols, carries}; }

    std::int32_t* scratch() { return scratch_line.data(); }
    std::int32_t& at(int r, int c) { return planes.row(0, r)[c]; }
    // All 32 strip rows, to see that rows beyond the strip are left alone.
    Values rows() const { return Values(strip.base, strip.base + max_strip_rows * strip.stride); }
    // The carry entries a level can use: one per column of its region.
    Values carry_values() const {
        Values all;
        for (std::size_t l = 0; l < max_transform_levels; ++l) {
            all.insert(all.end(), carries.low[l], carries.low[l] + (strip.cols >> l));
            all.insert(all.end(), carries.high[l], carries.high[l] + (strip.cols >> l));
        }
        return all;
    }
    void copy_rows_from(const PlaneFixture& other) {
        std::copy_n(other.strip.base, max_strip_rows * strip.stride, strip.base);
    }
    void fill_rows(std::mt19937& generator, int low, int high) {
        std::uniform_int_distribution<std::int32_t> value(low, high);
        for (std::ptrdiff_t i = 0; i < max_strip_rows * strip.stride; ++i) strip.base[i] = value(generator);
    }
    void fill_carries(std::mt19937& generator) {
        std::uniform_int_distribution<std::int32_t> value(-140000, 140000);
        for (std::size_t l = 0; l < max_transform_levels; ++l) {
            for (int c = 0; c < strip.cols; ++c) {
                carries.low[l][c] = value(generator);
                carries.high[l][c] = value(generator);
            }
        }
    }
    void set_carries(const Values& all) {
        auto it = all.begin();
        for (std::size_t l = 0; l < max_transform_levels; ++l) {
            for (int c = 0; c < strip.cols >> l; ++c) carries.low[l][c] = *it++;
            for (int c = 0; c < strip.cols >> l; ++c) carries.high[l][c] = *it++;
        }
    }
};

TEST(StripTransform, ConstantPlaneLeavesOneValueInTheLowestBand) {
    // Every average is the constant and every difference 0; the serpentine
    // then keeps only the first value of the lowest band.
    for (const auto& [rows, cols] : {std::pair{32, 32}, std::pair{24, 40}, std::pair{16, 48}}) {
        PlaneFixture f(rows, cols);
        for (int r = 0; r < rows; ++r)
            for (int c = 0; c < cols; ++c) f.at(r, c) = 1234;
        forward_transform(f.strip, 0, f.scratch());
        for (int r = 0; r < rows; ++r)
            for (int c = 0; c < cols; ++c) ASSERT_EQ(f.at(r, c), r == 0 && c == 0 ? 1234 : 0) << r << "," << c;
    }
}

TEST(StripTransform, FirstStripIgnoresTheCarriesButRewritesThem) {
    std::mt19937 generator(7);
    PlaneFixture clean(32, 64), dirty(32, 64);
    clean.fill_rows(generator, 0, 65535);
    dirty.copy_rows_from(clean);
    dirty.fill_carries(generator);
    forward_transform(clean.strip, 0, clean.scratch());
    forward_transform(dirty.strip, 0, dirty.scratch());
    EXPECT_EQ(clean.rows(), dirty.rows());
    EXPECT_EQ(clean.carry_values(), dirty.carry_values());
}

TEST(StripTransform, LaterStripUsesTheCarries) {
    std::mt19937 generator(8);
    PlaneFixture zero(32, 64), carried(32, 64);
    zero.fill_rows(generator, 0, 65535);
    carried.copy_rows_from(zero);
    carried.fill_carries(generator);
    forward_transform(zero.strip, 1, zero.scratch());
    forward_transform(carried.strip, 1, carried.scratch());
    // The carries change the first predicted difference of every column, but
    // what is stored for the next strip (averages and unpredicted
    // differences) comes from this strip alone.
    EXPECT_NE(zero.rows(), carried.rows());
    EXPECT_EQ(zero.carry_values(), carried.carry_values());
}

TEST(StripTransform, FewerLevelsLeaveDeeperCarriesUntouched) {
    // 24 rows run 3 levels; the carries of levels 3 and 4 keep what the
    // previous 32-row strip (5 levels) stored there.
    std::mt19937 generator(9);
    PlaneFixture f(32, 64);
    f.fill_rows(generator, 0, 255);
    forward_transform(f.strip, 0, f.scratch());
    const Values before = f.carry_values();
    f.fill_rows(generator, 0, 255);
    forward_transform(f.with_rows(24), 1, f.scratch());
    const Values after = f.carry_values();
    const std::ptrdiff_t first_three_levels = 2 * (64 + 32 + 16);
    EXPECT_NE(Values(before.begin(), before.begin() + first_three_levels),
              Values(after.begin(), after.begin() + first_three_levels));
    EXPECT_EQ(Values(before.begin() + first_three_levels, before.end()),
              Values(after.begin() + first_three_levels, after.end()));
}

struct RoundTripCase {
    int rows, cols;
};

class StripTransformRoundTrip : public ::testing::TestWithParam<std::tuple<RoundTripCase, int>> {};

TEST_P(StripTransformRoundTrip, InverseRestoresSamplesAndCarries) {
    const auto [shape, strip_index] = GetParam();
    std::mt19937 generator(static_cast<std::uint32_t>(shape.rows * 1000 + shape.cols * 10 + strip_index));
    PlaneFixture f(shape.rows, shape.cols);
    f.fill_rows(generator, 0, 65535);
    f.fill_carries(generator);
    const Values samples = f.rows();
    const Values carries_before = f.carry_values();

    forward_transform(f.strip, strip_index, f.scratch());
    const Values carries_after = f.carry_values();
    const Values coefficients = f.rows();
    // Rows beyond the strip are not touched.
    const std::size_t used = static_cast<std::size_t>(shape.rows * f.strip.stride);
    EXPECT_TRUE(std::equal(samples.begin() + used, samples.end(), coefficients.begin() + used));

    f.set_carries(carries_before);
    inverse_transform(f.strip, strip_index, f.scratch());
    EXPECT_EQ(f.rows(), samples);
    EXPECT_EQ(f.carry_values(), carries_after);
}

// The transform as the one-dimensional steps define it: every row, then
// every column one at a time. The strip transform batches columns into
// blocks (and leaves a tail of single columns), which must not change a value.
void reference_forward(PlaneFixture& f, int strip_index) {
    const int levels = transform_levels(f.strip.rows, f.strip.cols);
    const std::ptrdiff_t stride = f.strip.stride;
    for (int level = 0; level < levels; ++level) {
        const int rows = f.strip.rows >> level;
        const int cols = f.strip.cols >> level;
        Values line(static_cast<std::size_t>(std::max(rows, cols)));
        for (int r = 0; r < rows; ++r) {
            std::copy_n(&f.at(r, 0), cols, line.data());
            forward_row_step(line.data(), &f.at(r, 0), cols / 2);
        }
        for (int c = 0; c < cols; ++c) {
            for (int r = 0; r < rows; ++r) line[static_cast<std::size_t>(r)] = f.at(r, c);
            const auto l = static_cast<std::size_t>(level);
            forward_column_step(line.data(), &f.at(0, c), stride, rows / 2, strip_index == 0,
                                ColumnCarry{f.carries.low[l][c], f.carries.high[l][c]});
        }
    }
    serpentine_differences(f.strip.base, stride, f.strip.rows >> levels, f.strip.cols >> levels);
}

TEST_P(StripTransformRoundTrip, ForwardMatchesColumnByColumnSteps) {
    const auto [shape, strip_index] = GetParam();
    // Full-range values as a damaged file can give: every sum must wrap alike.
    for (const auto& [low, high] : {std::pair{0, 65535}, std::pair{INT32_MIN, INT32_MAX}}) {
        std::mt19937 generator(static_cast<std::uint32_t>(shape.rows * 7 + shape.cols + strip_index));
        PlaneFixture fast(shape.rows, shape.cols), reference(shape.rows, shape.cols);
        fast.fill_rows(generator, low, high);
        fast.fill_carries(generator);
        reference.copy_rows_from(fast);
        reference.set_carries(fast.carry_values());
        forward_transform(fast.strip, strip_index, fast.scratch());
        reference_forward(reference, strip_index);
        EXPECT_EQ(fast.rows(), reference.rows());
        EXPECT_EQ(fast.carry_values(), reference.carry_values());
    }
}

// Widths that are odd multiples of 8, odd multiples of 16 and multiples of
// 32, with every strip height: 3, 4 and 5 levels.
INSTANTIATE_TEST_SUITE_P(
    Shapes, StripTransformRoundTrip,
    ::testing::Combine(::testing::Values(RoundTripCase{16, 40}, RoundTripCase{16, 48}, RoundTripCase{16, 64},
                                         RoundTripCase{24, 40}, RoundTripCase{24, 48}, RoundTripCase{24, 96},
                                         RoundTripCase{32, 32}, RoundTripCase{32, 40}, RoundTripCase{32, 56},
                                         RoundTripCase{32, 80}, RoundTripCase{32, 96}, RoundTripCase{32, 136},
                                         RoundTripCase{32, 224}),
                       ::testing::Values(0, 1)),
    [](const auto& info) {
        const RoundTripCase shape = std::get<0>(info.param);
        return std::to_string(shape.rows) + "x" + std::to_string(shape.cols) + "_strip" +
               std::to_string(std::get<1>(info.param));
    });

} // namespace
} // namespace vrk
