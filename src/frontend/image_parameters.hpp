// What a run knows about its image: filled by the image readers when
// encoding, or from the container header when decoding.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

namespace vrk {

inline constexpr std::uint32_t mode_fast = 1;     // adaptive prefix codes instead of arithmetic coding
inline constexpr std::uint32_t mode_graphics = 2; // predictive engine instead of the wavelet engine

// Entries of the extension table ".vrk.raw.ras.pgm.ppm".
enum FormatIndex : int { format_compressed = 0, format_raw = 1, format_ras = 2, format_pgm = 3, format_ppm = 4 };

struct ImageParameters {
    int height = 0;
    int width = 0;
    std::array<std::uint8_t, 12> container_header{};
    std::vector<std::uint8_t> image_header_bytes; // the image file's own header, byte for byte
    int format_index = 0;
    int loss_factor = 0;     // 0 lossless, 1..12 lossy
    int plane_count = 1;     // 3 for colour, else 1
    int bytes_per_pixel = 0; // 1 grey 8-bit, 2 grey 9..16-bit (high byte first), 3 colour
    int bits_per_sample = 8; // 8..16
    std::uint32_t mode_flags = 0;

    int image_header_size() const noexcept { return static_cast<int>(image_header_bytes.size()); }
    bool fast() const noexcept { return (mode_flags & mode_fast) != 0; }
    bool graphics() const noexcept { return (mode_flags & mode_graphics) != 0; }
};

} // namespace vrk
