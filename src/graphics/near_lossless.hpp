// The near-lossless quantizer of the graphics engine, its subtractive dither and the
// pseudo-random generator behind both, for one run.
//
// With loss factor L the prediction error is quantized with the step 2L + 1,
// so every reconstruction lies within L of its sample. A small offset d is
// added to the error before quantizing and taken off after dequantizing; the
// offsets are drawn once per run from the run's own generator, which the strip
// coders then advance once per image row, identically in both directions.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace vrk {

// Offsets a row may start at: a row starts at entry random_draw() % 31.
inline constexpr int dither_start_count = 31;

class NearLossless {
public:
    // A lossless run: no tables, max_sample 0 (so row 0 starts from the
    // prediction 0), and the generator in its start state.
    NearLossless() = default;
    // A lossy run, loss factor 1..max_loss_factor, samples of 8..16 bits:
    // builds every table and, when the dither is non-zero (L >= 3), draws the
    // offsets.
    NearLossless(int width, int loss_factor, int bits_per_sample);

    NearLossless(const NearLossless&) = delete; // the table pointers point into the vectors
    NearLossless& operator=(const NearLossless&) = delete;
    NearLossless(NearLossless&&) = default;
    NearLossless& operator=(NearLossless&&) = default;

    bool lossy() const noexcept { return loss_factor_ != 0; }
    std::int32_t max_sample() const noexcept { return max_sample_; }
    std::int32_t step() const noexcept { return step_; }
    std::int32_t dither_limit() const noexcept { return dither_limit_; } // h: offsets lie in -h..h
    std::int32_t error_limit() const noexcept { return error_limit_; }   // E: quantize_table spans -E..E
    std::int32_t index_limit() const noexcept { return index_limit_; }   // K: dequantize_table spans -K..K

    // Each table is reached through its entry 0 and indexable over its span.
    const std::int32_t* quantize_table() const noexcept { return quantize_table_; }
    const std::int32_t* dequantize_table() const noexcept { return dequantize_table_; }
    // dequantize_table[quantize_table[e]] over -E..E: the encoder's error as
    // the decoder will rebuild it, in one lookup instead of two in a row.
    const std::int32_t* reconstruct_table() const noexcept { return reconstruct_table_; }
    // 31 + 3 * width entries: the highest start plus a colour row of offsets.
    const std::int32_t* dither_offsets() const noexcept { return dither_offsets_.data(); }
    std::size_t dither_offset_count() const noexcept { return dither_offsets_.size(); }

    void random_seed(std::uint32_t seed) noexcept { random_state_ = seed; }
    // The next value, 0..32767: bits 16 to 30 of a linear congruential state.
    std::int32_t random_draw() noexcept {
        random_state_ = random_state_ * 214013u + 2531011u;
        return static_cast<std::int32_t>((random_state_ >> 16) & 0x7FFFu);
    }

private:
    int loss_factor_ = 0;
    std::int32_t max_sample_ = 0;
    std::int32_t step_ = 1;
    std::int32_t dither_limit_ = 0;
    std::int32_t error_limit_ = 0;
    std::int32_t index_limit_ = 0;
    std::uint32_t random_state_ = 1;

    std::vector<std::int32_t> quantize_storage_;
    std::vector<std::int32_t> dequantize_storage_;
    std::vector<std::int32_t> reconstruct_storage_;
    std::vector<std::int32_t> dither_offsets_;
    const std::int32_t* quantize_table_ = nullptr;
    const std::int32_t* dequantize_table_ = nullptr;
    const std::int32_t* reconstruct_table_ = nullptr;
};

} // namespace vrk
