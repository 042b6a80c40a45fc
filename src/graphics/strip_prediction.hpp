// The pixel stage of graphics mode: prediction and reconstruction of one
// strip, for each sample layout.
//
// An encoder predicts every sample of the strip's pixel bytes and leaves the
// residuals (lossy: quantization indices) in the strip planes; in lossy mode
// it writes each reconstruction back over its sample, so the pixel bytes are
// then what the decoder will rebuild. A decoder takes the residuals from the
// strip planes and rebuilds the pixel bytes.
//
// Row 0 of the image (strip 0 only) predicts each sample from its left
// neighbour; every other row uses predict_med with the row completed last,
// which the row history carries from strip to strip. Each of those rows
// takes one draw from the run's generator, lossless or not, so that encoder
// and decoder stay in step. Layouts: one byte a pixel (8-bit grey), two
// bytes high byte first (9..16-bit grey), three interleaved bytes (colour:
// three planes, each predicted only from its own samples, sharing a row's draw).
#pragma once

#include <array>
#include <cstdint>

#include "core/strip_planes.hpp"
#include "graphics/near_lossless.hpp"

namespace vrk {

// Per plane, the row completed last and the one before it, which the next
// row overwrites. Each points at a row of `width` values.
struct RowHistory {
    std::array<std::int32_t*, 3> last{};
    std::array<std::int32_t*, 3> spare{};
};

using StripPredictor = void (*)(const Strip& strip, std::uint8_t* pixels, StripPlanes& residuals, RowHistory& history,
                                NearLossless& near_lossless, int width);

// Encoding: pixels to residuals. Lossy encoding of two-byte samples refuses
// a sample above 2^bits_per_sample - 1 ("Invalid image parameters"): the
// quantizer's tables end there.
StripPredictor strip_predictor_for(int bytes_per_pixel, bool lossy) noexcept;
// Decoding: residuals to pixels.
StripPredictor strip_reconstructor_for(int bytes_per_pixel, bool lossy) noexcept;

} // namespace vrk
