#include "wavelet/wavelet_engine.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "frontend/crc.hpp"
#include "wavelet/pixel_io.hpp"
#include "wavelet/quantizer.hpp"
#include "wavelet/strip_transform.hpp"
#include "wavelet/test_image.hpp"

namespace vrk {
namespace {

using Bytes = std::vector<std::uint8_t>;

struct EncodeResult {
    Bytes compressed; // strip records and the trailing CRC word
    std::uint32_t crc;
};

EncodeResult encode(CodecContext& context, const Bytes& pixels, std::uint32_t header_crc) {
    MemorySource source(pixels);
    MemorySink compressed;
    EntropyCoder coder(compressed, context.image.fast(), context.image.bits_per_sample);
    ImageFile file{&source, nullptr};
    const std::uint32_t crc = wavelet_code_image(header_crc, context, coder, file);
    coder.write_check_word(crc);
    return {compressed.take(), crc};
}

struct DecodeResult {
    Bytes pixels;
    std::uint32_t crc;
    std::uint32_t stored_crc;
};

DecodeResult decode(CodecContext& context, const Bytes& compressed, std::uint32_t header_crc) {
    MemorySource source(compressed);
    MemorySink pixels;
    EntropyCoder coder(source, context.image.fast(), context.image.bits_per_sample);
    ImageFile file{nullptr, &pixels};
    const std::uint32_t crc = wavelet_code_image(header_crc, context, coder, file);
    const std::uint32_t stored = coder.read_check_word();
    return {pixels.take(), crc, stored};
}

// Pixels of a smooth picture with some noise, so that every band carries
// values, for any depth; two-byte samples stay within bits_per_sample.
Bytes make_pixels(int height, int width, int bytes_per_pixel, int bits_per_sample, std::uint32_t seed) {
    Bytes noise = test::random_bytes(static_cast<std::size_t>(height * width * bytes_per_pixel), seed);
    Bytes pixels(noise.size());
    const int max_sample = (1 << bits_per_sample) - 1;
    for (int r = 0; r < height; ++r) {
        for (int c = 0; c < width; ++c) {
            const std::size_t at = static_cast<std::size_t>((r * width + c) * bytes_per_pixel);
            if (bytes_per_pixel == 2) {
                const int ramp = (r * 37 + c * 91) * max_sample / (height * 37 + width * 91);
                const int sample = (ramp + noise[at]) % (max_sample + 1);
                pixels[at] = static_cast<std::uint8_t>(sample >> 8);
                pixels[at + 1] = static_cast<std::uint8_t>(sample);
            } else {
                for (int k = 0; k < bytes_per_pixel; ++k)
                    pixels[at + k] = static_cast<std::uint8_t>((r * 3 + c * (2 + k)) / 2 + (noise[at + k] & 31));
            }
        }
    }
    return pixels;
}

struct RoundTripCase {
    const char* name;
    int height, width, bytes_per_pixel, bits_per_sample, loss_factor;
    std::uint32_t mode_flags;
};

class WaveletEngineRoundTrip : public ::testing::TestWithParam<RoundTripCase> {};

TEST_P(WaveletEngineRoundTrip, DecoderRebuildsWhatTheEncoderProtected) {
    const RoundTripCase& c = GetParam();
    const Bytes pixels = make_pixels(c.height, c.width, c.bytes_per_pixel, c.bits_per_sample, 11);
    const std::uint32_t header_crc = 0x12345678;

    CodecContext encoder =
        test::make_context(c.height, c.width, c.bytes_per_pixel, c.bits_per_sample, c.loss_factor, c.mode_flags);
    const EncodeResult encoded = encode(encoder, pixels, header_crc);
    if (c.loss_factor == 0) {
        // Lossless: the CRC covers exactly the pixel bytes, in file order.
        EXPECT_EQ(encoded.crc, crc_update(header_crc, pixels.data(), pixels.size()));
    }

    CodecContext decoder =
        test::make_context(c.height, c.width, c.bytes_per_pixel, c.bits_per_sample, c.loss_factor, c.mode_flags);
    const DecodeResult decoded = decode(decoder, encoded.compressed, header_crc);
    EXPECT_EQ(decoded.crc, encoded.crc);
    EXPECT_EQ(decoded.stored_crc, encoded.crc);
    ASSERT_EQ(decoded.pixels.size(), pixels.size());
    if (c.loss_factor == 0) {
        EXPECT_EQ(decoded.pixels, pixels);
    } else {
        // Lossy: close to the input, never outside the sample range (the
        // output is bytes, so only the two-byte depth can overshoot).
        double total_error = 0;
        for (std::size_t i = 0; i < pixels.size(); ++i)
            total_error += std::abs(int{decoded.pixels[i]} - int{pixels[i]});
        if (c.bytes_per_pixel != 2) {
            EXPECT_LT(total_error / static_cast<double>(pixels.size()), 4.0 * c.loss_factor);
        } else {
            for (std::size_t i = 0; i < pixels.size(); i += 2)
                ASSERT_LE((decoded.pixels[i] << 8 | decoded.pixels[i + 1]), (1 << c.bits_per_sample) - 1);
        }
    }
}

const RoundTripCase round_trip_cases[] = {
    {"grey_one_strip", 32, 32, 1, 8, 0, 0},
    {"grey_24_then_9_rows_width_33", 33, 33, 1, 8, 0, 0},
    {"grey_3_then_4_levels", 40, 48, 1, 8, 0, 0},          // strips padded to 24 then 16
    {"grey_4_strips", 100, 64, 1, 8, 0, 0},
    {"grey_fast", 65, 96, 1, 8, 0, mode_fast},
    {"deep12", 49, 40, 2, 12, 0, 0},
    {"deep16_fast", 48, 72, 2, 16, 0, mode_fast},
    {"colour", 49, 64, 3, 8, 0, 0},
    {"colour_fast_width_37", 40, 37, 3, 8, 0, mode_fast},
    {"grey_lossy1", 64, 64, 1, 8, 1, 0},
    {"grey_lossy12_fast", 100, 40, 1, 8, 12, mode_fast},
    {"deep12_lossy5", 40, 64, 2, 12, 5, 0},
    {"colour_lossy7", 65, 96, 3, 8, 7, 0},
    {"colour_lossy12_fast", 40, 48, 3, 8, 12, mode_fast},
};

INSTANTIATE_TEST_SUITE_P(Images, WaveletEngineRoundTrip, ::testing::ValuesIn(round_trip_cases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(WaveletEngine, ImageWithSurplusBytesIsRejectedAfterCoding) {
    CodecContext context = test::make_context(40, 32, 1);
    Bytes pixels = make_pixels(40, 32, 1, 8, 12);
    pixels.push_back(0);
    EXPECT_EQ(test::error_of([&] { encode(context, pixels, 0); }), ErrorCode::image_too_large);
}

TEST(WaveletEngine, ImageOneByteShortIsAReadError) {
    CodecContext context = test::make_context(40, 32, 1);
    Bytes pixels = make_pixels(40, 32, 1, 8, 13);
    pixels.pop_back();
    EXPECT_EQ(test::error_of([&] { encode(context, pixels, 0); }), ErrorCode::cannot_read);
}

TEST(WaveletEngine, DamagedStripsDecodeWithoutFaultsAndFailTheCrc) {
    // Flipped bits inside the strip records give arbitrary coefficients; the
    // sanitizer build checks that nothing overflows or leaves a buffer.
    for (const int loss_factor : {0, 12}) {
        CodecContext encoder = test::make_context(64, 64, 2, 16, loss_factor);
        const Bytes pixels = make_pixels(64, 64, 2, 16, 14);
        Bytes compressed = encode(encoder, pixels, 0).compressed;
        std::uint32_t mismatches = 0;
        for (std::uint32_t seed = 0; seed < 8; ++seed) {
            Bytes damaged = compressed;
            Bytes flips = test::random_bytes(16, seed);
            for (std::size_t i = 0; i + 1 < flips.size(); i += 2)
                damaged[4 + (flips[i] * 131u + seed) % (damaged.size() - 8)] ^=
                    static_cast<std::uint8_t>(flips[i + 1] | 1);
            CodecContext decoder = test::make_context(64, 64, 2, 16, loss_factor);
            try {
                const DecodeResult decoded = decode(decoder, damaged, 0);
                if (decoded.crc != decoded.stored_crc) ++mismatches;
            } catch (const Error&) {
                ++mismatches; // a damaged record may also be refused outright
            }
        }
        EXPECT_EQ(mismatches, 8u) << "loss factor " << loss_factor;
    }
}

TEST(WaveletEngine, ArbitraryCoefficientsReconstructWithinBounds) {
    // The decoding half of a strip on values no valid file produces: every
    // sum must stay defined (the sanitizer build checks) and lossy output
    // must still clamp to the sample range.
    for (const int bytes_per_pixel : {2, 3}) {
        for (const int loss_factor : {0, 12}) {
            CodecContext context =
                test::make_context(40, 64, bytes_per_pixel, bytes_per_pixel == 2 ? 10 : 8, loss_factor);
            CodecBuffers& b = context.buffers;
            test::set_strip_rows(b, 16);
            std::mt19937 generator(static_cast<std::uint32_t>(bytes_per_pixel * 100 + loss_factor));
            std::uniform_int_distribution<std::int32_t> any(INT32_MIN, INT32_MAX);
            for (int plane = 0; plane < context.image.plane_count; ++plane) {
                for (int r = 0; r < max_strip_rows; ++r)
                    for (int c = 0; c < b.padded_width; ++c) b.row(plane, r)[c] = any(generator);
                const PlaneRecord& record = b.plane_records[static_cast<std::size_t>(plane)];
                for (int l = 0; l < max_transform_levels; ++l)
                    for (int c = 0; c < b.padded_width; ++c)
                        record.carry_low[l][c] = record.carry_high[l][c] = any(generator);
                const PlaneStrip strip{record, b.padded_width, b.strip_rows_padded, b.padded_width};
                dequantize_plane(loss_factor, record.plane_base, strip.stride, strip.rows, strip.cols);
                inverse_transform(strip, 1, b.work_line_a);
            }
            MemorySink sink;
            write_strip(0, sink, context);
            ASSERT_EQ(sink.bytes().size(), 16u * 64u * static_cast<unsigned>(bytes_per_pixel));
            if (bytes_per_pixel == 2 && loss_factor > 0) {
                for (std::size_t i = 0; i < sink.bytes().size(); i += 2)
                    ASSERT_LE(sink.bytes()[i] << 8 | sink.bytes()[i + 1], 1023);
            }
        }
    }
}

// ---- the conformance vectors, through the engine alone ----

Bytes read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

struct ConformanceCase {
    std::string input, compressed, decoded; // paths under the conformance folder
};

// Every normal-mode row of cases.tsv (graphics mode has its own engine).
std::vector<ConformanceCase> normal_mode_cases() {
    const std::string dir = std::string(VRK_TEST_DATA_DIR) + "/conformance/";
    std::ifstream table(dir + "cases.tsv");
    std::vector<ConformanceCase> cases;
    std::string line;
    std::getline(table, line); // column titles
    while (std::getline(table, line)) {
        std::istringstream fields(line);
        ConformanceCase c;
        std::string command;
        std::getline(fields, c.input, '\t');
        std::getline(fields, command, '\t');
        std::getline(fields, c.compressed, '\t');
        std::getline(fields, c.decoded, '\t');
        const Bytes header = read_file(dir + c.compressed);
        if (header.size() < 12 || (header[10] & mode_graphics) != 0) continue;
        if (c.decoded.rfind("expected/", 0) != 0) c.decoded = c.input; // "(the input itself)"
        c.input = dir + c.input;
        c.compressed = dir + c.compressed;
        c.decoded = dir + c.decoded;
        cases.push_back(c);
    }
    return cases;
}

class WaveletEngineConformance : public ::testing::TestWithParam<ConformanceCase> {};

TEST_P(WaveletEngineConformance, EncodesAndDecodesTheKnownFiles) {
    const ConformanceCase& c = GetParam();
    const Bytes vrk = read_file(c.compressed);
    const Bytes input = read_file(c.input);
    const Bytes expected = read_file(c.decoded);
    ASSERT_GE(vrk.size(), 16u);

    ImageParameters image;
    std::copy_n(vrk.begin(), 12, image.container_header.begin());
    image.format_index = vrk[2] >> 2;
    image.bytes_per_pixel = vrk[2] & 3;
    image.loss_factor = vrk[3] >> 4;
    image.bits_per_sample = (vrk[3] & 15) + 8;
    image.height = vrk[4] << 8 | vrk[5];
    image.width = vrk[6] << 8 | vrk[7];
    const std::size_t header_size = static_cast<std::size_t>(vrk[8] << 8 | vrk[9]);
    image.mode_flags = vrk[10];
    image.plane_count = image.bytes_per_pixel == 3 ? 3 : 1;
    image.image_header_bytes.assign(vrk.begin() + 12, vrk.begin() + 12 + static_cast<std::ptrdiff_t>(header_size));

    std::uint32_t header_crc = CRC_SEED;
    if (header_size > 0) header_crc = crc_update(header_crc, image.image_header_bytes.data(), header_size);
    header_crc = crc_update(header_crc, image.container_header.data(), 12);

    const Bytes records(vrk.begin() + 12 + static_cast<std::ptrdiff_t>(header_size), vrk.end());
    const Bytes pixels(input.begin() + static_cast<std::ptrdiff_t>(header_size), input.end());
    const Bytes decoded_pixels(expected.begin() + static_cast<std::ptrdiff_t>(header_size), expected.end());

    CodecContext encoder{image, allocate_codec_buffers(image)};
    EXPECT_EQ(encode(encoder, pixels, header_crc).compressed, records);

    CodecContext decoder{image, allocate_codec_buffers(image)};
    const DecodeResult decoded = decode(decoder, records, header_crc);
    EXPECT_EQ(decoded.crc, decoded.stored_crc);
    EXPECT_EQ(decoded.pixels, decoded_pixels);
}

INSTANTIATE_TEST_SUITE_P(Vectors, WaveletEngineConformance, ::testing::ValuesIn(normal_mode_cases()),
                         [](const auto& info) {
                             std::string name = info.param.compressed.substr(info.param.compressed.rfind('/') + 1);
                             for (char& ch : name)
                                 if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
                             return name;
                         });

} // namespace
} // namespace vrk
