#include "graphics/strip_coders.hpp"

#include <algorithm>
#include <array>
#include <cstddef>

#include "frontend/crc.hpp"
#include "frontend/error.hpp"
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
            value = static_cast<std::int32_t>(static_cast<std::uint32_t>(prediction) +
                                              static_cast<std::uint32_t>(*residual));
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
    for (int x = 1; x < width; ++x) residuals[x] = current[x] - predict_med(current[x - 1], previous[x], previous[x - 1]);
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

// Codes the strip staged in the code buffer: samples to residuals when
// encoding, residuals to samples when decoding. The planes of a row share
// nothing but the row's draw, so each is coded along the whole row in turn.
template <int Bytes, int Planes, bool Encode, bool Lossy>
void code_strip(int strip_index, CodecContext& context, NearLossless& near_lossless) noexcept {
    constexpr int pixel_bytes = Bytes * Planes;
    CodecBuffers& buffers = context.buffers;
    const int width = context.image.width;
    const std::ptrdiff_t row_bytes = static_cast<std::ptrdiff_t>(width) * pixel_bytes;
    std::uint8_t* const pixels = buffers.code_buffer.data();

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
        last[p] = buffers.plane_records[p].last_row;
        spare[p] = buffers.plane_records[p].spare_row;
    }

    int y = 0;
    if (strip_index == 0) {
        // Mid-range in lossy mode; 0 in lossless mode, where max_sample is 0.
        const std::int32_t first_prediction = near_lossless.max_sample() >> 1;
        for (int p = 0; p < Planes; ++p) {
            const std::int32_t* offsets = nullptr;
            if constexpr (Lossy) offsets = dither + p;
            code_top_row<Bytes, pixel_bytes, Encode, Lossy>(pixels + p * Bytes, last[p], buffers.row(p, 0), offsets,
                                                            width, first_prediction, t);
        }
        y = 1;
    }
    for (; y < buffers.strip_rows; ++y) {
        const std::int32_t start = near_lossless.random_draw() % dither_start_count;
        std::uint8_t* const row = pixels + y * row_bytes;
        for (int p = 0; p < Planes; ++p) {
            // The new row goes into the older buffer; then the two swap roles.
            std::int32_t* const previous = last[p];
            std::int32_t* const current = spare[p];
            const std::int32_t* offsets = nullptr;
            if constexpr (Lossy) offsets = dither + start + p;
            code_row<Bytes, pixel_bytes, Encode, Lossy>(row + p * Bytes, previous, current, buffers.row(p, y), offsets,
                                                        width, t);
            last[p] = current;
            spare[p] = previous;
        }
    }

    for (int p = 0; p < Planes; ++p) {
        buffers.plane_records[p].last_row = last[p];
        buffers.plane_records[p].spare_row = spare[p];
    }
}

template <int Bytes, int Planes, bool Encode>
void code_strip_samples(int strip_index, CodecContext& context, NearLossless& near_lossless) noexcept {
    if (near_lossless.lossy())
        code_strip<Bytes, Planes, Encode, true>(strip_index, context, near_lossless);
    else
        code_strip<Bytes, Planes, Encode, false>(strip_index, context, near_lossless);
}

std::size_t strip_bytes(const CodecContext& context, int bytes_per_pixel) noexcept {
    return static_cast<std::size_t>(context.buffers.strip_rows) * static_cast<std::size_t>(context.image.width) *
           static_cast<std::size_t>(bytes_per_pixel);
}

template <int Bytes, int Planes>
std::uint32_t encode_strip(int strip_index, std::uint32_t crc, ImageFile& file, CodecContext& context,
                           NearLossless& near_lossless) {
    const std::size_t count = strip_bytes(context, Bytes * Planes);
    std::uint8_t* const pixels = context.buffers.code_buffer.data();
    file.source->read_exact(pixels, count);
    if constexpr (Bytes == 2) {
        // The quantizer's tables end at max_sample; a deeper sample would index past them.
        if (near_lossless.lossy() && near_lossless.max_sample() < 0xFFFF) {
            for (std::size_t i = 0; i < count; i += 2)
                if (SampleBytes<2>::load(pixels + i) > near_lossless.max_sample()) fail(ErrorCode::invalid_parameters);
        }
    }
    code_strip_samples<Bytes, Planes, true>(strip_index, context, near_lossless);
    return crc_update(crc, pixels, count);
}

template <int Bytes, int Planes>
std::uint32_t decode_strip(int strip_index, std::uint32_t crc, ImageFile& file, CodecContext& context,
                           NearLossless& near_lossless) {
    const std::size_t count = strip_bytes(context, Bytes * Planes);
    const std::uint8_t* const pixels = context.buffers.code_buffer.data();
    code_strip_samples<Bytes, Planes, false>(strip_index, context, near_lossless);
    file.sink->write_exact(pixels, count);
    return crc_update(crc, pixels, count);
}

} // namespace

std::uint32_t encode_strip_gray8(int strip_index, std::uint32_t crc, ImageFile& file, CodecContext& context,
                                 NearLossless& near_lossless) {
    return encode_strip<1, 1>(strip_index, crc, file, context, near_lossless);
}

std::uint32_t decode_strip_gray8(int strip_index, std::uint32_t crc, ImageFile& file, CodecContext& context,
                                 NearLossless& near_lossless) {
    return decode_strip<1, 1>(strip_index, crc, file, context, near_lossless);
}

std::uint32_t encode_strip_gray16(int strip_index, std::uint32_t crc, ImageFile& file, CodecContext& context,
                                  NearLossless& near_lossless) {
    return encode_strip<2, 1>(strip_index, crc, file, context, near_lossless);
}

std::uint32_t decode_strip_gray16(int strip_index, std::uint32_t crc, ImageFile& file, CodecContext& context,
                                  NearLossless& near_lossless) {
    return decode_strip<2, 1>(strip_index, crc, file, context, near_lossless);
}

std::uint32_t encode_strip_rgb24(int strip_index, std::uint32_t crc, ImageFile& file, CodecContext& context,
                                 NearLossless& near_lossless) {
    return encode_strip<1, 3>(strip_index, crc, file, context, near_lossless);
}

std::uint32_t decode_strip_rgb24(int strip_index, std::uint32_t crc, ImageFile& file, CodecContext& context,
                                 NearLossless& near_lossless) {
    return decode_strip<1, 3>(strip_index, crc, file, context, near_lossless);
}

StripCoder strip_coder_for(int bytes_per_pixel, bool encoding) {
    switch (bytes_per_pixel) {
    case 1: return encoding ? encode_strip_gray8 : decode_strip_gray8;
    case 2: return encoding ? encode_strip_gray16 : decode_strip_gray16;
    case 3: return encoding ? encode_strip_rgb24 : decode_strip_rgb24;
    default: fail(ErrorCode::invalid_parameters);
    }
}

} // namespace vrk
