// Adding one to a prefix of an arithmetic model's 32 cumulative counts, in
// 16-bit lanes eight at a time: the encoder's model update, where a loop of
// one add per count would end at an index the processor often mispredicts.
// SSE2 is part of every x86-64 processor; elsewhere the plain loop gives the
// same result.
#pragma once

#include <cstdint>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace vrk::count_vectors {

inline constexpr int lanes = 32;

#if defined(__SSE2__)
namespace detail {
// leading_ones[i]: 1 in lanes 0 to i, 0 above.
alignas(16) inline constexpr std::uint16_t leading_ones[8][8] = {
    {1, 0, 0, 0, 0, 0, 0, 0}, {1, 1, 0, 0, 0, 0, 0, 0}, {1, 1, 1, 0, 0, 0, 0, 0}, {1, 1, 1, 1, 0, 0, 0, 0},
    {1, 1, 1, 1, 1, 0, 0, 0}, {1, 1, 1, 1, 1, 1, 0, 0}, {1, 1, 1, 1, 1, 1, 1, 0}, {1, 1, 1, 1, 1, 1, 1, 1}};
// The arrays passed in are 32 entries, 16-byte aligned.
inline __m128i load(const std::uint16_t* p) noexcept { return _mm_load_si128(reinterpret_cast<const __m128i*>(p)); }
inline void store(std::uint16_t* p, __m128i v) noexcept { _mm_store_si128(reinterpret_cast<__m128i*>(p), v); }
} // namespace detail
#endif

// Adds 1 to a[0] .. a[last] (last from 0 to 31): whole vectors of ones up to
// the one holding `last`, then that one's leading lanes from a table.
inline void increment_prefix(std::uint16_t* a, int last) noexcept {
#if defined(__SSE2__)
    using namespace detail;
    const int tail = last & ~7;
    for (int k = 0; k < tail; k += 8) store(a + k, _mm_add_epi16(load(a + k), _mm_set1_epi16(1)));
    store(a + tail, _mm_add_epi16(load(a + tail), load(leading_ones[last & 7])));
#else
    for (int j = 0; j <= last; ++j) ++a[j];
#endif
}

} // namespace vrk::count_vectors
