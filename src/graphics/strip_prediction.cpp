#include "graphics/strip_prediction.hpp"

#include <algorithm>
#include <array>
#include <cassert>
#include <cstddef>
#include <utility>

#include "core/error.hpp"
#include "core/wrapping_arithmetic.hpp"
#include "graphics/predictor.hpp"

namespace vrk {
namespace {

// Only the low 8 or 16 bits of a value are stored.
template <class Sample>
inline void store(Sample* p, std::int32_t v) noexcept {
    *p = static_cast<Sample>(v);
}

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

// Predicts one sample (or, decoding, its inverse) with the given prediction
// and dither offset and returns the value the decoder sees, which the row
// buffer keeps.
template <class Sample, bool Encode, bool Lossy>
inline std::int32_t predict_sample(std::int32_t prediction, std::int32_t offset, Sample* at, std::int32_t* residual,
                                   const Lookups& t) noexcept {
    if constexpr (Encode) {
        const std::int32_t sample = *at;
        if constexpr (Lossy) {
            const std::int32_t error = sample - prediction + offset;
            *residual = t.quantize[error];
            const std::int32_t value = clamp_sample(prediction + t.reconstruct[error] - offset, t.max_sample);
            store(at, value); // the CRC must see the sample as it will be decoded
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
        store(at, value);
        return value;
    }
}

// Row 0 of the image: each sample is predicted by its left neighbour, the
// first by `first_prediction`. Pixels are Planes samples apart, and a
// pixel's planes take consecutive dither offsets.
template <class Sample, int Planes, bool Encode, bool Lossy>
void predict_top_row(Sample* samples, std::int32_t* current, std::int32_t* residuals, const std::int32_t* offsets,
                     int width, std::int32_t first_prediction, const Lookups& t) noexcept {
    std::int32_t left = first_prediction;
    for (int x = 0; x < width; ++x) {
        std::int32_t offset = 0;
        if constexpr (Lossy) offset = offsets[x * Planes];
        left = predict_sample<Sample, Encode, Lossy>(left, offset, samples + x * Planes, residuals + x, t);
        current[x] = left;
    }
}

// A later row of a lossless encoder: every neighbour is a known sample, so
// there is no chain from one sample to the next. The row is unpacked first
// and then predicted in one pass over whole arrays, which vectorises.
template <class Sample, int Planes>
void encode_row_lossless(const Sample* samples, const std::int32_t* previous, std::int32_t* current,
                         std::int32_t* residuals, int width) noexcept {
    for (int x = 0; x < width; ++x) current[x] = samples[x * Planes];
    residuals[0] = current[0] - predict_column0(previous[0], previous[1]);
    for (int x = 1; x < width; ++x)
        residuals[x] = current[x] - predict_med(current[x - 1], previous[x], previous[x - 1]);
}

// Per plane, the rows one image row reads and writes.
template <int Planes>
struct PlaneRows {
    std::array<const std::int32_t*, Planes> previous;
    std::array<std::int32_t*, Planes> current;
    std::array<std::int32_t*, Planes> residuals;
};

// Any later row, predicted from the row completed before it, all planes in
// one pass: each plane's chain from one sample to the next is serial, but
// the chains of a pixel's planes are independent, so the processor overlaps
// them. `offsets` is the row's first dither offset; a pixel's planes take
// consecutive ones.
template <class Sample, int Planes, bool Encode, bool Lossy>
void predict_row(Sample* samples, const PlaneRows<Planes>& rows, const std::int32_t* offsets, int width,
                 const Lookups& t) noexcept {
    if constexpr (Encode && !Lossy) {
        for (int p = 0; p < Planes; ++p)
            encode_row_lossless<Sample, Planes>(samples + p, rows.previous[p], rows.current[p], rows.residuals[p],
                                                width);
        return;
    }
    std::array<std::int32_t, Planes> left;
    // The upper-left neighbour is the previous upper one, kept in a register:
    // the stores to current and the samples could alias previous, so the
    // compiler would otherwise load it again for every use.
    std::array<std::int32_t, Planes> above_left;
    for (int p = 0; p < Planes; ++p) {
        const std::int32_t* const previous = rows.previous[p];
        std::int32_t offset = 0;
        if constexpr (Lossy) offset = offsets[p];
        left[p] = predict_sample<Sample, Encode, Lossy>(predict_column0(previous[0], previous[1]), offset, samples + p,
                                                        rows.residuals[p], t);
        rows.current[p][0] = left[p];
        above_left[p] = previous[0];
    }
    for (int x = 1; x < width; ++x) {
        for (int p = 0; p < Planes; ++p) {
            std::int32_t offset = 0;
            if constexpr (Lossy) offset = offsets[x * Planes + p];
            const std::int32_t above = rows.previous[p][x];
            const std::int32_t prediction = predict_med(left[p], above, above_left[p]);
            above_left[p] = above;
            left[p] = predict_sample<Sample, Encode, Lossy>(prediction, offset, samples + x * Planes + p,
                                                            rows.residuals[p] + x, t);
            rows.current[p][x] = left[p];
        }
    }
}

// Predicts one strip: samples to residuals when encoding, residuals to
// samples when decoding. The planes of a row share nothing but the row's
// draw.
template <class Sample, int Planes, bool Encode, bool Lossy>
void predict_strip(const Strip& strip, Sample* samples, StripPlanes& residuals, RowHistory& history,
                   NearLossless& near_lossless, int width) noexcept {
    const std::ptrdiff_t row_samples = static_cast<std::ptrdiff_t>(width) * Planes;

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
            predict_top_row<Sample, Planes, Encode, Lossy>(samples + p, last[p], residuals.row(p, 0), offsets, width,
                                                           first_prediction, t);
        }
        y = 1;
    }
    for (; y < strip.rows; ++y) {
        const std::int32_t start = near_lossless.random_draw() % dither_start_count;
        // The new row goes into the older buffer; then the two swap roles.
        PlaneRows<Planes> rows;
        for (int p = 0; p < Planes; ++p) {
            rows.previous[p] = last[p];
            rows.current[p] = spare[p];
            rows.residuals[p] = residuals.row(p, y);
        }
        const std::int32_t* offsets = nullptr;
        if constexpr (Lossy) offsets = dither + start;
        predict_row<Sample, Planes, Encode, Lossy>(samples + y * row_samples, rows, offsets, width, t);
        std::swap(last, spare);
    }

