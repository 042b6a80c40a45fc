// What every library entry point does with its options: the mode flags, the
// threads check, the decoding limit, and the one rule for rows in a buffer.
#pragma once

#include <vrk/vrk.hpp>

#include <cstddef>
#include <cstdint>

#include "core/error.hpp"
#include "core/image_parameters.hpp"

namespace vrk {

// The container header's mode flags for the options.
inline std::uint32_t mode_flags_for(const Options& options) noexcept {
    return (options.fast ? mode_fast : 0) | (options.graphics ? mode_graphics : 0);
}

// A negative threads setting is the caller's mistake: invalid_argument.
inline void check_threads(int threads) {
    if (threads < 0) fail(ErrorCode::invalid_argument);
}

// More pixels than `max_pixels` (0: no limit) is limit_exceeded, found from
// the headers before any buffer for the image is allocated.
inline void check_pixel_limit(const ImageParameters& image, std::uint64_t max_pixels) {
    const std::uint64_t pixels = static_cast<std::uint64_t>(image.width) * static_cast<std::uint64_t>(image.height);
    if (max_pixels != 0 && pixels > max_pixels) fail(ErrorCode::limit_exceeded);
}

// A decode's option checks, after the headers: threads, then the limit.
inline void check_decode_options(const ImageParameters& image, const DecodeOptions& options) {
    check_threads(options.threads);
    check_pixel_limit(image, options.max_pixels);
}

// The one rule for rows in a caller's buffer: `height` rows of `row` units
// each, `stride` units apart (0: packed), need height - 1 strides and one
// row. A stride below a row, or a count beyond size_t, is `error`.
inline std::size_t units_needed(std::size_t row, int height, std::size_t stride, ErrorCode error) {
    if (stride == 0) stride = row;
    if (stride < row || height < 1) fail(error);
    const auto gaps = static_cast<std::size_t>(height - 1);
    if (gaps != 0 && stride > (SIZE_MAX - row) / gaps) fail(error);
    return gaps * stride + row;
}

} // namespace vrk
