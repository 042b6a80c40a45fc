// The wavelet engine through the strip driver and the real entropy coder:
// round trips, damaged strips, wild coefficients, and the wavelet engine's
// conformance vectors byte for byte.
#include "wavelet/wavelet_engine.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "core/crc.hpp"
#include "support/conformance_cases.hpp"
#include "support/expect_error.hpp"
#include "support/strip_harness.hpp"
#include "support/test_images.hpp"

namespace vrk::test {
namespace {

struct RoundTripCase {
    const char* name;
    int height, width, bytes_per_pixel, bits_per_sample, loss_factor;
    bool fast;
};

void PrintTo(const RoundTripCase& c, std::ostream* os) { *os << c.name; }

class WaveletEngineRoundTrip : public testing::TestWithParam<RoundTripCase> {};

TEST_P(WaveletEngineRoundTrip, DecoderRebuildsWhatTheEncoderProtected) {
    const RoundTripCase& c = GetParam();
    const TestImage original = make_image(c.width, c.height, c.bytes_per_pixel, c.bits_per_sample, Pattern::photo, 11);
    const ImageHeader header = header_of(original, {.fast = c.fast, .loss_factor = c.loss_factor});

    const EncodedStrips encoded = encode_strips<WaveletEngine>(header.image, original.pixels, header.crc);
    const DecodedStrips decoded = decode_strips<WaveletEngine>(header.image, encoded.records, header.crc);
    EXPECT_EQ(decoded.crc, encoded.crc);
    EXPECT_EQ(decoded.check_word, encoded.crc);
    ASSERT_EQ(decoded.pixels.size(), original.pixels.size());
    if (c.loss_factor == 0) {
        // Lossless: the CRC covers exactly the pixel bytes, in file order.
        EXPECT_EQ(encoded.crc, crc_update(header.crc, original.pixels.data(), original.pixels.size()));
        EXPECT_EQ(decoded.pixels, original.pixels);
    } else {
        // Lossy: the CRC covers the quantized coefficients, not the pixels;
        // the decoded pixels are close, clamped to the sample range.
        EXPECT_NE(encoded.crc, crc_update(header.crc, decoded.pixels.data(), decoded.pixels.size()));
        const int error = original.largest_difference(decoded.pixels);
        EXPECT_GT(error, 0);
        EXPECT_LT(error, 1 << (c.bits_per_sample - 2));
        for (std::size_t i = 0; i < original.sample_count(); ++i)
            ASSERT_LE(original.sample_in(decoded.pixels, i), original.max_sample()) << i;
    }
}

const RoundTripCase round_trip_cases[] = {
    {"grey_one_strip", 32, 32, 1, 8, 0, false},
    {"grey_24_then_9_rows_width_33", 33, 33, 1, 8, 0, false},
    {"grey_3_then_4_levels", 40, 48, 1, 8, 0, false}, // strips padded to 24 then 16
    {"grey_4_strips", 100, 64, 1, 8, 0, false},
    {"grey_fast", 65, 96, 1, 8, 0, true},
    {"deep12", 49, 40, 2, 12, 0, false},
    {"deep16_fast", 48, 72, 2, 16, 0, true},
    {"colour", 49, 64, 3, 8, 0, false},
    {"colour_fast_width_37", 40, 37, 3, 8, 0, true},
    {"grey_lossy1", 64, 64, 1, 8, 1, false},
    {"grey_lossy12_fast", 100, 40, 1, 8, 12, true},
    {"deep12_lossy5", 40, 64, 2, 12, 5, false},
    {"colour_lossy7", 65, 96, 3, 8, 7, false},
    {"colour_lossy12_fast", 40, 48, 3, 8, 12, true},
};

INSTANTIATE_TEST_SUITE_P(Images, WaveletEngineRoundTrip, testing::ValuesIn(round_trip_cases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(WaveletEngine, DamagedStripsAreRefusedOrFailTheCrc) {
    // Flipped bytes inside the strip records give arbitrary coefficients; the
    // sanitizer build checks that nothing overflows or leaves a buffer.
    for (const int loss_factor : {0, 12}) {
        const TestImage original = make_image(64, 64, 2, 16, Pattern::photo, 14);
        const ImageHeader header = header_of(original, {.loss_factor = loss_factor});
        const std::vector<std::uint8_t> records = encode_strips<WaveletEngine>(header.image, original.pixels).records;
        for (std::uint32_t seed = 0; seed < 8; ++seed) {
            std::vector<std::uint8_t> damaged = records;
            std::mt19937 random(seed);
            for (int flip = 0; flip < 8; ++flip)
                damaged[4 + random() % (damaged.size() - 8)] ^= static_cast<std::uint8_t>(random() | 1);
            const auto code = error_of([&] {
                const DecodedStrips decoded = decode_strips<WaveletEngine>(header.image, damaged);
                EXPECT_NE(decoded.crc, decoded.check_word) << "loss factor " << loss_factor << ", seed " << seed;
            });
            if (code) {
                EXPECT_TRUE(*code == ErrorCode::cannot_read || *code == ErrorCode::invalid_compressed_file)
                    << testing::PrintToString(*code);
            }
        }
    }
}

TEST(WaveletEngine, InverseOfArbitraryCoefficientsStaysWithinBounds) {
    // The inverse on values no valid file produces, two strips so that the
    // second one inherits wild carries: every sum must stay defined (the
    // sanitizer build checks) and lossy output must still clamp.
    for (const int bytes_per_pixel : {2, 3}) {
        for (const int loss_factor : {0, 12}) {
            const int bits = bytes_per_pixel == 2 ? 10 : 8;
            const TestImage shape = make_image(64, 48, bytes_per_pixel, bits, Pattern::constant);
            const ImageHeader header = header_of(shape, {.loss_factor = loss_factor});
            WaveletEngine engine(header.image);
            StripPlanes planes(header.image.plane_count(), WaveletEngine::plane_stride(header.image));
            SampleBuffer samples(bytes_per_pixel, 16 * static_cast<std::size_t>(64 * header.image.plane_count()));
            std::mt19937 generator(static_cast<std::uint32_t>(bytes_per_pixel * 100 + loss_factor));
            std::uniform_int_distribution<std::int32_t> any(INT32_MIN, INT32_MAX);
            for (const Strip strip : {Strip{0, 16, 16, false, 0}, Strip{1, 16, 16, true, 16}}) {
                for (int p = 0; p < planes.planes(); ++p)
                    for (int r = 0; r < max_strip_rows; ++r)
                        for (int c = 0; c < planes.stride(); ++c) planes.row(p, r)[c] = any(generator);
                engine.inverse(strip, planes, samples.samples());
                if (bytes_per_pixel == 2 && loss_factor > 0) {
                    for (std::size_t i = 0; i < samples.size(); ++i) ASSERT_LE(samples[i], 1023);
                }
            }
        }
    }
}

// The wavelet engine's vectors through the engine and the driver alone: the strip
// records byte for byte, and the restored pixels.
class WaveletEngineConformance : public testing::TestWithParam<ConformanceCase> {};

TEST_P(WaveletEngineConformance, EncodesAndDecodesTheKnownFiles) {
    const ConformanceCase& c = GetParam();
    ASSERT_EQ(c.load_error, "");
    const EncodedStrips encoded = encode_strips<WaveletEngine>(c.image, c.input_pixels(), c.header_crc);
    EXPECT_EQ(encoded.crc, c.image_crc());
    EXPECT_TRUE(std::ranges::equal(encoded.records, c.strip_records())) << "strip records differ";

    const DecodedStrips decoded = decode_strips<WaveletEngine>(c.image, c.strip_records(), c.header_crc);
    EXPECT_EQ(decoded.crc, c.image_crc());
    EXPECT_EQ(decoded.check_word, c.image_crc());
    EXPECT_TRUE(std::ranges::equal(decoded.pixels, c.decoded_pixels())) << "restored pixels differ";
}

INSTANTIATE_TEST_SUITE_P(Vectors, WaveletEngineConformance, testing::ValuesIn(conformance_cases(false)),
                         [](const auto& info) { return test_name_of(info.param); });

} // namespace
} // namespace vrk::test