    for (int p = 0; p < Planes; ++p) {
        history.last[p] = last[p];
        history.spare[p] = spare[p];
    }
}

// Encoding: the quantizer's tables end at max_sample, so a deeper 16-bit
// sample would index past them.
template <class Sample, int Planes, bool Lossy>
void forward(const Strip& strip, StripSamples samples, StripPlanes& residuals, RowHistory& history,
             NearLossless& near_lossless, int width) {
    Sample* const s = samples.as<Sample>();
    if constexpr (sizeof(Sample) == 2 && Lossy) {
        const std::size_t count = static_cast<std::size_t>(strip.rows) * static_cast<std::size_t>(width);
        if (near_lossless.max_sample() < 0xFFFF) {
            for (std::size_t i = 0; i < count; ++i)
                if (s[i] > near_lossless.max_sample()) fail(ErrorCode::invalid_parameters);
        }
    }
    predict_strip<Sample, Planes, true, Lossy>(strip, s, residuals, history, near_lossless, width);
}

template <class Sample, int Planes, bool Lossy>
void inverse(const Strip& strip, StripSamples samples, StripPlanes& residuals, RowHistory& history,
             NearLossless& near_lossless, int width) {
    predict_strip<Sample, Planes, false, Lossy>(strip, samples.as<Sample>(), residuals, history, near_lossless, width);
}

template <bool Encode, bool Lossy>
StripPredictor strip_function_for(int bytes_per_pixel) noexcept {
    using std::uint16_t, std::uint8_t;
    switch (bytes_per_pixel) {
    case 1: return Encode ? forward<uint8_t, 1, Lossy> : inverse<uint8_t, 1, Lossy>;
    case 2: return Encode ? forward<uint16_t, 1, Lossy> : inverse<uint16_t, 1, Lossy>;
    default: assert(bytes_per_pixel == 3); return Encode ? forward<uint8_t, 3, Lossy> : inverse<uint8_t, 3, Lossy>;
    }
}

} // namespace

StripPredictor strip_predictor_for(int bytes_per_pixel, bool lossy) noexcept {
    return lossy ? strip_function_for<true, true>(bytes_per_pixel) : strip_function_for<true, false>(bytes_per_pixel);
}

StripPredictor strip_inverse_for(int bytes_per_pixel, bool lossy) noexcept {
    return lossy ? strip_function_for<false, true>(bytes_per_pixel) : strip_function_for<false, false>(bytes_per_pixel);
}

} // namespace vrk
