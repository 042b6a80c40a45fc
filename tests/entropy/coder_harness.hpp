// Runs of the entropy coder over strip arrays, the way the engines call it:
// a list of plane and band calls per strip, each strip's streams written as
// a strip record by the compressed stream's writer and read back by its
// reader. The one encode loop and the one decode loop of the entropy tests.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <span>
#include <vector>

#include "codec/compressed_stream.hpp"
#include "core/byte_io.hpp"
#include "entropy/band_geometry.hpp"
#include "entropy/entropy_coder.hpp"
#include "entropy/value_splitter.hpp"

namespace vrk::test {

struct Call {
    int orientation; // 0 for the plane coder, else the band's orientation
    int rows;
    int cols;
};

// The plane coder over a whole strip, as the graphics engine calls it.
inline std::vector<Call> plane_calls(int height, int width) { return {{0, height, width}}; }

// The wavelet layout of a height x width strip (both multiples of 8): the
// low region, then the three detail bands at quarter and at half size.
inline std::vector<Call> wavelet_calls(int height, int width) {
    const int h = height / 4;
    const int w = width / 4;
    return {{0, h, w}, {1, h, w}, {2, h, w}, {3, h, w}, {1, 2 * h, 2 * w}, {2, 2 * h, 2 * w}, {3, 2 * h, 2 * w}};
}

struct StripArray {
    StripArray(int height, int width)
        : height(height), width(width), values(static_cast<std::size_t>(height) * static_cast<std::size_t>(width)) {}
    StripRows rows() { return StripRows{values.data(), width, bytes.empty() ? nullptr : bytes.data()}; }
    std::int32_t& at(int row, int col) { return values[static_cast<std::size_t>(row) * width + col]; }
    void add_bytes() { bytes.assign(values.size(), 0); }

    // On the entropy coder or on a value splitter.
    template <class Coder>
    void code(Coder& coder, const std::vector<Call>& calls) {
        for (const Call& call : calls) {
            if (call.orientation == 0)
                coder.code_plane(rows(), call.rows, call.cols);
            else
                coder.code_band(call.orientation, rows(), call.rows, call.cols);
        }
    }

    int height;
    int width;
    std::vector<std::int32_t> values;
    std::vector<std::uint8_t> bytes; // the sets beside the values, once split
};

struct CodedStrip {
    std::vector<Call> calls;
    StripArray values;
};

// Limits that take every strip of the run, and no more.
inline EntropyCoder::StripLimits limits_for(const std::vector<CodedStrip>& strips) {
    EntropyCoder::StripLimits limits{3, 0};
    for (const CodedStrip& strip : strips) {
        limits.max_cols = std::max(limits.max_cols, strip.values.width);
        limits.max_values = std::max(limits.max_values, strip.values.values.size());
    }
    return limits;
}

struct EncodedRun {
    std::vector<std::uint8_t> bytes;      // the strip records and the CRC word
    std::vector<std::size_t> record_ends; // where each strip's record ends in `bytes`
    std::uint64_t written = 0;            // what the writer's finish reported
};

// With `split` (arithmetic coder only), every strip goes through a value
// splitter first, as the strip driver does on two threads, and the coder
// codes the sets alone.
inline EncodedRun encode_run(std::vector<CodedStrip>& strips, bool fast, int bits_per_sample, std::uint32_t check_word,
                             bool split = false) {
    MemorySink sink;
    CompressedWriter writer(sink);
    EncodedRun run;
    const EntropyCoder::StripLimits limits = limits_for(strips);
    EntropyCoder coder(EntropyCoder::Direction::encode, fast, bits_per_sample, limits);
    EXPECT_TRUE(!split || coder.codes_split_sets());
    ValueSplitter splitter(bits_per_sample, limits.max_values);
    for (CodedStrip& strip : strips) {
        std::span<const std::uint8_t> raw_bits;
        if (split) {
            strip.values.add_bytes();
            splitter.begin_strip();
            strip.values.code(splitter, strip.calls);
            raw_bits = splitter.finish_strip();
        }
        coder.begin_strip();
        strip.values.code(coder, strip.calls);
        EntropyCoder::StripStreams streams = coder.finish_strip();
        if (split) streams.raw_bits = raw_bits;
        writer.write_strip(streams);
        run.record_ends.push_back(sink.bytes().size());
    }
    run.written = writer.finish(check_word);
    run.bytes = sink.take();
    return run;
}

struct DecodedRun {
    std::vector<CodedStrip> strips;
    std::uint32_t check_word = 0;
    bool read_everything = false; // no byte was left after the CRC word
};

// Decodes a run shaped like `shape` (its calls and sizes; its values are not read).
inline DecodedRun decode_run(std::span<const std::uint8_t> bytes, const std::vector<CodedStrip>& shape, bool fast,
                             int bits_per_sample) {
    MemorySource source(bytes);
    CompressedReader reader(source);
    EntropyCoder coder(EntropyCoder::Direction::decode, fast, bits_per_sample, limits_for(shape));
    DecodedRun run;
    for (const CodedStrip& s : shape) run.strips.push_back({s.calls, StripArray(s.values.height, s.values.width)});
    for (CodedStrip& strip : run.strips) {
        reader.read_strip(coder.code_buffer());
        coder.begin_strip();
        strip.values.code(coder, strip.calls);
        coder.finish_strip();
    }
    std::uint8_t word[4];
    source.read_exact(word, 4);
    run.check_word = std::uint32_t{word[0]} | std::uint32_t{word[1]} << 8 | std::uint32_t{word[2]} << 16 |
                     std::uint32_t{word[3]} << 24;
    std::uint8_t extra = 0;
    run.read_everything = source.read(&extra, 1) == 0;
    return run;
}

// Whether (row, col) lies in a region that one of the calls codes.
inline bool coded(const std::vector<Call>& calls, int row, int col) {
    for (const Call& call : calls) {
        const int r0 = band_row_offset[call.orientation] * call.rows;
        const int c0 = band_col_offset[call.orientation] * call.cols;
        if (row >= r0 && row < r0 + call.rows && col >= c0 && col < c0 + call.cols) return true;
    }
    return false;
}

// Positions where two strips differ inside the regions their calls code.
inline int coded_differences(const CodedStrip& a, const CodedStrip& b) {
    const StripArray& x = a.values;
    int wrong = 0;
    for (int r = 0; r < x.height; ++r)
        for (int c = 0; c < x.width; ++c) {
            const std::size_t i = static_cast<std::size_t>(r) * x.width + c;
            if (coded(a.calls, r, c) && x.values[i] != b.values.values[i]) ++wrong;
        }
    return wrong;
}

} // namespace vrk::test
