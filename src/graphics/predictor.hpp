// The median edge predictor of the graphics engine.
#pragma once

#include <cstdint>

namespace vrk {

// Predicts a sample from its left (a), upper (b) and upper-left (c)
// neighbours: min(a, b) when c is at or above both, max(a, b) when c is at or
// below both, else the plane through the three, a + b - c. When a = b = c all
// three answers agree, so the order of the tests cannot matter.
//
// a + b - c is only taken when c lies strictly between a and b, so the result
// always fits; it is summed through uint32_t because a damaged lossless file
// can make the neighbours themselves arbitrarily large.
constexpr std::int32_t predict_med(std::int32_t a, std::int32_t b, std::int32_t c) noexcept {
    // Written as selects rather than nested branches, so the compiler emits
    // conditional moves: the branches would be unpredictable on real images.
    const std::int32_t low = a < b ? a : b;
    const std::int32_t high = a < b ? b : a;
    const auto plane = static_cast<std::int32_t>(static_cast<std::uint32_t>(a) + static_cast<std::uint32_t>(b) -
                                                 static_cast<std::uint32_t>(c));
    const std::int32_t inside = c <= low ? high : plane;
    return c >= high ? low : inside;
}

// Column 0 has no left neighbour: the upper-right sample stands in for it and
// the mean of the two samples above (rounded down) for the upper-left one.
constexpr std::int32_t predict_column0(std::int32_t above, std::int32_t above_right) noexcept {
    const auto mean = static_cast<std::int32_t>((static_cast<std::int64_t>(above) + above_right) >> 1);
    return predict_med(above_right, above, mean);
}

} // namespace vrk
