// Division by a model total as one multiplication: the arithmetic coder
// divides its range by the total of the model at every symbol, and a table
// lookup plus a 64 x 64-bit product is several times quicker than the
// 32-bit division on the path from one symbol to the next.
//
// With M = floor((2^64 - 1) / d) + 1, the top 64 bits of n * M are exactly
// floor(n / d) for every 32-bit n and every d from 2 up.
#pragma once

#include <array>
#include <cstdint>

namespace vrk {

// Totals run up to 4095 (the models' rescale bound).
inline constexpr std::uint32_t max_divided_total = 4095;

namespace detail {
constexpr std::array<std::uint64_t, max_divided_total + 1> build_total_reciprocals() {
    std::array<std::uint64_t, max_divided_total + 1> m{};
    for (std::uint32_t d = 2; d <= max_divided_total; ++d) m[d] = ~std::uint64_t{0} / d + 1;
    return m;
}
inline constexpr std::array<std::uint64_t, max_divided_total + 1> total_reciprocals = build_total_reciprocals();
} // namespace detail

// The top 64 bits of n * reciprocal from two 32 x 32 -> 64-bit products: exact
// for a 32-bit n (the sum below stays under 2^64), for targets without a
// 64 x 64 -> 128-bit product, where the 128-bit form is a library call.
inline std::uint32_t multiply_high_split(std::uint32_t n, std::uint64_t reciprocal) noexcept {
    const std::uint64_t low = (std::uint64_t{n} * (reciprocal & 0xFFFFFFFFu)) >> 32;
    return static_cast<std::uint32_t>((std::uint64_t{n} * (reciprocal >> 32) + low) >> 32);
}

// The top 64 bits of n * reciprocal: floor(n / d) for d's entry of the table.
inline std::uint32_t multiply_high(std::uint32_t n, std::uint64_t reciprocal) noexcept {
#if defined(__SIZEOF_INT128__) && !defined(__wasm__)
    __extension__ using u128 = unsigned __int128;
    return static_cast<std::uint32_t>((static_cast<u128>(n) * reciprocal) >> 64);
#else
    return multiply_high_split(n, reciprocal);
#endif
}

// floor(n / total) for a total from 2 to max_divided_total.
inline std::uint32_t divide_by_total(std::uint32_t n, std::uint32_t total) noexcept {
    return multiply_high(n, detail::total_reciprocals[total]);
}

} // namespace vrk
