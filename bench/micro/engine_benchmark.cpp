// Micro-benchmarks of the engines outside the entropy coder: the strip
// wavelet transform, pixel input/output with the colour transform and
// padding, the graphics strip coders (prediction without entropy coding) and
// the CRC. Every case works on one full strip of a 2272-wide image.
#include <benchmark/benchmark.h>

#include <cstddef>
#include <cstdint>
#include <random>
#include <span>
#include <vector>

#include "codec/codec_context.hpp"
#include "frontend/byte_io.hpp"
#include "frontend/crc.hpp"
#include "graphics/near_lossless.hpp"
#include "graphics/strip_coders.hpp"
#include "wavelet/pixel_io.hpp"
#include "wavelet/strip_transform.hpp"

namespace {

using namespace vrk;

constexpr int bench_width = 2272;
constexpr int bench_rows = 32;

// Smooth ramps with noise: the kind of values a photograph gives.
std::vector<std::uint8_t> photo_bytes(std::size_t count) {
    std::vector<std::uint8_t> bytes(count);
    std::mt19937 random(7);
    for (std::size_t i = 0; i < count; ++i) bytes[i] = static_cast<std::uint8_t>((i / 7) % 200 + random() % 40);
    return bytes;
}

CodecContext make_context(int bytes_per_pixel, int loss_factor, bool graphics) {
    CodecContext context;
    ImageParameters& image = context.image;
    image.width = bench_width;
    image.height = 1024;
    image.bytes_per_pixel = bytes_per_pixel;
    image.plane_count = bytes_per_pixel == 3 ? 3 : 1;
    image.bits_per_sample = 8;
    image.loss_factor = loss_factor;
    image.format_index = format_raw;
    image.mode_flags = graphics ? mode_graphics : 0u;
    context.buffers = allocate_codec_buffers(image);
    context.buffers.strip_rows = bench_rows;
    context.buffers.strip_rows_padded = bench_rows;
    return context;
}

class NullSink final : public ByteSink {
public:
    std::size_t write(const std::uint8_t* source, std::size_t n) override {
        benchmark::DoNotOptimize(source);
        return n;
    }
};

std::int64_t strip_samples() { return std::int64_t{bench_rows} * bench_width; }

void fill_plane(CodecContext& context) {
    const std::vector<std::uint8_t> bytes = photo_bytes(static_cast<std::size_t>(strip_samples()));
    for (int r = 0; r < bench_rows; ++r)
        for (int c = 0; c < bench_width; ++c)
            context.buffers.row(0, r)[c] = bytes[static_cast<std::size_t>(r) * bench_width + c];
}

// One plane of one strip (not the first, so the column carries are read).
void BM_ForwardTransform(benchmark::State& state) {
    CodecContext context = make_context(1, 0, false);
    fill_plane(context);
    const PlaneStrip strip{context.buffers.plane_records[0], context.buffers.padded_width, bench_rows, bench_width};
    for (auto _ : state) {
        forward_transform(strip, 1, context.buffers.work_line_a);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * strip_samples());
}
BENCHMARK(BM_ForwardTransform);

void BM_InverseTransform(benchmark::State& state) {
    CodecContext context = make_context(1, 0, false);
    fill_plane(context);
    const PlaneStrip strip{context.buffers.plane_records[0], context.buffers.padded_width, bench_rows, bench_width};
    forward_transform(strip, 1, context.buffers.work_line_a);
    for (auto _ : state) {
        inverse_transform(strip, 1, context.buffers.work_line_a);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * strip_samples());
}
BENCHMARK(BM_InverseTransform);

// Pixel input of one strip plus padding; range(0) is bytes per pixel, range(1) the loss factor.
void BM_ReadStrip(benchmark::State& state) {
    const int bytes_per_pixel = static_cast<int>(state.range(0));
    CodecContext context = make_context(bytes_per_pixel, static_cast<int>(state.range(1)), false);
    context.buffers.strip_rows = bench_rows - 3; // padding has rows and columns to fill
    context.buffers.strip_rows_padded = bench_rows;
    context.image.width = bench_width - 5;
    const std::vector<std::uint8_t> bytes =
        photo_bytes(static_cast<std::size_t>(bench_rows) * bench_width * bytes_per_pixel);
    MemorySource source{std::span<const std::uint8_t>(bytes)};
    std::uint32_t crc = CRC_SEED;
    for (auto _ : state) {
        source.rewind();
        crc = read_strip(crc, source, context);
        pad_strip(context);
    }
    benchmark::DoNotOptimize(crc);
    state.SetBytesProcessed(state.iterations() * (bench_rows - 3) * (bench_width - 5) * bytes_per_pixel);
}
BENCHMARK(BM_ReadStrip)->Args({1, 0})->Args({3, 0})->Args({3, 4});

void BM_WriteStrip(benchmark::State& state) {
    const int bytes_per_pixel = static_cast<int>(state.range(0));
    CodecContext context = make_context(bytes_per_pixel, static_cast<int>(state.range(1)), false);
    for (int p = 0; p < context.image.plane_count; ++p) {
        const std::vector<std::uint8_t> bytes = photo_bytes(static_cast<std::size_t>(strip_samples()));
        for (int r = 0; r < bench_rows; ++r)
            for (int c = 0; c < bench_width; ++c)
                context.buffers.row(p, r)[c] = bytes[static_cast<std::size_t>(r) * bench_width + c] - 100 * (p > 0);
    }
    NullSink sink;
    std::uint32_t crc = CRC_SEED;
    for (auto _ : state) crc = write_strip(crc, sink, context);
    benchmark::DoNotOptimize(crc);
    state.SetBytesProcessed(state.iterations() * strip_samples() * bytes_per_pixel);
}
BENCHMARK(BM_WriteStrip)->Args({1, 0})->Args({3, 0})->Args({3, 4});

// The graphics strip coders without the entropy coder: range(0) bytes per
// pixel, range(1) the loss factor. Encoding leaves the residuals that the
// decoding case then turns back into pixels.
NearLossless make_near_lossless(const CodecContext& context) {
    const ImageParameters& image = context.image;
    return image.loss_factor == 0 ? NearLossless()
                                  : NearLossless(image.width, image.loss_factor, image.bits_per_sample);
}

void BM_GraphicsEncode(benchmark::State& state) {
    const int bytes_per_pixel = static_cast<int>(state.range(0));
    CodecContext context = make_context(bytes_per_pixel, static_cast<int>(state.range(1)), true);
    NearLossless near_lossless = make_near_lossless(context);
    const std::vector<std::uint8_t> bytes =
        photo_bytes(static_cast<std::size_t>(strip_samples()) * bytes_per_pixel);
    MemorySource source{std::span<const std::uint8_t>(bytes)};
    ImageFile file{&source, nullptr};
    const StripCoder coder = strip_coder_for(bytes_per_pixel, true);
    std::uint32_t crc = CRC_SEED;
    for (auto _ : state) {
        source.rewind();
        crc = coder(1, crc, file, context, near_lossless);
    }
    benchmark::DoNotOptimize(crc);
    state.SetBytesProcessed(state.iterations() * strip_samples() * bytes_per_pixel);
}
BENCHMARK(BM_GraphicsEncode)->Args({1, 0})->Args({1, 3})->Args({3, 0})->Args({3, 3});

void BM_GraphicsDecode(benchmark::State& state) {
    const int bytes_per_pixel = static_cast<int>(state.range(0));
    CodecContext context = make_context(bytes_per_pixel, static_cast<int>(state.range(1)), true);
    NearLossless near_lossless = make_near_lossless(context);
    const std::vector<std::uint8_t> bytes =
        photo_bytes(static_cast<std::size_t>(strip_samples()) * bytes_per_pixel);
    MemorySource source{std::span<const std::uint8_t>(bytes)};
    ImageFile encode_file{&source, nullptr};
    strip_coder_for(bytes_per_pixel, true)(1, CRC_SEED, encode_file, context, near_lossless);
    NullSink sink;
    ImageFile file{nullptr, &sink};
    const StripCoder coder = strip_coder_for(bytes_per_pixel, false);
    std::uint32_t crc = CRC_SEED;
    for (auto _ : state) crc = coder(1, crc, file, context, near_lossless);
    benchmark::DoNotOptimize(crc);
    state.SetBytesProcessed(state.iterations() * strip_samples() * bytes_per_pixel);
}
BENCHMARK(BM_GraphicsDecode)->Args({1, 0})->Args({1, 3})->Args({3, 0})->Args({3, 3});

void BM_Crc(benchmark::State& state) {
    const std::vector<std::uint8_t> bytes = photo_bytes(static_cast<std::size_t>(state.range(0)));
    std::uint32_t crc = CRC_SEED;
    for (auto _ : state) crc = crc_update(crc, bytes.data(), bytes.size());
    benchmark::DoNotOptimize(crc);
    state.SetBytesProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_Crc)->Arg(13)->Arg(64 * 1024);

} // namespace
