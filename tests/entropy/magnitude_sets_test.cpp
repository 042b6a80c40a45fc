// The magnitude-set alphabet and the length code: fixed tables and known values.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <random>
#include <vector>

#include "entropy/length_code.hpp"
#include "entropy/magnitude_sets.hpp"

namespace vrk {
namespace {

TEST(MagnitudeSets, TablesHaveTheirListedValues) {
    const std::array<std::uint32_t, 16> first = {0, 1, 2, 3, 4, 5, 7, 9, 13, 17, 25, 33, 49, 65, 129, 257};
    const std::array<int, 16> bits = {0, 1, 1, 1, 1, 2, 2, 3, 3, 4, 4, 5, 5, 7, 8, 9};
    for (int k = 0; k < 16; ++k) {
        EXPECT_EQ(set_first[k], first[k]) << k;
        EXPECT_EQ(set_bits[k], bits[k]) << k;
    }
    for (int k = 16; k < magnitude_set_count; ++k) {
        EXPECT_EQ(set_first[k], (1u << (k - 7)) + 1) << k;
        EXPECT_EQ(set_bits[k], k - 6) << k;
    }
    for (int k = 1; k < magnitude_set_count; ++k) {
        EXPECT_EQ(set_half[k], 1u << (set_bits[k] - 1)) << k;
        EXPECT_EQ(set_mask[k], set_half[k] - 1) << k;
    }
    EXPECT_EQ(set_first[33], 67108865u);
    EXPECT_EQ(set_bits[33], 27);
}

TEST(MagnitudeSets, SetOfMagnitudeAtBoundaries) {
    const std::array<std::pair<std::uint32_t, int>, 22> cases = {
        {{0, 0},        {1, 1},          {4, 4},          {5, 5},           {6, 5},      {7, 6},
         {64, 12},      {65, 13},        {128, 13},       {129, 14},        {255, 14},   {256, 14},
         {257, 15},     {512, 15},       {513, 16},       {32768, 21},      {32769, 22}, {8388608, 29},
         {8388609, 30}, {134217728, 33}, {134217729, 33}, {0xFFFFFFFFu, 33}}};
    for (const auto& [m, k] : cases) EXPECT_EQ(magnitude_set_of(m), k) << m;
    // Every magnitude of sets 0 to 22 lies in [first, next first).
    for (std::uint32_t m = 0; m <= 65536; ++m) {
        const int k = magnitude_set_of(m);
        ASSERT_GE(m, set_first[k]) << m;
        ASSERT_LT(m, set_first[k + 1]) << m;
    }
}

TEST(MagnitudeSets, ExtraBitsOfKnownValues) {
    struct Case {
        std::int32_t v;
        int k;
        std::uint32_t pattern;
    };
    const std::array<Case, 9> cases = {{{6, 5, 1},
                                        {-6, 5, 3},
                                        {100, 13, 35},
                                        {-100, 13, 99},
                                        {-128, 13, 127},
                                        {1, 1, 0},
                                        {-1, 1, 1},
                                        {-4, 4, 1},
                                        {0, 0, 0}}};
    for (const Case& c : cases) {
        EXPECT_EQ(magnitude_set_of(magnitude_of(c.v)), c.k) << c.v;
        EXPECT_EQ(extra_bits_of(c.v, c.k), c.pattern) << c.v;
        EXPECT_EQ(value_of(c.k, c.pattern), c.v) << c.v;
    }
}

TEST(MagnitudeSets, ExtraBitsFitAndInvertOverEverySet) {
    std::mt19937 random(7);
    for (int k = 1; k < 30; ++k) {
        const std::uint32_t last = set_first[k + 1] - 1;
        std::vector<std::uint32_t> magnitudes = {set_first[k], last};
        for (int i = 0; i < 50; ++i) magnitudes.push_back(set_first[k] + random() % (last - set_first[k] + 1));
        for (const std::uint32_t m : magnitudes)
            for (const int sign : {1, -1}) {
                const std::int32_t v = sign * static_cast<std::int32_t>(m);
                const std::uint32_t pattern = extra_bits_of(v, k);
                ASSERT_LT(pattern, 1u << set_bits[k]) << v;
                ASSERT_EQ(value_of(k, pattern), v) << v;
            }
        // The most negative value of the set has the widest pattern.
        EXPECT_EQ(extra_bits_of(-static_cast<std::int32_t>(last), k), set_half[k] + set_mask[k]);
    }
}

TEST(LengthCode, KnownCodesAtEverySizeBoundary) {
    struct Case {
        std::uint32_t v;
        std::vector<std::uint8_t> bytes;
    };
    const std::vector<Case> cases = {{0, {0x00}},
                                     {63, {0x3F}},
                                     {64, {0x40, 0x40}},
                                     {300, {0x41, 0x2C}},
                                     {16383, {0x7F, 0xFF}},
                                     {16384, {0x80, 0x40, 0x00}},
                                     {4194303, {0xBF, 0xFF, 0xFF}},
                                     {4194304, {0xC0, 0x40, 0x00, 0x00}},
                                     {0x12345678, {0xD2, 0x34, 0x56, 0x78}},
                                     {length_code_limit - 1, {0xFF, 0xFF, 0xFF, 0xFF}}};
    for (const Case& c : cases) {
        std::array<std::uint8_t, 4> out{};
        const int size = encode_length_code(c.v, out.data());
        EXPECT_EQ(std::vector<std::uint8_t>(out.begin(), out.begin() + size), c.bytes) << c.v;
        std::size_t next = 0;
        EXPECT_EQ(decode_length_code([&] { return out[next++]; }), c.v);
        EXPECT_EQ(next, c.bytes.size());
    }
}

} // namespace
} // namespace vrk
