// The graphics engine, for synthetic images: prediction.
//
// The pixel stage predicts each strip's samples (strip_prediction.hpp); the
// entropy stage codes each plane's residual rows with the plane coder, over
// the strip's padded rows. Rows past the image in a short last strip are
// coded as they stand: they still hold what the strip before left there, and
// the decoder fills and ignores them.
#pragma once

#include <cstdint>
#include <vector>

#include "core/image_parameters.hpp"
#include "core/strip_planes.hpp"
#include "core/strip_samples.hpp"
#include "graphics/near_lossless.hpp"
#include "graphics/strip_prediction.hpp"

namespace vrk {

class GraphicsEngine {
public:
    explicit GraphicsEngine(const ImageParameters& image);

    // Strip rows are exactly the image width.
    static int plane_stride(const ImageParameters& image) noexcept { return image.width; }
    // The CRC covers the pixels as the decoder sees them.
    static bool crc_covers_coefficients(const ImageParameters&) noexcept { return false; }
    // A short last strip codes, in its rows past the image, the residuals the
    // strip before left in the same rows of the strip planes.
    static constexpr bool last_strip_codes_rows_left_before = true;

    // The pixel stage. Lossy encoding writes each reconstruction back over its sample.
    void forward(const Strip& strip, StripSamples samples, StripPlanes& planes);
    void inverse(const Strip& strip, StripPlanes& planes, StripSamples samples);

    // The entropy stage: the same calls in both directions, made on the
    // entropy coder or, to split a strip beforehand, on a value splitter.
    template <class Coder>
    void entropy_code(const Strip& strip, StripPlanes& planes, Coder& coder) const {
        for (int p = 0; p < planes_; ++p) coder.code_plane(planes.rows(p), strip.padded_rows, width_);
    }

private:
    int width_;
    int planes_;
    NearLossless near_lossless_;
    std::vector<std::int32_t> history_rows_; // two rows per plane
    RowHistory history_;
    StripPredictor forward_;
    StripPredictor inverse_;
};

} // namespace vrk
