// The median edge predictor of the graphics engine.
#pragma once

#include <cstdint>

namespace vrk {

// Predicts a sample from its left (a), upper (b) and upper-left (c)
// neighbours: min(a, b) when c is at or above both, max(a, b) when c is at or
// below both, else the plane through the three, a + b - c.
//
// All three cases are low + high - clamp(c, low, high), which needs no
// compare of c against a sum and leaves the compiler nothing to turn into an
// (unpredictable) branch. The true result lies between low and high, so it
// fits even where low + high does not: the sum wraps through uint32_t and the
// difference comes back exact, as a damaged lossless file needs when it
// makes the neighbours arbitrarily large.
constexpr std::int32_t predict_med(std::int32_t a, std::int32_t b, std::int32_t c) noexcept {
    const std::int32_t low = a < b ? a : b;
    const std::int32_t high = a < b ? b : a;
    const std::int32_t c_between = c < low ? low : (c > high ? high : c);
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(low) + static_cast<std::uint32_t>(high) -
                                     static_cast<std::uint32_t>(c_between));
}

// Column 0 has no left neighbour: the upper-right sample stands in for it and
// the mean of the two samples above (rounded down) for the upper-left one.
constexpr std::int32_t predict_column0(std::int32_t above, std::int32_t above_right) noexcept {
    const auto mean = static_cast<std::int32_t>((static_cast<std::int64_t>(above) + above_right) >> 1);
    return predict_med(above_right, above, mean);
}

} // namespace vrk
