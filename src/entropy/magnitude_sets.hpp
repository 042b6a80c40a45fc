// The magnitude-set alphabet: every coded integer becomes the index of the
// set holding its magnitude (a model symbol) plus raw extra bits carrying
// the sign and the offset inside the set.
//
// Sets 0 to 4 hold one magnitude each, sets 5 to 12 come in pairs of equal
// width (2, 2, 4, 4, 8, 8, 16, 16), and from set 13 on each set is twice as
// wide as the one before, up to set 33 which ends at 2^27.
#pragma once

#include <array>
#include <bit>
#include <cstdint>

namespace vrk {

inline constexpr int magnitude_set_count = 34;
// The models' alphabet is bits_per_sample + 14 sets; samples have at most 16 bits.
inline constexpr int min_coded_sample_bits = 8;
inline constexpr int max_coded_sample_bits = 16;
inline constexpr int max_alphabet_size = max_coded_sample_bits + 14;

inline constexpr int alphabet_size(int bits_per_sample) noexcept { return bits_per_sample + 14; }

struct MagnitudeSetTables {
    std::array<std::uint32_t, magnitude_set_count> first{};
    std::array<int, magnitude_set_count> bits{};
    // Weight of the sign bit inside the extra bits, and the mask of the offset
    // below it. Set 0 has neither (0 and 0), which lets the conversions below
    // treat it like any other set.
    std::array<std::uint32_t, magnitude_set_count> half{};
    std::array<std::uint32_t, magnitude_set_count> mask{};
    std::array<std::uint8_t, 256> of_small{};
};

namespace detail {
constexpr MagnitudeSetTables build_magnitude_sets() {
    MagnitudeSetTables t{};
    for (int k = 0; k <= 4; ++k) {
        t.first[k] = static_cast<std::uint32_t>(k);
        t.bits[k] = k == 0 ? 0 : 1;
    }
    std::uint32_t step = 4;
    std::uint32_t previous = 2;
    int width = 2;
    for (int k = 5; k <= 12; k += 2) {
        t.first[k] = step + 1;
        t.first[k + 1] = previous + step + 1;
        t.bits[k] = t.bits[k + 1] = width;
        ++width;
        previous = step;
        step *= 2;
    }
    for (int k = 13; k < magnitude_set_count; ++k) {
        t.first[k] = step + 1;
        t.bits[k] = ++width;
        step *= 2;
    }
    for (int k = 1; k < magnitude_set_count; ++k) {
        t.half[k] = 1u << (t.bits[k] - 1);
        t.mask[k] = t.half[k] - 1;
    }
    int k = 0;
    for (std::uint32_t m = 0; m < 256; ++m) {
        while (t.first[k + 1] <= m) ++k;
        t.of_small[m] = static_cast<std::uint8_t>(k);
    }
    return t;
}
} // namespace detail

inline constexpr MagnitudeSetTables magnitude_sets = detail::build_magnitude_sets();
inline constexpr const auto& set_first = magnitude_sets.first;
inline constexpr const auto& set_bits = magnitude_sets.bits;
inline constexpr const auto& set_half = magnitude_sets.half;
inline constexpr const auto& set_mask = magnitude_sets.mask;
inline constexpr const auto& set_of_small = magnitude_sets.of_small;

// |v| without overflow, also for the most negative value.
constexpr std::uint32_t magnitude_of(std::int32_t v) noexcept {
    const auto u = static_cast<std::uint32_t>(v);
    return v < 0 ? 0u - u : u;
}

// The set of magnitude m. Above 255 the sets are (2^(k-7), 2^(k-6)], so the
// bit width of m - 1 names the set directly. Magnitudes beyond set 33 report
// 33, which lies outside every model's alphabet.
constexpr int magnitude_set_of(std::uint32_t m) noexcept {
    if (m < 256) return set_of_small[m];
    const int k = std::bit_width(m - 1) + 6;
    return k < magnitude_set_count ? k : magnitude_set_count - 1;
}

// The set_bits[k] extra bits of v (set k): the offset in the set in the low
// bits, the sign as the top bit. For sets 1 to 4 that is the sign alone.
constexpr std::uint32_t extra_bits_of(std::int32_t v, int k) noexcept {
    // The sign as a mask, not a branch: signs are unpredictable.
    const std::uint32_t negative = 0u - (static_cast<std::uint32_t>(v) >> 31);
    return magnitude_of(v) - set_first[k] + (set_half[k] & negative);
}

// The inverse of extra_bits_of; set 0 with an empty pattern gives 0.
constexpr std::int32_t value_of(int k, std::uint32_t pattern) noexcept {
    const auto m = static_cast<std::int32_t>((pattern & set_mask[k]) + set_first[k]);
    return (pattern & set_half[k]) != 0 ? -m : m;
}

} // namespace vrk
