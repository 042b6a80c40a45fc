// The pixel stage of the graphics engine: prediction of one strip and its
// inverse, for each sample layout.
//
// An encoder predicts every sample of the strip and leaves the residuals
// (lossy: quantization indices) in the strip planes; in lossy mode it writes
// each reconstruction back over its sample, so the samples are then what the
// decoder will rebuild. A decoder takes the residuals from the strip planes
// and rebuilds the samples.
//
// Row 0 of the image (strip 0 only) predicts each sample from its left
// neighbour; every other row uses predict_med with the row completed last,
// which the row history carries from strip to strip. Each of those rows
// takes one draw from the run's generator, lossless or not, so that encoder
// and decoder stay in step. Layouts: one 8-bit sample a pixel (grey), one
// 16-bit sample (9..16-bit grey), three interleaved 8-bit samples (colour:
// three planes, each predicted only from its own samples, sharing a row's draw).
#pragma once

#include <array>
#include <cstdint>

#include "core/strip_planes.hpp"
#include "core/strip_samples.hpp"
#include "graphics/near_lossless.hpp"

namespace vrk {

// Per plane, the row completed last and the one before it, which the next
// row overwrites. Each points at a row of `width` values.
struct RowHistory {
    std::array<std::int32_t*, 3> last{};
    std::array<std::int32_t*, 3> spare{};
};

using StripPredictor = void (*)(const Strip& strip, StripSamples samples, StripPlanes& residuals, RowHistory& history,
                                NearLossless& near_lossless, int width);

// Encoding: samples to residuals. Lossy encoding of 16-bit samples refuses a
// sample above 2^bits_per_sample - 1 ("Invalid image parameters"): the
// quantizer's tables end there.
StripPredictor strip_predictor_for(int bytes_per_pixel, bool lossy) noexcept;
// Decoding, the inverse: residuals to samples.
StripPredictor strip_inverse_for(int bytes_per_pixel, bool lossy) noexcept;

} // namespace vrk
