#include "graphics/graphics_engine.hpp"

#include <cstddef>

namespace vrk {

namespace {

NearLossless near_lossless_for(const ImageParameters& image) {
    return image.lossy() ? NearLossless(image.width, image.loss_factor, image.bits_per_sample) : NearLossless();
}

} // namespace

GraphicsEngine::GraphicsEngine(const ImageParameters& image)
    : width_(image.width), planes_(image.plane_count()), near_lossless_(near_lossless_for(image)),
      history_rows_(2 * static_cast<std::size_t>(planes_) * static_cast<std::size_t>(width_), 0),
      forward_(strip_predictor_for(image.bytes_per_pixel, image.lossy())),
      inverse_(strip_inverse_for(image.bytes_per_pixel, image.lossy())) {
    for (int p = 0; p < planes_; ++p) {
        history_.last[static_cast<std::size_t>(p)] = history_rows_.data() + (2 * p) * width_;
        history_.spare[static_cast<std::size_t>(p)] = history_rows_.data() + (2 * p + 1) * width_;
    }
}

void GraphicsEngine::forward(const Strip& strip, StripSamples samples, StripPlanes& planes) {
    forward_(strip, samples, planes, history_, near_lossless_, width_);
}

void GraphicsEngine::inverse(const Strip& strip, StripPlanes& planes, StripSamples samples) {
    inverse_(strip, samples, planes, history_, near_lossless_, width_);
}

} // namespace vrk
