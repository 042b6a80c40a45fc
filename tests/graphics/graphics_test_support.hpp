// Shared helpers of the graphics-mode tests: contexts, synthetic images, a
// strip pipeline that needs no entropy coder, and the graphics-mode
// conformance vectors.
#pragma once

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <random>
#include <span>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "codec/codec_context.hpp"
#include "frontend/crc.hpp"
#include "graphics/near_lossless.hpp"
#include "graphics/strip_coders.hpp"
#include "frontend/error.hpp"

namespace vrk::test {

struct GraphicsImage {
    int width = 32;
    int height = 32;
    int bytes_per_pixel = 1;
    int bits_per_sample = 8;
    int loss_factor = 0;
    bool fast = false;

    int planes() const { return bytes_per_pixel == 3 ? 3 : 1; }
    int max_sample() const { return (1 << bits_per_sample) - 1; }
    std::size_t pixel_bytes() const {
        return static_cast<std::size_t>(width) * static_cast<std::size_t>(height) *
               static_cast<std::size_t>(bytes_per_pixel);
    }
};

inline ImageParameters parameters_of(const GraphicsImage& g) {
    ImageParameters image;
    image.width = g.width;
    image.height = g.height;
    image.bytes_per_pixel = g.bytes_per_pixel;
    image.bits_per_sample = g.bits_per_sample;
    image.loss_factor = g.loss_factor;
    image.plane_count = g.planes();
    image.format_index = format_raw;
    image.mode_flags = mode_graphics | (g.fast ? mode_fast : 0u);
    return image;
}

inline CodecContext make_context(const ImageParameters& image) {
    CodecContext context;
    context.image = image;
    context.buffers = allocate_codec_buffers(image);
    return context;
}

inline NearLossless make_near_lossless(const ImageParameters& image) {
    return image.loss_factor == 0 ? NearLossless()
                                  : NearLossless(image.width, image.loss_factor, image.bits_per_sample);
}

// Sample i (in file order, planes interleaved) of a pixel buffer.
inline int sample_at(std::span<const std::uint8_t> pixels, int bytes_per_pixel, std::size_t i) {
    return bytes_per_pixel == 2 ? (pixels[2 * i] << 8) | pixels[2 * i + 1] : pixels[i];
}
inline void set_sample(std::vector<std::uint8_t>& pixels, int bytes_per_pixel, std::size_t i, int value) {
    if (bytes_per_pixel == 2) {
        pixels[2 * i] = static_cast<std::uint8_t>(value >> 8);
        pixels[2 * i + 1] = static_cast<std::uint8_t>(value);
    } else {
        pixels[i] = static_cast<std::uint8_t>(value);
    }
}

// A synthetic image from a fixed seed: blocks of flat areas, ramps, noise,
// sharp edges and runs of the extreme values 0 and max_sample (where the
// lossy clamp matters).
inline std::vector<std::uint8_t> synthetic_pixels(const GraphicsImage& g, std::uint32_t seed) {
    std::mt19937 random(seed);
    const int max = g.bytes_per_pixel == 2 ? g.max_sample() : 255;
    const int planes = g.planes();
    std::vector<std::uint8_t> pixels(g.pixel_bytes());
    std::size_t i = 0;
    for (int y = 0; y < g.height; ++y)
        for (int x = 0; x < g.width; ++x)
            for (int p = 0; p < planes; ++p, ++i) {
                const int block = (x / 8 + 3 * (y / 8) + p) % 5;
                int value = 0;
                switch (block) {
                case 0: value = (max / 7) * ((x / 8 + y / 8) % 8); break;        // flat
                case 1: value = (x * 5 + y * 3) * (max / 255 + 1) % (max + 1); break; // ramp
                case 2: value = static_cast<int>(random() % static_cast<unsigned>(max + 1)); break;
                case 3: value = (x + y) % 2 != 0 ? max : 0; break;              // extremes
                default: value = (x % 8 < 4) ? max - static_cast<int>(random() % 4) : static_cast<int>(random() % 4);
                }
                set_sample(pixels, g.bytes_per_pixel, i, value);
            }
    return pixels;
}

struct PipelineResult {
    std::uint32_t encoder_crc = 0;
    std::uint32_t decoder_crc = 0;
    std::vector<std::uint8_t> reconstructed; // the encoder's staged pixels after its write-back
    std::vector<std::uint8_t> decoded;       // what the decoder wrote
};

// Runs the strip coders of both directions over the strip schedule with no
// entropy coder between them: each strip's residual rows are copied straight
// from the encoder's planes into the decoder's.
inline PipelineResult run_strip_pipeline(const ImageParameters& image, std::span<const std::uint8_t> pixels,
                                         std::uint32_t header_crc = CRC_SEED) {
    CodecContext encoder = make_context(image);
    CodecContext decoder = make_context(image);
    NearLossless encoder_tables = make_near_lossless(image);
    NearLossless decoder_tables = make_near_lossless(image);
    MemorySource source(pixels);
    MemorySink sink;
    ImageFile input{&source, nullptr};
    ImageFile output{nullptr, &sink};
    const StripCoder encode = strip_coder_for(image.bytes_per_pixel, true);
    const StripCoder decode = strip_coder_for(image.bytes_per_pixel, false);
    const std::size_t plane_values = static_cast<std::size_t>(32) * encoder.buffers.padded_width;

    PipelineResult result{header_crc, header_crc, {}, {}};
    int strip_index = 0;
    for (int remaining = image.height; remaining > 0; ++strip_index) {
        const int rows = strip_rows_for(remaining);
        remaining -= rows;
        for (CodecContext* c : {&encoder, &decoder}) {
            c->buffers.strip_rows = rows;
            c->buffers.strip_rows_padded = rounded_up_to_8(rows);
        }
        result.encoder_crc = encode(strip_index, result.encoder_crc, input, encoder, encoder_tables);
        const std::size_t count = static_cast<std::size_t>(rows) * image.width * image.bytes_per_pixel;
        result.reconstructed.insert(result.reconstructed.end(), encoder.buffers.code_buffer.begin(),
                                    encoder.buffers.code_buffer.begin() + static_cast<std::ptrdiff_t>(count));
        for (int p = 0; p < image.plane_count; ++p)
            std::copy_n(encoder.buffers.row(p, 0), plane_values, decoder.buffers.row(p, 0));
        result.decoder_crc = decode(strip_index, result.decoder_crc, output, decoder, decoder_tables);
    }
    result.decoded = sink.take();
    return result;
}

inline std::vector<std::uint8_t> read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// One graphics-mode conformance vector: an input image, the compressed file
// the reference wrote for it, and what decoding that file restores.
struct ConformanceCase {
    std::string name; // the compressed file's name
    ImageParameters image;
    std::uint32_t header_crc = 0;
    std::uint32_t image_crc = 0;               // the trailing CRC word
    std::vector<std::uint8_t> input_pixels;    // the input image after its header
    std::vector<std::uint8_t> strip_records;   // the compressed file after its headers, CRC word included
    std::vector<std::uint8_t> decoded_pixels;  // the restored image after its header
};

inline std::vector<ConformanceCase> graphics_conformance_cases() {
    const std::string dir = std::string(VRK_TEST_DATA_DIR) + "/conformance/";
    std::ifstream table(dir + "cases.tsv");
    std::vector<ConformanceCase> cases;
    std::string line;
    std::getline(table, line); // column names
    while (std::getline(table, line)) {
        std::istringstream fields(line);
        std::string input, command, compressed, decoded;
        std::getline(fields, input, '\t');
        std::getline(fields, command, '\t');
        std::getline(fields, compressed, '\t');
        std::getline(fields, decoded, '\t');
        if (command.find(" -g ") == std::string::npos && command.find(" -fg ") == std::string::npos) continue;

        const std::vector<std::uint8_t> file = read_file(dir + compressed);
        const std::vector<std::uint8_t> original = read_file(dir + input);
        ConformanceCase c;
        c.name = compressed;
        std::copy_n(file.begin(), 12, c.image.container_header.begin());
        const auto& h = c.image.container_header;
        c.image.format_index = h[2] >> 2;
        c.image.bytes_per_pixel = h[2] & 3;
        c.image.loss_factor = h[3] >> 4;
        c.image.bits_per_sample = (h[3] & 15) + 8;
        c.image.height = h[4] << 8 | h[5];
        c.image.width = h[6] << 8 | h[7];
        const std::size_t header_size = static_cast<std::size_t>(h[8] << 8 | h[9]);
        c.image.mode_flags = h[10];
        c.image.plane_count = c.image.bytes_per_pixel == 3 ? 3 : 1;
        c.image.image_header_bytes.assign(file.begin() + 12, file.begin() + 12 + static_cast<std::ptrdiff_t>(header_size));

        c.header_crc = CRC_SEED;
        if (header_size > 0) c.header_crc = crc_update(c.header_crc, c.image.image_header_bytes.data(), header_size);
        c.header_crc = crc_update(c.header_crc, h.data(), h.size());
        const std::size_t n = file.size();
        c.image_crc = static_cast<std::uint32_t>(file[n - 4]) | static_cast<std::uint32_t>(file[n - 3]) << 8 |
                      static_cast<std::uint32_t>(file[n - 2]) << 16 | static_cast<std::uint32_t>(file[n - 1]) << 24;
        c.strip_records.assign(file.begin() + 12 + static_cast<std::ptrdiff_t>(header_size), file.end());
        c.input_pixels.assign(original.begin() + static_cast<std::ptrdiff_t>(header_size), original.end());
        if (decoded.rfind("expected/", 0) == 0) {
            const std::vector<std::uint8_t> restored = read_file(dir + decoded);
            c.decoded_pixels.assign(restored.begin() + static_cast<std::ptrdiff_t>(header_size), restored.end());
        } else {
            c.decoded_pixels = c.input_pixels;
        }
        cases.push_back(std::move(c));
    }
    return cases;
}

// Runs f and expects it to fail with exactly `code`.
template <class F>
void expect_error(ErrorCode code, F&& f) {
    try {
        f();
        ADD_FAILURE() << "no error, expected \"" << message_of(code) << '"';
    } catch (const Error& e) {
        EXPECT_EQ(e.code(), code) << e.what();
    }
}

} // namespace vrk::test
