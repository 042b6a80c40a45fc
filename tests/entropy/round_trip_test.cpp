// Long randomized runs through the real coder: whatever the statistics, the
// strip sizes and the coder, decoding gives back every coded value and reads
// exactly the bytes that encoding wrote, and encoding a strip split into sets
// and extra bits beforehand writes the same bytes.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "entropy/coder_harness.hpp"
#include "entropy/magnitude_sets.hpp"

namespace vrk::test {
namespace {

enum class Statistics {
    skewed,  // mostly small sets, zero runs, rare huge values
    uniform, // every set of the alphabet equally likely
    largest, // every value at the alphabet's largest magnitude: the worst case for the buffer
};

std::int32_t value_in_set(int k, std::mt19937& random) {
    const std::uint32_t width = set_first[k + 1] - set_first[k];
    const auto m = static_cast<std::int32_t>(set_first[k] + random() % width);
    return random() & 1 ? -m : m;
}

std::int32_t draw(Statistics statistics, int alphabet, std::mt19937& random) {
    switch (statistics) {
    case Statistics::skewed: {
        const std::uint32_t u = random();
        if (u % 100 == 0) return value_in_set(static_cast<int>(random() % alphabet), random);
        if (u % 3 != 0) return 0;
        int k = 1;
        while (k < alphabet - 1 && random() % 3 == 0) ++k;
        return value_in_set(k, random);
    }
    case Statistics::uniform: return value_in_set(static_cast<int>(random() % alphabet), random);
    case Statistics::largest:
        return random() & 1 ? -static_cast<std::int32_t>(set_first[alphabet] - 1)
                            : static_cast<std::int32_t>(set_first[alphabet] - 1);
    }
    return 0;
}

using RoundTripParam = std::tuple<bool, int, Statistics>;

class EntropyRoundTrip : public testing::TestWithParam<RoundTripParam> {};

TEST_P(EntropyRoundTrip, DecodesWhatItEncoded) {
    const auto [fast, bits_per_sample, statistics] = GetParam();
    const int alphabet = bits_per_sample + 14;
    std::mt19937 random(static_cast<std::uint32_t>(bits_per_sample * 10 + fast * 3 + static_cast<int>(statistics)));

    // Plane strips of every height 1 to 32 and widths from 3; wavelet strips
    // of 8 to 32 rows. Zero runs of whole rows now and then. The coder's code
    // buffer fits the largest strip's worst case exactly: with every value at
    // the largest magnitude, that strip must still fit.
    std::vector<CodedStrip> plan;
    const int strips = statistics == Statistics::skewed ? 60 : 24;
    for (int s = 0; s < strips; ++s) {
        const bool wavelet = s % 2 == 1;
        const int height = wavelet ? 8 * (1 + static_cast<int>(random() % 4)) : 1 + s % 32;
        const int width = wavelet ? 16 + 8 * static_cast<int>(random() % 15) : 3 + static_cast<int>(random() % 120);
        CodedStrip strip{wavelet ? wavelet_calls(height, width) : plane_calls(height, width),
                         StripArray(height, width)};
        const bool zero_rows = random() % 4 == 0;
        for (int r = 0; r < height; ++r)
            for (int c = 0; c < width; ++c)
                strip.values.at(r, c) = zero_rows && r % 3 == 0 ? 0 : draw(statistics, alphabet, random);
        plan.push_back(std::move(strip));
    }

    const EncodedRun encoded = encode_run(plan, fast, bits_per_sample, 0xCAFEF00D);
    ASSERT_EQ(encoded.written, static_cast<std::int64_t>(encoded.bytes.size()));
    // Split beforehand into sets and extra bits, as two threads do with the
    // arithmetic coder: the same bytes.
    if (!fast) {
        EXPECT_EQ(encode_run(plan, fast, bits_per_sample, 0xCAFEF00D, true).bytes, encoded.bytes);
    }

    const DecodedRun decoded = decode_run(encoded.bytes, plan, fast, bits_per_sample);
    for (std::size_t s = 0; s < plan.size(); ++s)
        ASSERT_EQ(coded_differences(decoded.strips[s], plan[s]), 0) << "strip " << s;
    EXPECT_EQ(decoded.check_word, 0xCAFEF00Du);
    EXPECT_TRUE(decoded.read_everything);
}

std::string round_trip_name(const testing::TestParamInfo<RoundTripParam>& info) {
    const char* const names[] = {"skewed", "uniform", "largest"};
    return std::string(std::get<0>(info.param) ? "fast_" : "arith_") + std::to_string(std::get<1>(info.param)) +
           "bit_" + names[static_cast<int>(std::get<2>(info.param))];
}

INSTANTIATE_TEST_SUITE_P(AllCoders, EntropyRoundTrip,
                         testing::Combine(testing::Bool(), testing::Values(8, 12, 16),
                                          testing::Values(Statistics::skewed, Statistics::uniform,
                                                          Statistics::largest)),
                         round_trip_name);

} // namespace
} // namespace vrk::test
