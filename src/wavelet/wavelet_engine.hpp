// The wavelet engine, for natural images: a reversible wavelet transform.
//
// Each strip's samples become planes (a colour transform for colour images),
// are padded to a multiple of 8 in both directions, transformed into bands
// (the column passes continue across strips through the carry rows) and,
// with a loss factor, quantized. The entropy stage codes, per plane, the low
// region (the lowest band and all levels from 2 up) as one plane, then the
// three bands of level 1 and those of level 0, so every band's parents are
// known before it.
#pragma once

#include <cstdint>
#include <vector>

#include "core/image_parameters.hpp"
#include "core/strip_planes.hpp"
#include "core/strip_samples.hpp"
#include "wavelet/strip_transform.hpp"

namespace vrk {

class WaveletEngine {
public:
    explicit WaveletEngine(const ImageParameters& image);

    // Strip rows are the width rounded up to a multiple of 8.
    static int plane_stride(const ImageParameters& image) noexcept { return rounded_up_to_8(image.width); }
    // Lossy runs protect the quantized coefficients rather than the pixels.
    static bool crc_covers_coefficients(const ImageParameters& image) noexcept { return image.lossy(); }
    // Padding rows are rebuilt for every strip.
    static constexpr bool last_strip_codes_rows_left_before = false;

    // The pixel stage: samples to quantized bands, and the inverse.
    void forward(const Strip& strip, StripSamples samples, StripPlanes& planes);
    void inverse(const Strip& strip, StripPlanes& planes, StripSamples samples) noexcept;

    // The entropy stage: the same calls in both directions, made on the
    // entropy coder or, to split a strip beforehand, on a value splitter.
    template <class Coder>
    void entropy_code(const Strip& strip, StripPlanes& planes, Coder& coder) const {
        const int h = strip.padded_rows / 4;
        const int w = padded_width_ / 4;
        for (int plane = 0; plane < image_.plane_count(); ++plane) {
            const StripRows rows = planes.rows(plane);
            coder.code_plane(rows, h, w);
            for (int o = 1; o <= 3; ++o) coder.code_band(o, rows, h, w);
            for (int o = 1; o <= 3; ++o) coder.code_band(o, rows, 2 * h, 2 * w);
        }
    }

private:
    PlaneStrip plane_strip(const Strip& strip, StripPlanes& planes, int plane) const noexcept;

    ImageParameters image_;
    int padded_width_;
    std::vector<std::int32_t> carry_store_; // per plane, a low and a high row for each level
    std::vector<ColumnCarries> carries_;
    std::vector<std::int32_t> scratch_; // one row or column
};

} // namespace vrk
