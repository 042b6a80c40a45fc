// The wavelet engine's samples: one strip's samples unpacked into the planes
// (with the colour transform), the padding of a strip to its padded size,
// and one decoded strip packed back into samples (with the inverse colour
// transform).
//
// A colour pixel a, b, c (its samples in stored order) becomes a luminance-like average and two
// differences from the middle byte:
//   plane 0 = (a + 2b + c) >> 2, plane 1 = a - b, plane 2 = c - b,
// and back: G = Y - ((U + V) >> 2), samples U + G, G, V + G.
//
#pragma once

#include <cstdint>

#include "core/image_parameters.hpp"
#include "core/strip_planes.hpp"
#include "core/strip_samples.hpp"

namespace vrk {

// Converts strip.rows rows of samples into rows 0.. of every plane, columns
// 0..width-1. A 16-bit sample above 2^bits_per_sample - 1 would not fit the
// coder's alphabet: "Invalid image parameters".
void unpack_samples(const ImageParameters& image, const Strip& strip, StripSamples samples, StripPlanes& planes);

// Fills rows strip.rows..strip.padded_rows-1 (from the row above) and then
// columns width..padded_width-1 (from the column to the left) of every plane
// with smoothed copies, so the transform sees no jump at the edges.
void pad_strip(const ImageParameters& image, const Strip& strip, int padded_width, StripPlanes& planes) noexcept;

// Converts rows 0..strip.rows-1, columns 0..width-1 of the planes into
// samples; lossy runs clamp to the sample range, lossless runs keep the low
// 8 or 16 bits, so a decoded image is exact.
void pack_samples(const ImageParameters& image, const Strip& strip, const StripPlanes& planes,
                  StripSamples samples) noexcept;

} // namespace vrk
