// Micro-benchmarks of the entropy coder: whole strips of realistic values
// coded and decoded through the public EntropyCoder calls, in the two layouts
// the engines use (one plane per strip in the graphics engine, the wavelet pyramid
// of plane + detail bands in the wavelet engine), with arithmetic and prefix coding.
//
// The counter "values" is values coded per second.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "codec/compressed_stream.hpp"
#include "core/byte_io.hpp"
#include "entropy/band_geometry.hpp"
#include "entropy/entropy_coder.hpp"

namespace {

using vrk::EntropyCoder;

constexpr int strip_rows = 32;
constexpr int strip_cols = 2272; // a 2268-pixel photograph padded to a multiple of 8
constexpr int strip_count = 8;   // strips per run: the models adapt across them

struct Call {
    int orientation; // 0: plane coder
    int rows;
    int cols;
};

// Laplacian-like integers: a geometric magnitude of mean `scale` with a random sign.
std::int32_t laplacian(std::mt19937& rng, double scale) {
    std::uniform_real_distribution<double> u(0.0, 1.0);
    const double m = std::floor(-scale * std::log(1.0 - u(rng)));
    const auto v = static_cast<std::int32_t>(std::min(m, 30000.0));
    return (rng() & 1) != 0 ? -v : v;
}

// The values of a run and the calls that code one strip of them.
struct Workload {
    std::vector<Call> calls;
    std::vector<std::vector<std::int32_t>> strips; // strip_rows x strip_cols each
    std::size_t values_per_strip = 0;
};

// Graphics layout: one plane of prediction residuals per strip.
Workload plane_workload() {
    Workload w;
    w.calls = {{0, strip_rows, strip_cols}};
    w.values_per_strip = static_cast<std::size_t>(strip_rows) * strip_cols;
    std::mt19937 rng(7);
    for (int s = 0; s < strip_count; ++s) {
        std::vector<std::int32_t> v(w.values_per_strip);
        for (auto& x : v) x = laplacian(rng, 4.0);
        w.strips.push_back(std::move(v));
    }
    return w;
}

// Wavelet layout: a low-pass corner of large values, coarse detail bands of
// middling and fine detail bands of small coefficients.
Workload wavelet_workload() {
    Workload w;
    const int h = strip_rows / 4;
    const int c = strip_cols / 4;
    w.calls = {{0, h, c}, {1, h, c}, {2, h, c}, {3, h, c}, {1, 2 * h, 2 * c}, {2, 2 * h, 2 * c}, {3, 2 * h, 2 * c}};
    std::mt19937 rng(11);
    for (int s = 0; s < strip_count; ++s) {
        std::vector<std::int32_t> v(static_cast<std::size_t>(strip_rows) * strip_cols);
        for (int r = 0; r < strip_rows; ++r)
            for (int col = 0; col < strip_cols; ++col) {
                double scale = 1.5; // finest bands
                if (r < h && col < c)
                    scale = 60.0;
                else if (r < 2 * h && col < 2 * c)
                    scale = 6.0;
                v[static_cast<std::size_t>(r) * strip_cols + col] = laplacian(rng, scale);
            }
        w.strips.push_back(std::move(v));
    }
    for (const Call& call : w.calls) w.values_per_strip += static_cast<std::size_t>(call.rows) * call.cols;
    return w;
}

// One strip's calls, as the engines make them.
void code_strip(EntropyCoder& coder, const Workload& w, std::int32_t* values) {
    const vrk::StripRows rows{values, strip_cols};
    for (const Call& call : w.calls) {
        if (call.orientation == 0)
            coder.code_plane(rows, call.rows, call.cols);
        else
            coder.code_band(call.orientation, rows, call.rows, call.cols);
    }
}

EntropyCoder::StripLimits limits_of(const Workload& w) { return {strip_cols, w.values_per_strip}; }

// A whole encoding run; returns the compressed bytes.
std::vector<std::uint8_t> encode_run(const Workload& w, bool fast, std::vector<std::int32_t>& scratch) {
    vrk::MemorySink sink;
    vrk::CompressedWriter writer(sink);
    EntropyCoder coder(EntropyCoder::Direction::encode, fast, 8, limits_of(w));
    for (const auto& strip : w.strips) {
        scratch = strip;
        coder.begin_strip();
        code_strip(coder, w, scratch.data());
        writer.write_strip(coder.finish_strip());
    }
    writer.finish(0);
    return sink.take();
}

// A whole decoding run; returns whether every strip came back unchanged
// (when `check` is set).
bool decode_run(const Workload& w, bool fast, const std::vector<std::uint8_t>& compressed,
                std::vector<std::int32_t>& scratch, bool check) {
    vrk::MemorySource source(compressed);
    vrk::CompressedReader reader(source);
    EntropyCoder coder(EntropyCoder::Direction::decode, fast, 8, limits_of(w));
    bool same = true;
    for (const auto& strip : w.strips) {
        reader.read_strip(coder.code_buffer());
        coder.begin_strip();
        code_strip(coder, w, scratch.data());
        coder.finish_strip();
        if (check) same = same && scratch == strip;
    }
    reader.finish(0);
    benchmark::DoNotOptimize(scratch.data());
    return same;
}

void run(benchmark::State& state, const Workload& w, bool fast, bool decode) {
    std::vector<std::int32_t> scratch(static_cast<std::size_t>(strip_rows) * strip_cols);
    const std::vector<std::uint8_t> compressed = encode_run(w, fast, scratch);
    if (!decode_run(w, fast, compressed, scratch, true)) {
        state.SkipWithError("decoded values differ");
        return;
    }
    for (auto _ : state) {
        if (decode)
            decode_run(w, fast, compressed, scratch, false);
        else
            benchmark::DoNotOptimize(encode_run(w, fast, scratch).data());
    }
    const double values = static_cast<double>(w.values_per_strip) * strip_count;
    state.counters["values"] = benchmark::Counter(values, benchmark::Counter::kIsIterationInvariantRate);
    state.counters["bits/value"] = 8.0 * static_cast<double>(compressed.size()) / values;
}

const Workload& plane() {
    static const Workload w = plane_workload();
    return w;
}
const Workload& wavelet() {
    static const Workload w = wavelet_workload();
    return w;
}

void BM_ArithPlaneEncode(benchmark::State& s) { run(s, plane(), false, false); }
void BM_ArithPlaneDecode(benchmark::State& s) { run(s, plane(), false, true); }
void BM_ArithWaveletEncode(benchmark::State& s) { run(s, wavelet(), false, false); }
void BM_ArithWaveletDecode(benchmark::State& s) { run(s, wavelet(), false, true); }
void BM_PrefixPlaneEncode(benchmark::State& s) { run(s, plane(), true, false); }
void BM_PrefixPlaneDecode(benchmark::State& s) { run(s, plane(), true, true); }
void BM_PrefixWaveletEncode(benchmark::State& s) { run(s, wavelet(), true, false); }
void BM_PrefixWaveletDecode(benchmark::State& s) { run(s, wavelet(), true, true); }

} // namespace

BENCHMARK(BM_ArithPlaneEncode)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ArithPlaneDecode)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ArithWaveletEncode)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ArithWaveletDecode)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PrefixPlaneEncode)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PrefixPlaneDecode)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PrefixWaveletEncode)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PrefixWaveletDecode)->Unit(benchmark::kMillisecond);
