// Small helpers shared by the wavelet engine's tests: a run's context made by
// hand, and deterministic pseudo-random data.
#pragma once

#include <cstdint>
#include <optional>
#include <random>
#include <vector>

#include <vrk/vrk.hpp>

#include "codec/codec_context.hpp"
#include "wavelet/codec_buffers.hpp"

namespace vrk::test {

inline CodecContext make_context(int height, int width, int bytes_per_pixel, int bits_per_sample = 8,
                                 int loss_factor = 0, std::uint32_t mode_flags = 0) {
    CodecContext context;
    context.image.height = height;
    context.image.width = width;
    context.image.bytes_per_pixel = bytes_per_pixel;
    context.image.bits_per_sample = bits_per_sample;
    context.image.plane_count = bytes_per_pixel == 3 ? 3 : 1;
    context.image.loss_factor = loss_factor;
    context.image.mode_flags = mode_flags;
    context.buffers = allocate_codec_buffers(context.image);
    return context;
}

// Sets the strip geometry the way the strip loop does.
inline void set_strip_rows(CodecBuffers& buffers, int rows) {
    buffers.strip_rows = rows;
    buffers.strip_rows_padded = rounded_up_to_8(rows);
}

inline std::vector<std::uint8_t> random_bytes(std::size_t n, std::uint32_t seed) {
    std::mt19937 generator(seed);
    std::uniform_int_distribution<int> byte(0, 255);
    std::vector<std::uint8_t> bytes(n);
    for (auto& b : bytes) b = static_cast<std::uint8_t>(byte(generator));
    return bytes;
}

// The code of the Error that `action` throws, or nothing.
template <typename Action>
std::optional<ErrorCode> error_of(Action action) {
    try {
        action();
    } catch (const Error& e) {
        return e.code();
    }
    return std::nullopt;
}

} // namespace vrk::test
