#include "wavelet/wavelet_engine.hpp"

#include <algorithm>
#include <cstddef>

#include "wavelet/quantizer.hpp"
#include "wavelet/wavelet_samples.hpp"

namespace vrk {

WaveletEngine::WaveletEngine(const ImageParameters& image)
    : image_(image), padded_width_(plane_stride(image)),
      carry_store_(static_cast<std::size_t>(image.plane_count()) * 2 * max_transform_levels *
                       static_cast<std::size_t>(padded_width_),
                   0),
      carries_(static_cast<std::size_t>(image.plane_count())),
      scratch_(static_cast<std::size_t>(std::max(padded_width_, max_strip_rows)), 0) {
    std::int32_t* cursor = carry_store_.data();
    for (ColumnCarries& plane : carries_) {
        for (int level = 0; level < max_transform_levels; ++level) {
            plane.high[static_cast<std::size_t>(level)] = cursor;
            cursor += padded_width_;
            plane.low[static_cast<std::size_t>(level)] = cursor;
            cursor += padded_width_;
        }
    }
}

PlaneStrip WaveletEngine::plane_strip(const Strip& strip, StripPlanes& planes, int plane) const noexcept {
    return PlaneStrip{planes.rows(plane).base, planes.stride(), strip.padded_rows, padded_width_,
                      carries_[static_cast<std::size_t>(plane)]};
}

void WaveletEngine::forward(const Strip& strip, StripSamples samples, StripPlanes& planes) {
    unpack_samples(image_, strip, samples, planes);
    pad_strip(image_, strip, padded_width_, planes);
    for (int plane = 0; plane < image_.plane_count(); ++plane) {
        const PlaneStrip bands = plane_strip(strip, planes, plane);
        forward_transform(bands, strip.index, scratch_.data());
        if (image_.lossy()) quantize_plane(image_.loss_factor, bands.base, bands.stride, bands.rows, bands.cols);
    }
}

void WaveletEngine::inverse(const Strip& strip, StripPlanes& planes, StripSamples samples) noexcept {
    for (int plane = 0; plane < image_.plane_count(); ++plane) {
        const PlaneStrip bands = plane_strip(strip, planes, plane);
        if (image_.lossy()) dequantize_plane(image_.loss_factor, bands.base, bands.stride, bands.rows, bands.cols);
        inverse_transform(bands, strip.index, scratch_.data());
    }
    pack_samples(image_, strip, planes, samples);
}

} // namespace vrk
