// Micro-benchmarks of the engines outside the entropy coder: the strip
// wavelet transform, each engine's pixel stage (pixel bytes to strip planes
// and back, with the colour transform, padding, quantization, prediction and
// reconstruction) and the CRC. Every case works on one full strip of a 2272-wide image.
#include <benchmark/benchmark.h>

#include <cstddef>
#include <cstdint>
#include <random>
#include <type_traits>
#include <vector>

#include "core/crc.hpp"
#include "core/image_parameters.hpp"
#include "core/strip_planes.hpp"
#include "graphics/graphics_engine.hpp"
#include "wavelet/strip_transform.hpp"
#include "wavelet/wavelet_engine.hpp"

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

ImageParameters make_image(int bytes_per_pixel, int loss_factor, bool graphics) {
    ImageParameters image;
    image.width = bench_width;
    image.height = 1024;
    image.bytes_per_pixel = bytes_per_pixel;
    image.bits_per_sample = 8;
    image.loss_factor = loss_factor;
    image.format = ImageFormat::raw;
    image.mode_flags = graphics ? mode_graphics : 0u;
    return image;
}

std::int64_t strip_samples() { return std::int64_t{bench_rows} * bench_width; }

// A strip in the middle of the image, so the column carries and row history are used.
constexpr Strip middle_strip{1, bench_rows, bench_rows, false};

// One plane of one strip (not the first, so the column carries are read).
void BM_ForwardTransform(benchmark::State& state) {
    StripPlanes planes(1, bench_width);
    const std::vector<std::uint8_t> bytes = photo_bytes(static_cast<std::size_t>(strip_samples()));
    for (int r = 0; r < bench_rows; ++r)
        for (int c = 0; c < bench_width; ++c)
            planes.row(0, r)[c] = bytes[static_cast<std::size_t>(r) * bench_width + c];
    std::vector<std::int32_t> carry_rows(2 * max_transform_levels * bench_width), scratch(bench_width);
    ColumnCarries carries;
    for (int level = 0; level < max_transform_levels; ++level) {
        carries.low[level] = carry_rows.data() + (2 * level) * bench_width;
        carries.high[level] = carry_rows.data() + (2 * level + 1) * bench_width;
    }
    const PlaneStrip strip{planes.rows(0).base, planes.stride(), bench_rows, bench_width, carries};
    const bool inverse = state.range(0) != 0;
    if (inverse) forward_transform(strip, 1, scratch.data());
    for (auto _ : state) {
        if (inverse)
            inverse_transform(strip, 1, scratch.data());
        else
            forward_transform(strip, 1, scratch.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * strip_samples());
}
BENCHMARK(BM_ForwardTransform)->Arg(0)->Name("BM_Transform/forward");
BENCHMARK(BM_ForwardTransform)->Arg(1)->Name("BM_Transform/inverse");

// An engine's whole pixel stage on one strip: range(0) bytes per pixel,
// range(1) the loss factor (8-bit samples). The inverse takes what forward left.
template <class Engine, bool Forward>
void BM_PixelStage(benchmark::State& state) {
    const int bytes_per_pixel = static_cast<int>(state.range(0));
    const ImageParameters image =
        make_image(bytes_per_pixel, static_cast<int>(state.range(1)), std::is_same_v<Engine, GraphicsEngine>);
    Engine engine(image);
    StripPlanes planes(image.plane_count(), Engine::plane_stride(image));
    std::vector<std::uint8_t> bytes = photo_bytes(static_cast<std::size_t>(strip_samples()) * bytes_per_pixel);
    const StripSamples samples{bytes.data()};
    engine.forward(Strip{0, bench_rows, bench_rows, false}, samples, planes);
    for (auto _ : state) {
        if constexpr (Forward)
            engine.forward(middle_strip, samples, planes);
        else
            engine.inverse(middle_strip, planes, samples);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * strip_samples() * bytes_per_pixel);
}
BENCHMARK(BM_PixelStage<WaveletEngine, true>)->Args({1, 0})->Args({3, 0})->Args({3, 4})->Name("BM_Wavelet/forward");
BENCHMARK(BM_PixelStage<WaveletEngine, false>)->Args({1, 0})->Args({3, 0})->Args({3, 4})->Name("BM_Wavelet/inverse");
BENCHMARK(BM_PixelStage<GraphicsEngine, true>)
    ->Args({1, 0})
    ->Args({1, 3})
    ->Args({3, 0})
    ->Args({3, 3})
    ->Name("BM_Graphics/forward");
BENCHMARK(BM_PixelStage<GraphicsEngine, false>)
    ->Args({1, 0})
    ->Args({1, 3})
    ->Args({3, 0})
    ->Args({3, 3})
    ->Name("BM_Graphics/inverse");

void BM_Crc(benchmark::State& state) {
    const std::vector<std::uint8_t> bytes = photo_bytes(static_cast<std::size_t>(state.range(0)));
    std::uint32_t crc = CRC_SEED;
    for (auto _ : state) crc = crc_update(crc, bytes.data(), bytes.size());
    benchmark::DoNotOptimize(crc);
    state.SetBytesProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_Crc)->Arg(13)->Arg(64 * 1024);

} // namespace
