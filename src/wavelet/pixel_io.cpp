#include "wavelet/pixel_io.hpp"

#include <algorithm>
#include <bit>
#include <cassert>
#include <cstddef>
#include <cstring>

#include "frontend/crc.hpp"
#include "frontend/error.hpp"
#include "wavelet/wrapping_arithmetic.hpp"

namespace vrk {

namespace {

std::size_t strip_bytes(const CodecContext& context) noexcept {
    return static_cast<std::size_t>(context.image.bytes_per_pixel) * static_cast<std::size_t>(context.image.width) *
           static_cast<std::size_t>(context.buffers.strip_rows);
}

// Returns the largest sample seen (two-byte samples only; 0 otherwise).
template <int BytesPerPixel>
std::int32_t unpack_strip(const std::uint8_t* bytes, CodecBuffers& buffers, int width) noexcept {
    std::int32_t largest = 0;
    for (int r = 0; r < buffers.strip_rows; ++r) {
        if constexpr (BytesPerPixel == 1) {
            std::int32_t* out = buffers.row(0, r);
            for (int c = 0; c < width; ++c) out[c] = bytes[c];
        } else if constexpr (BytesPerPixel == 2) {
            std::int32_t* out = buffers.row(0, r);
            for (int c = 0; c < width; ++c) {
                const std::int32_t sample = bytes[2 * c] << 8 | bytes[2 * c + 1];
                out[c] = sample;
                largest = std::max(largest, sample);
            }
        } else {
            std::int32_t* y = buffers.row(0, r);
            std::int32_t* u = buffers.row(1, r);
            std::int32_t* v = buffers.row(2, r);
            for (int c = 0; c < width; ++c) {
                const std::int32_t a = bytes[3 * c];
                const std::int32_t b = bytes[3 * c + 1];
                const std::int32_t d = bytes[3 * c + 2];
                y[c] = (a + 2 * b + d) >> 2;
                u[c] = a - b;
                v[c] = d - b;
            }
        }
        bytes += static_cast<std::size_t>(BytesPerPixel) * static_cast<std::size_t>(width);
    }
    return largest;
}

constexpr std::uint8_t clamp_to_byte(std::int64_t v) noexcept {
    return static_cast<std::uint8_t>(std::clamp<std::int64_t>(v, 0, 255));
}

// Writes the pixel's three bytes and one byte of garbage after them, in one
// store: the next pixel overwrites the fourth byte.
inline void store_pixel_with_spill(std::uint8_t* p, std::uint32_t rgb) noexcept {
    if constexpr (std::endian::native == std::endian::little) {
        std::memcpy(p, &rgb, 4);
    } else {
        for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(rgb >> (8 * i));
    }
}

// A lossless colour row: the inverse colour transform keeping the low bits,
// one store per pixel; the last pixel's bytes are stored one by one, since
// its spill could lie past the strip.
void pack_colour_row(std::uint8_t* bytes, const std::int32_t* y, const std::int32_t* u, const std::int32_t* v,
                     int width) noexcept {
    const auto rgb = [&](int c) noexcept {
        const std::int32_t g = wrap_sub(y[c], wrap_add(u[c], v[c]) >> 2);
        return (static_cast<std::uint32_t>(wrap_add(u[c], g)) & 0xFF) | (static_cast<std::uint32_t>(g) & 0xFF) << 8 |
               (static_cast<std::uint32_t>(wrap_add(v[c], g)) & 0xFF) << 16;
    };
    for (int c = 0; c < width - 1; ++c) store_pixel_with_spill(bytes + 3 * c, rgb(c));
    const std::uint32_t last = rgb(width - 1);
    for (int i = 0; i < 3; ++i) bytes[3 * (width - 1) + i] = static_cast<std::uint8_t>(last >> (8 * i));
}

// Lossless output keeps the low bits of every value, so a decoded image is
// byte-exact; lossy output clamps to the sample range instead, since
// reconstruction from quantized bands can overshoot it. Clamping sums are
// formed in 64 bits so damaged coefficients cannot overflow them.
template <int BytesPerPixel, bool Lossy>
void pack_strip(std::uint8_t* bytes, const CodecBuffers& buffers, int width, std::int32_t max_sample) noexcept {
    for (int r = 0; r < buffers.strip_rows; ++r) {
        if constexpr (BytesPerPixel == 1) {
            const std::int32_t* in = buffers.row(0, r);
            for (int c = 0; c < width; ++c)
                bytes[c] = Lossy ? clamp_to_byte(in[c]) : static_cast<std::uint8_t>(in[c]);
        } else if constexpr (BytesPerPixel == 2) {
            const std::int32_t* in = buffers.row(0, r);
            for (int c = 0; c < width; ++c) {
                const std::int32_t sample = Lossy ? std::clamp(in[c], 0, max_sample) : in[c];
                bytes[2 * c] = static_cast<std::uint8_t>(sample >> 8);
                bytes[2 * c + 1] = static_cast<std::uint8_t>(sample);
            }
        } else {
            const std::int32_t* y = buffers.row(0, r);
            const std::int32_t* u = buffers.row(1, r);
            const std::int32_t* v = buffers.row(2, r);
            if constexpr (Lossy) {
                for (int c = 0; c < width; ++c) {
                    const std::int64_t g = std::clamp<std::int64_t>(
                        std::int64_t{y[c]} - ((std::int64_t{u[c]} + v[c]) >> 2), 0, 255);
                    bytes[3 * c] = clamp_to_byte(u[c] + g);
                    bytes[3 * c + 1] = static_cast<std::uint8_t>(g);
                    bytes[3 * c + 2] = clamp_to_byte(v[c] + g);
                }
            } else {
                pack_colour_row(bytes, y, u, v, width);
            }
        }
        bytes += static_cast<std::size_t>(BytesPerPixel) * static_cast<std::size_t>(width);
    }
}

template <int BytesPerPixel>
void pack_strip(std::uint8_t* bytes, const CodecBuffers& buffers, int width, std::int32_t max_sample,
                bool lossy) noexcept {
    if (lossy)
        pack_strip<BytesPerPixel, true>(bytes, buffers, width, max_sample);
    else
        pack_strip<BytesPerPixel, false>(bytes, buffers, width, max_sample);
}

// Rows h..H-1, each from the row above: both ends average two neighbours,
// the rest three. Only the image's own columns take part.
void pad_rows(const CodecBuffers& buffers, int plane, int width) noexcept {
    for (int r = buffers.strip_rows; r < buffers.strip_rows_padded; ++r) {
        const std::int32_t* above = buffers.row(plane, r - 1);
        std::int32_t* out = buffers.row(plane, r);
        out[0] = (above[0] + above[1]) / 2;
        for (int c = 1; c < width - 1; ++c) out[c] = (above[c - 1] + above[c] + above[c + 1]) / 3;
        out[width - 1] = (above[width - 2] + above[width - 1]) / 2;
    }
}

// Columns w..W-1, each from the column to its left, over all padded rows.
void pad_columns(const CodecBuffers& buffers, int plane, int width) noexcept {
    const int last = buffers.strip_rows_padded - 1;
    const std::ptrdiff_t stride = buffers.padded_width;
    for (int c = width; c < buffers.padded_width; ++c) {
        const std::int32_t* left = buffers.row(plane, 0) + (c - 1);
        std::int32_t* out = buffers.row(plane, 0) + c;
        out[0] = (left[0] + left[stride]) / 2;
        for (int r = 1; r < last; ++r)
            out[r * stride] = (left[(r - 1) * stride] + left[r * stride] + left[(r + 1) * stride]) / 3;
        out[last * stride] = (left[(last - 1) * stride] + left[last * stride]) / 2;
    }
}

} // namespace

std::uint32_t read_strip(std::uint32_t crc, ByteSource& source, CodecContext& context) {
    const ImageParameters& image = context.image;
    CodecBuffers& buffers = context.buffers;
    const std::size_t n = strip_bytes(context);
    std::uint8_t* bytes = buffers.code_buffer.data();
    source.read_exact(bytes, n);
    if (image.loss_factor == 0) crc = crc_update(crc, bytes, n);
    switch (image.bytes_per_pixel) {
    case 1: unpack_strip<1>(bytes, buffers, image.width); break;
    case 2: {
        const std::int32_t largest = unpack_strip<2>(bytes, buffers, image.width);
        if (largest > (std::int32_t{1} << image.bits_per_sample) - 1) fail(ErrorCode::invalid_parameters);
        break;
    }
    default:
        assert(image.bytes_per_pixel == 3);
        unpack_strip<3>(bytes, buffers, image.width);
        break;
    }
    return crc;
}

void pad_strip(CodecContext& context) noexcept {
    const int width = context.image.width;
    for (int plane = 0; plane < context.image.plane_count; ++plane) {
        pad_rows(context.buffers, plane, width);
        pad_columns(context.buffers, plane, width);
    }
}

std::uint32_t write_strip(std::uint32_t crc, ByteSink& sink, CodecContext& context) {
    const ImageParameters& image = context.image;
    const CodecBuffers& buffers = context.buffers;
    const std::size_t n = strip_bytes(context);
    std::uint8_t* bytes = context.buffers.code_buffer.data();
    const bool lossy = image.loss_factor != 0;
    const std::int32_t max_sample = (std::int32_t{1} << image.bits_per_sample) - 1;
    switch (image.bytes_per_pixel) {
    case 1: pack_strip<1>(bytes, buffers, image.width, max_sample, lossy); break;
    case 2: pack_strip<2>(bytes, buffers, image.width, max_sample, lossy); break;
    default:
        assert(image.bytes_per_pixel == 3);
        pack_strip<3>(bytes, buffers, image.width, max_sample, lossy);
        break;
    }
    if (!lossy) crc = crc_update(crc, bytes, n);
    sink.write_exact(bytes, n);
    return crc;
}

} // namespace vrk
