// The strip schedule both engines cut an image into: the compressed format
// depends on it, so every height gives a fixed list of strips.
#include "core/strip_schedule.hpp"

#include <gtest/gtest.h>

#include <vector>

namespace vrk {
namespace {

TEST(StripSchedule, StripsOfEveryKindOfHeight) {
    struct Case {
        int height;
        std::vector<int> rows;
    } cases[] = {
        {32, {32}},         {33, {24, 9}}, // 33 to 48 rows left: 24, so no strip is tiny
        {48, {24, 24}},     {49, {32, 17}},          {64, {32, 32}}, {81, {32, 32, 17}},
        {96, {32, 32, 32}}, {100, {32, 32, 24, 12}}, {65535, {}}, // the tallest image: only the rules below
    };
    for (const Case& c : cases) {
        std::vector<int> rows;
        int expected_index = 0;
        int covered = 0;
        for_each_strip(c.height, [&](const Strip& strip) {
            EXPECT_EQ(strip.index, expected_index++) << c.height;
            EXPECT_EQ(strip.first(), strip.index == 0) << c.height;
            EXPECT_EQ(strip.padded_rows, (strip.rows + 7) / 8 * 8) << c.height;
            EXPECT_GE(strip.padded_rows, 16) << c.height << ": no strip shorter than 9 rows";
            covered += strip.rows;
            EXPECT_EQ(strip.last, covered == c.height) << c.height;
            rows.push_back(strip.rows);
        });
        EXPECT_EQ(covered, c.height);
        if (!c.rows.empty()) {
            EXPECT_EQ(rows, c.rows) << c.height;
        }
    }
}

} // namespace
} // namespace vrk
