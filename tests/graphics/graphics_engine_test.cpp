#include "graphics/graphics_engine.hpp"

#include <algorithm>
#include <cstdlib>
#include <span>
#include <tuple>
#include <utility>
#include <vector>

#include <vrk/vrk.hpp>

#include <gtest/gtest.h>

#include "graphics/graphics_test_support.hpp"

namespace vrk {
namespace {

using test::GraphicsImage;

struct Encoded {
    std::uint32_t crc = 0;
    std::vector<std::uint8_t> bytes; // strip records and the trailing CRC word
};

Encoded encode(const ImageParameters& image, std::span<const std::uint8_t> pixels,
               std::uint32_t header_crc = CRC_SEED) {
    CodecContext context = test::make_context(image);
    MemorySink compressed;
    EntropyCoder coder(compressed, image.fast(), image.bits_per_sample);
    MemorySource source(pixels);
    ImageFile file{&source, nullptr};
    Encoded result;
    result.crc = graphics_code_image(header_crc, context, coder, file);
    coder.write_check_word(result.crc);
    result.bytes = compressed.take();
    return result;
}

struct Decoded {
    std::uint32_t crc = 0;
    std::uint32_t check_word = 0;
    std::vector<std::uint8_t> pixels;
};

Decoded decode(const ImageParameters& image, std::span<const std::uint8_t> bytes,
               std::uint32_t header_crc = CRC_SEED) {
    CodecContext context = test::make_context(image);
    MemorySource compressed(bytes);
    EntropyCoder coder(compressed, image.fast(), image.bits_per_sample);
    MemorySink sink;
    ImageFile file{nullptr, &sink};
    Decoded result;
    result.crc = graphics_code_image(header_crc, context, coder, file);
    result.check_word = coder.read_check_word();
    result.pixels = sink.take();
    return result;
}

// Depth (bytes per pixel, bits), loss factor, size; fast mode alternates with the size.
class EngineRoundTrip : public testing::TestWithParam<std::tuple<std::pair<int, int>, int, int>> {};

TEST_P(EngineRoundTrip, RebuildsTheImage) {
    static constexpr std::pair<int, int> sizes[] = {{32, 32}, {33, 33}, {37, 40}, {64, 48}, {32, 49}, {33, 100}};
    const auto [depth, loss_factor, size_index] = GetParam();
    const auto [width, height] = sizes[size_index];
    const GraphicsImage g{width, height, depth.first, depth.second, loss_factor, size_index % 2 == 1};
    const ImageParameters image = test::parameters_of(g);
    const std::vector<std::uint8_t> pixels = test::synthetic_pixels(g, static_cast<std::uint32_t>(size_index * 7 + loss_factor));

    const Encoded encoded = encode(image, pixels);
    const Decoded decoded = decode(image, encoded.bytes);
    EXPECT_EQ(decoded.crc, encoded.crc);
    EXPECT_EQ(decoded.check_word, encoded.crc);
    ASSERT_EQ(decoded.pixels.size(), pixels.size());
    if (loss_factor == 0) {
        EXPECT_EQ(decoded.pixels, pixels);
    } else {
        // The strip coders alone give the reconstruction the entropy coder must carry unchanged.
        EXPECT_EQ(decoded.pixels, test::run_strip_pipeline(image, pixels).decoded);
        const std::size_t samples = pixels.size() / (g.bytes_per_pixel == 2 ? 2 : 1);
        for (std::size_t i = 0; i < samples; ++i)
            ASSERT_LE(std::abs(test::sample_at(decoded.pixels, g.bytes_per_pixel, i) -
                               test::sample_at(pixels, g.bytes_per_pixel, i)),
                      loss_factor)
                << i;
    }
}

INSTANTIATE_TEST_SUITE_P(DepthsLossAndShapes, EngineRoundTrip,
                         testing::Combine(testing::Values(std::pair{1, 8}, std::pair{2, 12}, std::pair{2, 16},
                                                          std::pair{3, 8}),
                                          testing::Values(0, 1, 2, 3, 7, 12), testing::Range(0, 6)));

TEST(GraphicsEngine, ImageFileWithASurplusByteIsTooLarge) {
    const GraphicsImage g{32, 40, 1, 8, 0};
    std::vector<std::uint8_t> pixels = test::synthetic_pixels(g, 2);
    pixels.push_back('\n');
    test::expect_error(ErrorCode::image_too_large, [&] { encode(test::parameters_of(g), pixels); });
}

TEST(GraphicsEngine, ImageFileOneByteShortCannotBeRead) {
    const GraphicsImage g{32, 40, 2, 16, 0};
    std::vector<std::uint8_t> pixels = test::synthetic_pixels(g, 2);
    pixels.pop_back();
    test::expect_error(ErrorCode::cannot_read, [&] { encode(test::parameters_of(g), pixels); });
}

TEST(GraphicsEngine, LossySampleAboveTheDeclaredDepthIsRefused) {
    const GraphicsImage g{32, 32, 2, 10, 2};
    std::vector<std::uint8_t> pixels = test::synthetic_pixels(g, 2);
    test::set_sample(pixels, 2, 100, 1024);
    test::expect_error(ErrorCode::invalid_parameters, [&] { encode(test::parameters_of(g), pixels); });
}

TEST(GraphicsEngine, UnknownSampleLayoutIsRefused) {
    ImageParameters image = test::parameters_of({32, 32, 1, 8, 0});
    CodecContext context = test::make_context(image);
    context.image.bytes_per_pixel = 4;
    MemorySink compressed;
    EntropyCoder coder(compressed, false, 8);
    const std::vector<std::uint8_t> pixels(4 * 32 * 32);
    MemorySource source(pixels);
    ImageFile file{&source, nullptr};
    test::expect_error(ErrorCode::invalid_parameters, [&] { graphics_code_image(CRC_SEED, context, coder, file); });
}

// The reference files byte for byte: the strip records the engine and the
// coder write, and the images decoding them restores.
TEST(GraphicsConformance, EncodingWritesTheReferenceStripRecords) {
    const std::vector<test::ConformanceCase> cases = test::graphics_conformance_cases();
    ASSERT_GE(cases.size(), 40u);
    for (const test::ConformanceCase& c : cases) {
        const Encoded encoded = encode(c.image, c.input_pixels, c.header_crc);
        EXPECT_EQ(encoded.crc, c.image_crc) << c.name;
        EXPECT_TRUE(encoded.bytes == c.strip_records) << c.name;
    }
}

TEST(GraphicsConformance, DecodingRestoresTheReferenceImages) {
    const std::vector<test::ConformanceCase> cases = test::graphics_conformance_cases();
    ASSERT_GE(cases.size(), 40u);
    for (const test::ConformanceCase& c : cases) {
        const Decoded decoded = decode(c.image, c.strip_records, c.header_crc);
        EXPECT_EQ(decoded.crc, c.image_crc) << c.name;
        EXPECT_EQ(decoded.check_word, c.image_crc) << c.name;
        EXPECT_TRUE(decoded.pixels == c.decoded_pixels) << c.name;
    }
}

} // namespace
} // namespace vrk
