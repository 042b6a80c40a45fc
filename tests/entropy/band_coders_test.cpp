// The contexts of the plane and band coders, checked with a value coder that
// records the model each value is coded with.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "entropy/band_coders.hpp"
#include "entropy/magnitude_sets.hpp"

namespace vrk {
namespace {

struct RecordingCoder {
    std::vector<int> models;
    int code(std::int32_t& value, int model) {
        models.push_back(model);
        return magnitude_set_of(magnitude_of(value));
    }
};

struct Strip {
    Strip(int height, int width, std::vector<std::int32_t> v = {})
        : width(width), values(v.empty() ? std::vector<std::int32_t>(static_cast<std::size_t>(height) * width) : v),
          context(2 * static_cast<std::size_t>(width) + 4, -1000) {}
    StripRows rows() { return StripRows{values.data(), width}; }
    // Entries start as garbage: the coders must write them before reading.
    std::int32_t* class_row() { return context.data() + 1; }
    std::int32_t* parent_row() { return context.data() + 1 + width + 2; }
    int width;
    std::vector<std::int32_t> values;
    std::vector<std::int32_t> context;
};

TEST(BandCoders, ZeroPlaneUsesModelZero) {
    Strip strip(3, 8);
    RecordingCoder coder;
    code_plane_values(coder, strip.rows(), strip.class_row(), 3, 8);
    EXPECT_EQ(coder.models, std::vector<int>(24, 0));
}

// Sets 7, 6, 9, 0 above; 5, 0, 0, 0 below. Row 1 column 1 sees the sum
// 9 + 5 + 6 + 7 = 27: context 4 in the plane coder, 3 in the band coder.
const std::vector<std::int32_t> neighbourhood = {9, 7, -17, 0, 5, 0, 0, 0};

TEST(BandCoders, PlaneContextsFromNeighbours) {
    Strip strip(2, 4, neighbourhood);
    RecordingCoder coder;
    code_plane_values(coder, strip.rows(), strip.class_row(), 2, 4);
    // Row 0: the left set plus one, halved, at most 4. Row 1: the guards repeat
    // the sets above the ends, column 0's above-left term is the set above column 1.
    EXPECT_EQ(coder.models, (std::vector<int>{0, 4, 3, 4, 4, 4, 2, 1}));
}

TEST(BandCoders, BandContextsFromNeighbours) {
    // Orientation 2: the band lies right of a zero region holding its parents.
    Strip strip(2, 8);
    for (int r = 0; r < 2; ++r)
        for (int c = 0; c < 4; ++c) strip.values[r * 8 + 4 + c] = neighbourhood[r * 4 + c];
    RecordingCoder coder;
    code_band_values(coder, 2, strip.rows(), 2, 4, strip.class_row(), strip.parent_row());
    // Row 0: the left set halved; row 1: the neighbour sum rounded with + 4.
    EXPECT_EQ(coder.models, (std::vector<int>{5, 8, 8, 9, 8, 8, 7, 6}));
}

TEST(BandCoders, BandContextsFromParents) {
    // Orientation 3, a 4 x 8 band at rows 4-7, columns 8-15; its parents are
    // row 2 (band rows 0 and 1) and row 3 (band rows 2 and 3) from column 4.
    Strip strip(8, 16);
    const std::vector<std::int32_t> parents = {1, 5, -100, 7}; // sets 1, 5, 13, 6
    for (int m = 0; m < 4; ++m) strip.values[2 * 16 + 4 + m] = parents[m];
    RecordingCoder coder;
    code_band_values(coder, 3, strip.rows(), 4, 8, strip.class_row(), strip.parent_row());
    // Parent contexts (1+5+2)>>2 = 2, (5+13+2)>>2 = 5 -> 4, (13+6+2)>>2 = 5 -> 4, each
    // shared by two child columns: 10 10 10 20 20 20 20 20. The first value's
    // own context is the last parent's set halved: 6 >> 1 = 3.
    const std::vector<int> expected = {18, 15, 15, 25, 25, 25, 25, 25, // row 0
                                       15, 15, 15, 25, 25, 25, 25, 25, // row 1 reuses the parent row
                                       5,  5,  5,  5,  5,  5,  5,  5,  // rows 2 and 3: zero parents
                                       5,  5,  5,  5,  5,  5,  5,  5};
    EXPECT_EQ(coder.models, expected);
}

TEST(BandCoders, CodersVisitTheirRegionInRowOrder) {
    // Each value names its own position; the recorder sees them in coding order.
    Strip strip(8, 12);
    for (std::size_t i = 0; i < strip.values.size(); ++i) strip.values[i] = static_cast<std::int32_t>(i);
    struct PositionRecorder {
        std::vector<std::int32_t> seen;
        int code(std::int32_t& value, int) {
            seen.push_back(value);
            return 0;
        }
    };
    const struct {
        int orientation, rows, cols, row0, col0;
    } cases[] = {{1, 4, 6, 4, 0}, {2, 4, 6, 0, 6}, {3, 4, 6, 4, 6}, {3, 3, 3, 3, 3}};
    for (const auto& c : cases) {
        PositionRecorder recorder;
        code_band_values(recorder, c.orientation, strip.rows(), c.rows, c.cols, strip.class_row(), strip.parent_row());
        std::vector<std::int32_t> expected;
        for (int r = 0; r < c.rows; ++r)
            for (int k = 0; k < c.cols; ++k) expected.push_back((c.row0 + r) * 12 + c.col0 + k);
        EXPECT_EQ(recorder.seen, expected) << c.orientation;
    }
}

} // namespace
} // namespace vrk
