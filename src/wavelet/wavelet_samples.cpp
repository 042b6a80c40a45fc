#include "wavelet/wavelet_samples.hpp"

#include <algorithm>
#include <bit>
#include <cassert>
#include <cstddef>
#include <cstring>
#include <type_traits>

#include "core/error.hpp"
#include "core/wrapping_arithmetic.hpp"

namespace vrk {

namespace {

// Returns the largest sample seen (16-bit samples only; 0 otherwise).
template <int BytesPerPixel>
std::int32_t unpack_strip(StripSamples samples, StripPlanes& planes, int rows, int width) noexcept {
    using Sample = std::conditional_t<BytesPerPixel == 2, std::uint16_t, std::uint8_t>;
    const Sample* bytes = samples.as<Sample>();
    std::int32_t largest = 0;
    for (int r = 0; r < rows; ++r) {
        if constexpr (BytesPerPixel == 1) {
            std::int32_t* out = planes.row(0, r);
            for (int c = 0; c < width; ++c) out[c] = bytes[c];
        } else if constexpr (BytesPerPixel == 2) {
            std::int32_t* out = planes.row(0, r);
            for (int c = 0; c < width; ++c) {
                const std::int32_t sample = bytes[c];
                out[c] = sample;
                largest = std::max(largest, sample);
            }
        } else {
            std::int32_t* y = planes.row(0, r);
            std::int32_t* u = planes.row(1, r);
            std::int32_t* v = planes.row(2, r);
            for (int c = 0; c < width; ++c) {
                const std::int32_t a = bytes[3 * c];
                const std::int32_t b = bytes[3 * c + 1];
                const std::int32_t d = bytes[3 * c + 2];
                y[c] = (a + 2 * b + d) >> 2;
                u[c] = a - b;
                v[c] = d - b;
            }
        }
        bytes += static_cast<std::size_t>(BytesPerPixel == 3 ? 3 : 1) * static_cast<std::size_t>(width);
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
void pack_strip(StripSamples samples, const StripPlanes& planes, int rows, int width,
                std::int32_t max_sample) noexcept {
    using Sample = std::conditional_t<BytesPerPixel == 2, std::uint16_t, std::uint8_t>;
    Sample* bytes = samples.as<Sample>();
    for (int r = 0; r < rows; ++r) {
        if constexpr (BytesPerPixel == 1) {
            const std::int32_t* in = planes.row(0, r);
            for (int c = 0; c < width; ++c) bytes[c] = Lossy ? clamp_to_byte(in[c]) : static_cast<std::uint8_t>(in[c]);
        } else if constexpr (BytesPerPixel == 2) {
            const std::int32_t* in = planes.row(0, r);
            for (int c = 0; c < width; ++c)
                bytes[c] = static_cast<std::uint16_t>(Lossy ? std::clamp(in[c], 0, max_sample) : in[c]);
        } else {
            const std::int32_t* y = planes.row(0, r);
            const std::int32_t* u = planes.row(1, r);
            const std::int32_t* v = planes.row(2, r);
            if constexpr (Lossy) {
                for (int c = 0; c < width; ++c) {
                    const std::int64_t g =
                        std::clamp<std::int64_t>(std::int64_t{y[c]} - ((std::int64_t{u[c]} + v[c]) >> 2), 0, 255);
                    bytes[3 * c] = clamp_to_byte(u[c] + g);
                    bytes[3 * c + 1] = static_cast<std::uint8_t>(g);
                    bytes[3 * c + 2] = clamp_to_byte(v[c] + g);
                }
            } else {
                pack_colour_row(bytes, y, u, v, width);
            }
        }
        bytes += static_cast<std::size_t>(BytesPerPixel == 3 ? 3 : 1) * static_cast<std::size_t>(width);
    }
}

template <int BytesPerPixel>
void pack_strip(StripSamples samples, const StripPlanes& planes, int rows, int width, std::int32_t max_sample,
                bool lossy) noexcept {
    if (lossy)
        pack_strip<BytesPerPixel, true>(samples, planes, rows, width, max_sample);
    else
        pack_strip<BytesPerPixel, false>(samples, planes, rows, width, max_sample);
}

// Rows h..H-1, each from the row above: both ends average two neighbours,
// the rest three. Only the image's own columns take part.
void pad_rows(StripPlanes& planes, const Strip& strip, int plane, int width) noexcept {
    for (int r = strip.rows; r < strip.padded_rows; ++r) {
        const std::int32_t* above = planes.row(plane, r - 1);
        std::int32_t* out = planes.row(plane, r);
        out[0] = (above[0] + above[1]) / 2;
        for (int c = 1; c < width - 1; ++c) out[c] = (above[c - 1] + above[c] + above[c + 1]) / 3;
        out[width - 1] = (above[width - 2] + above[width - 1]) / 2;
    }
}

// Columns w..W-1, each from the column to its left, over all padded rows.
void pad_columns(StripPlanes& planes, const Strip& strip, int padded_width, int plane, int width) noexcept {
    const int last = strip.padded_rows - 1;
    const std::ptrdiff_t stride = planes.stride();
    for (int c = width; c < padded_width; ++c) {
        const std::int32_t* left = planes.row(plane, 0) + (c - 1);
        std::int32_t* out = planes.row(plane, 0) + c;
        out[0] = (left[0] + left[stride]) / 2;
        for (int r = 1; r < last; ++r)
            out[r * stride] = (left[(r - 1) * stride] + left[r * stride] + left[(r + 1) * stride]) / 3;
        out[last * stride] = (left[(last - 1) * stride] + left[last * stride]) / 2;
    }
}

} // namespace

void unpack_samples(const ImageParameters& image, const Strip& strip, StripSamples samples, StripPlanes& planes) {
    switch (image.bytes_per_pixel) {
    case 1: unpack_strip<1>(samples, planes, strip.rows, image.width); break;
    case 2: {
        const std::int32_t largest = unpack_strip<2>(samples, planes, strip.rows, image.width);
        if (largest > (std::int32_t{1} << image.bits_per_sample) - 1) fail(ErrorCode::invalid_parameters);
        break;
    }
    default:
        assert(image.bytes_per_pixel == 3);
        unpack_strip<3>(samples, planes, strip.rows, image.width);
        break;
    }
}

void pad_strip(const ImageParameters& image, const Strip& strip, int padded_width, StripPlanes& planes) noexcept {
    for (int plane = 0; plane < image.plane_count(); ++plane) {
        pad_rows(planes, strip, plane, image.width);
        pad_columns(planes, strip, padded_width, plane, image.width);
    }
}

void pack_samples(const ImageParameters& image, const Strip& strip, const StripPlanes& planes,
                  StripSamples samples) noexcept {
    const bool lossy = image.lossy();
    const std::int32_t max_sample = (std::int32_t{1} << image.bits_per_sample) - 1;
    switch (image.bytes_per_pixel) {
    case 1: pack_strip<1>(samples, planes, strip.rows, image.width, max_sample, lossy); break;
    case 2: pack_strip<2>(samples, planes, strip.rows, image.width, max_sample, lossy); break;
    default:
        assert(image.bytes_per_pixel == 3);
        pack_strip<3>(samples, planes, strip.rows, image.width, max_sample, lossy);
        break;
    }
}

} // namespace vrk
