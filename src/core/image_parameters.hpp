// What a run knows about its image: filled by the image readers when
// encoding, or from the container header when decoding.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include <vrk/vrk.hpp>

namespace vrk {

inline constexpr std::uint32_t mode_fast = 1;     // adaptive prefix codes instead of arithmetic coding
inline constexpr std::uint32_t mode_graphics = 2; // the graphics engine instead of the wavelet engine
inline constexpr std::size_t container_header_size = 12;
// The container header stores the width, the height and the image header's size in 16 bits.
inline constexpr int max_dimension = 65535;
// Loss factors run from 1 (nearly lossless) to this; 0 is lossless.
inline constexpr int max_loss_factor = 12;

struct ImageParameters {
    int height = 0;
    int width = 0;
    std::array<std::uint8_t, container_header_size> container_header{};
    std::vector<std::uint8_t> image_header_bytes; // the image file's own header, byte for byte
    ImageFormat format = ImageFormat::raw;
    int loss_factor = 0;     // 0 lossless, 1..12 lossy
    int bytes_per_pixel = 0; // 1 grey 8-bit, 2 grey 9..16-bit (high byte first), 3 colour
    int bits_per_sample = 8; // 8..16
    std::uint32_t mode_flags = 0;

    int image_header_size() const noexcept { return static_cast<int>(image_header_bytes.size()); }
    int plane_count() const noexcept { return bytes_per_pixel == 3 ? 3 : 1; }
    bool fast() const noexcept { return (mode_flags & mode_fast) != 0; }
    bool graphics() const noexcept { return (mode_flags & mode_graphics) != 0; }
    bool lossy() const noexcept { return loss_factor != 0; }
    // Bytes of one row of pixels in the image file.
    std::size_t row_bytes() const noexcept {
        return static_cast<std::size_t>(width) * static_cast<std::size_t>(bytes_per_pixel);
    }
};

} // namespace vrk
