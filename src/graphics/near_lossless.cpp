#include "graphics/near_lossless.hpp"

#include <cassert>

#include "core/image_parameters.hpp"

namespace vrk {

NearLossless::NearLossless(int width, int loss_factor, int bits_per_sample) {
    // The header check has refused any other factor, depth or width before a run starts.
    assert(loss_factor >= 1 && loss_factor <= max_loss_factor);
    assert(bits_per_sample >= 8 && bits_per_sample <= 16);
    assert(width >= 1);
    const std::int32_t L = loss_factor;
    loss_factor_ = loss_factor;
    max_sample_ = (std::int32_t{1} << bits_per_sample) - 1;
    step_ = 2 * L + 1;
    dither_limit_ = (L - 1) >> 1;
    // Sample and prediction both lie in 0..max_sample, so sample - prediction + offset stays within -E..E.
    error_limit_ = max_sample_ + dither_limit_;
    index_limit_ = (error_limit_ + L) / step_;

    // Index q stands for the errors q * step - L .. q * step + L.
    quantize_storage_.assign(2 * static_cast<std::size_t>(error_limit_) + 1, 0);
    std::int32_t* quantize = quantize_storage_.data() + error_limit_;
    for (std::int32_t e = 0; e <= error_limit_; ++e) {
        quantize[e] = (L + e) / step_;
        quantize[-e] = -quantize[e];
    }
    quantize_table_ = quantize;

    dequantize_storage_.assign(2 * static_cast<std::size_t>(index_limit_) + 1, 0);
    std::int32_t* dequantize = dequantize_storage_.data() + index_limit_;
    for (std::int32_t j = -index_limit_; j <= index_limit_; ++j) dequantize[j] = j * step_;
    dequantize_table_ = dequantize;

    reconstruct_storage_.resize(quantize_storage_.size());
    std::int32_t* reconstruct = reconstruct_storage_.data() + error_limit_;
    for (std::int32_t e = -error_limit_; e <= error_limit_; ++e) reconstruct[e] = dequantize[quantize[e]];
    reconstruct_table_ = reconstruct;

    const std::size_t count = dither_start_count + 3 * static_cast<std::size_t>(width);
    dither_offsets_.assign(count, 0);
    if (dither_limit_ != 0) {
        // Seeded from values the decoder reads from the header, so both sides draw the same table.
        random_seed(static_cast<std::uint32_t>(L) + static_cast<std::uint32_t>(count));
        const std::int32_t span = dither_limit_ + 1;
        for (std::int32_t& offset : dither_offsets_) {
            const std::int32_t u = random_draw() % span;
            const std::int32_t v = random_draw() % span;
            offset = u - v; // triangular over -h..h
        }
    }
}

} // namespace vrk
