#include "graphics/strip_prediction.hpp"

#include <algorithm>
#include <array>
#include <cassert>
#include <cstddef>

#include "core/error.hpp"
#include "core/wrapping_arithmetic.hpp"
#include "graphics/predictor.hpp"

namespace vrk {
namespace {

// One sample in the staged pixel bytes: one byte, or two high byte first.
// Only the low 8 or 16 bits of a value are stored.
template <int Bytes>
struct SampleBytes;

template <>
struct SampleBytes<1> {
    static std::int32_t load(const std::uint8_t* p) noexcept { return p[0]; }
    static void store(std::uint8_t* p, std::int32_t v) noexcept { p[0] = static_cast<std::uint8_t>(v); }
};

template <>
struct SampleBytes<2> {
    static std::int32_t load(const std::uint8_t* p) noexcept { return (p[0] << 8) | p[1]; }
    static void store(std::uint8_t* p, std::int32_t v) noexcept {
        p[0] = static_cast<std::uint8_t>(v >> 8);
        p[1] = static_cast<std::uint8_t>(v);
    }
};

// The lossy tables, copied out of the run's object once per strip so the
// per-sample loop works on locals.
struct Lookups {
    const std::int32_t* quantize = nullptr;
    const std::int32_t* dequantize = nullptr;
    const std::int32_t* reconstruct = nullptr;
    std::int32_t index_limit = 0;
    std::int32_t max_sample = 0;
};

// Clamps a reconstruction to the sample range with two compares rather than a
// table, which would add a memory load to the chain from one sample's value
// to the next prediction. Any index a damaged file carries is bounded first,
// so the sum cannot overflow.
inline std::int32_t clamp_sample(std::int32_t v, std::int32_t max_sample) noexcept {
    return std::clamp(v, 0, max_sample);
}

// Codes one sample with the given prediction and dither offset and returns
// the value the decoder sees, which the row buffer keeps.
template <int Bytes, bool Encode, bool Lossy>
inline std::int32_t code_sample(std::int32_t prediction, std::int32_t offset, std::uint8_t* bytes,
                                std::int32_t* residual, const Lookups& t) noexcept {
    using Sample = SampleBytes<Bytes>;
    if constexpr (Encode) {
        const std::int32_t sample = Sample::load(bytes);
        if constexpr (Lossy) {
            const std::int32_t error = sample - prediction + offset;
            *residual = t.quantize[error];
            const std::int32_t value = clamp_sample(prediction + t.reconstruct[error] - offset, t.max_sample);
            Sample::store(bytes, value); // the CRC must see the pixel as it will be decoded
            return value;
        } else {
            *residual = sample - prediction;
            return sample;
        }
    } else {
        std::int32_t value;
        if constexpr (Lossy) {
            // A damaged file can carry any index; bounding it keeps every lookup inside its table.
            const std::int32_t index = std::clamp(*residual, -t.index_limit, t.index_limit);
            value = clamp_sample(prediction + t.dequantize[index] - offset, t.max_sample);
        } else {
            // Wraps rather than overflows when a damaged file lets the values run away.
            value = wrap_add(prediction, *residual);
        }
        Sample::store(bytes, value);
        return value;
    }
}

// Row 0 of the image: each sample is predicted by its left neighbour, the
// first by `first_prediction`. Pixels are PixelBytes apart, and a pixel's
// planes take consecutive dither offsets.
template <int Bytes, int PixelBytes, bool Encode, bool Lossy>
void code_top_row(std::uint8_t* bytes, std::int32_t* current, std::int32_t* residuals, const std::int32_t* offsets,
                  int width, std::int32_t first_prediction, const Lookups& t) noexcept {
    constexpr int planes = PixelBytes / Bytes;
    std::int32_t left = first_prediction;
    for (int x = 0; x < width; ++x) {
        std::int32_t offset = 0;
        if constexpr (Lossy) offset = offsets[x * planes];
        left = code_sample<Bytes, Encode, Lossy>(left, offset, bytes + x * PixelBytes, residuals + x, t);
        current[x] = left;
    }
}

// A later row of a lossless encoder: every neighbour is a known sample, so
// there is no chain from one sample to the next. The row is unpacked first
// and then predicted in one pass over whole arrays, which vectorises.
template <int Bytes, int PixelBytes>
void encode_row_lossless(const std::uint8_t* bytes, const std::int32_t* previous, std::int32_t* current,
                         std::int32_t* residuals, int width) noexcept {
    for (int x = 0; x < width; ++x) current[x] = SampleBytes<Bytes>::load(bytes + x * PixelBytes);
    residuals[0] = current[0] - predict_column0(previous[0], previous[1]);
    for (int x = 1; x < width; ++x)
        residuals[x] = current[x] - predict_med(current[x - 1], previous[x], previous[x - 1]);
}

// Any later row, predicted from the row completed before it.
template <int Bytes, int PixelBytes, bool Encode, bool Lossy>
void code_row(std::uint8_t* bytes, const std::int32_t* previous, std::int32_t* current, std::int32_t* residuals,
              const std::int32_t* offsets, int width, const Lookups& t) noexcept {
    if constexpr (Encode && !Lossy) {
        encode_row_lossless<Bytes, PixelBytes>(bytes, previous, current, residuals, width);
        return;
    }
    constexpr int planes = PixelBytes / Bytes;
    std::int32_t offset = 0;
    if constexpr (Lossy) offset = offsets[0];
    std::int32_t left =
        code_sample<Bytes, Encode, Lossy>(predict_column0(previous[0], previous[1]), offset, bytes, residuals, t);
    current[0] = left;
    for (int x = 1; x < width; ++x) {
        if constexpr (Lossy) offset = offsets[x * planes];
        const std::int32_t prediction = predict_med(left, previous[x], previous[x - 1]);
        left = code_sample<Bytes, Encode, Lossy>(prediction, offset, bytes + x * PixelBytes, residuals + x, t);
        current[x] = left;
    }
}

// Codes one strip: samples to residuals when encoding, residuals to samples
// when decoding. The planes of a row share nothing but the row's draw, so
// each is coded along the whole row in turn.
template <int Bytes, int Planes, bool Encode, bool Lossy>
void code_strip(const Strip& strip, std::uint8_t* pixels, StripPlanes& residuals, RowHistory& history,
                NearLossless& near_lossless, int width) noexcept {
    constexpr int pixel_bytes = Bytes * Planes;
    const std::ptrdiff_t row_bytes = static_cast<std::ptrdiff_t>(width) * pixel_bytes;

    Lookups t;
    const std::int32_t* dither = nullptr;
    if constexpr (Lossy) {
        t = {near_lossless.quantize_table(), near_lossless.dequantize_table(), near_lossless.reconstruct_table(),
             near_lossless.index_limit(), near_lossless.max_sample()};
        dither = near_lossless.dither_offsets();
    }

    std::array<std::int32_t*, Planes> last{};
    std::array<std::int32_t*, Planes> spare{};
    for (int p = 0; p < Planes; ++p) {
        last[p] = history.last[p];
        spare[p] = history.spare[p];
    }

    int y = 0;
    if (strip.first()) {
        // Mid-range in lossy mode; 0 in lossless mode, where max_sample is 0.
        const std::int32_t first_prediction = near_lossless.max_sample() >> 1;
        for (int p = 0; p < Planes; ++p) {
            const std::int32_t* offsets = nullptr;
            if constexpr (Lossy) offsets = dither + p;
            code_top_row<Bytes, pixel_bytes, Encode, Lossy>(pixels + p * Bytes, last[p], residuals.row(p, 0), offsets,
                                                            width, first_prediction, t);
        }
        y = 1;
    }
    for (; y < strip.rows; ++y) {
        const std::int32_t start = near_lossless.random_draw() % dither_start_count;
        std::uint8_t* const row = pixels + y * row_bytes;
        for (int p = 0; p < Planes; ++p) {
            // The new row goes into the older buffer; then the two swap roles.
            std::int32_t* const previous = last[p];
            std::int32_t* const current = spare[p];
            const std::int32_t* offsets = nullptr;
            if constexpr (Lossy) offsets = dither + start + p;
            code_row<Bytes, pixel_bytes, Encode, Lossy>(row + p * Bytes, previous, current, residuals.row(p, y),
                                                        offsets, width, t);
            last[p] = current;
            spare[p] = previous;
        }
    }

    for (int p = 0; p < Planes; ++p) {
        history.last[p] = last[p];
        history.spare[p] = spare[p];
    }
}

// Encoding: the quantizer's tables end at max_sample, so a deeper two-byte
// sample would index past them.
template <int Bytes, int Planes, bool Lossy>
void predict(const Strip& strip, std::uint8_t* pixels, StripPlanes& residuals, RowHistory& history,
             NearLossless& near_lossless, int width) {
    if constexpr (Bytes == 2 && Lossy) {
        const std::size_t count = static_cast<std::size_t>(strip.rows) * static_cast<std::size_t>(width) * 2;
        if (near_lossless.max_sample() < 0xFFFF) {
            for (std::size_t i = 0; i < count; i += 2)
                if (SampleBytes<2>::load(pixels + i) > near_lossless.max_sample()) fail(ErrorCode::invalid_parameters);
        }
    }
    code_strip<Bytes, Planes, true, Lossy>(strip, pixels, residuals, history, near_lossless, width);
}

template <int Bytes, int Planes, bool Lossy>
void reconstruct(const Strip& strip, std::uint8_t* pixels, StripPlanes& residuals, RowHistory& history,
                 NearLossless& near_lossless, int width) {
    code_strip<Bytes, Planes, false, Lossy>(strip, pixels, residuals, history, near_lossless, width);
}

template <bool Encode, bool Lossy>
StripPredictor strip_function_for(int bytes_per_pixel) noexcept {
    switch (bytes_per_pixel) {
    case 1: return Encode ? predict<1, 1, Lossy> : reconstruct<1, 1, Lossy>;
    case 2: return Encode ? predict<2, 1, Lossy> : reconstruct<2, 1, Lossy>;
    default: assert(bytes_per_pixel == 3); return Encode ? predict<1, 3, Lossy> : reconstruct<1, 3, Lossy>;
    }
}

} // namespace

StripPredictor strip_predictor_for(int bytes_per_pixel, bool lossy) noexcept {
    return lossy ? strip_function_for<true, true>(bytes_per_pixel) : strip_function_for<true, false>(bytes_per_pixel);
}

StripPredictor strip_reconstructor_for(int bytes_per_pixel, bool lossy) noexcept {
    return lossy ? strip_function_for<false, true>(bytes_per_pixel) : strip_function_for<false, false>(bytes_per_pixel);
}

} // namespace vrk
