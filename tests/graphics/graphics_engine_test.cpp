// The graphics engine through the strip driver and the real entropy coder:
// every depth, loss factor and shape, and the graphics engine's conformance
// vectors byte for byte.
#include "graphics/graphics_engine.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "core/crc.hpp"
#include "support/conformance_cases.hpp"
#include "support/strip_harness.hpp"
#include "support/test_images.hpp"

namespace vrk::test {
namespace {

constexpr std::pair<int, int> sizes[] = {{32, 32}, {33, 33}, {37, 40}, {64, 48}, {32, 49}, {33, 100}};

// Depth (bytes per pixel, bits), loss factor, size; fast mode alternates with the size.
class GraphicsRoundTrip : public testing::TestWithParam<std::tuple<std::pair<int, int>, int, int>> {};

// Lossless rebuilds every byte, lossy every sample within L; the CRC covers
// the pixels exactly as the decoder rebuilds them, and the bytes do not
// depend on the number of stage threads.
TEST_P(GraphicsRoundTrip, RebuildsTheImage) {
    const auto [depth, loss_factor, size_index] = GetParam();
    const auto [width, height] = sizes[size_index];
    const TestImage original = make_image(width, height, depth.first, depth.second, Pattern::blocks,
                                          static_cast<std::uint32_t>(width * 131 + height + loss_factor));
    const ImageHeader header =
        header_of(original, {.fast = size_index % 2 == 1, .graphics = true, .loss_factor = loss_factor});

    const EncodedStrips encoded = encode_strips<GraphicsEngine>(header.image, original.pixels, header.crc);
    const DecodedStrips decoded = decode_strips<GraphicsEngine>(header.image, encoded.records, header.crc);
    EXPECT_EQ(decoded.crc, encoded.crc);
    EXPECT_EQ(decoded.check_word, encoded.crc);
    ASSERT_EQ(decoded.pixels.size(), original.pixels.size());
    EXPECT_EQ(encoded.crc, crc_update(header.crc, decoded.pixels.data(), decoded.pixels.size()));
    if (loss_factor == 0) {
        EXPECT_EQ(decoded.pixels, original.pixels);
    } else {
        const int worst = original.largest_difference(decoded.pixels);
        EXPECT_LE(worst, loss_factor);
        EXPECT_GT(worst, 0) << "a lossy run that loses nothing hides a fault";
    }

    const EncodedStrips two_threads = encode_strips<GraphicsEngine>(header.image, original.pixels, header.crc, 2);
    EXPECT_TRUE(two_threads.records == encoded.records) << "two stage threads wrote other bytes";
    EXPECT_TRUE(decode_strips<GraphicsEngine>(header.image, encoded.records, header.crc, 2).pixels == decoded.pixels);
}

INSTANTIATE_TEST_SUITE_P(DepthsLossAndShapes, GraphicsRoundTrip,
                         testing::Combine(testing::Values(std::pair{1, 8}, std::pair{2, 12}, std::pair{2, 16},
                                                          std::pair{3, 8}),
                                          testing::Values(0, 1, 2, 3, 7, 12), testing::Range(0, 6)));

// The graphics engine's vectors through the engine and the driver: the strip
// records byte for byte, and the restored pixels.
class GraphicsEngineConformance : public testing::TestWithParam<ConformanceCase> {};

TEST_P(GraphicsEngineConformance, EncodesAndDecodesTheKnownFiles) {
    const ConformanceCase& c = GetParam();
    ASSERT_EQ(c.load_error, "");
    const EncodedStrips encoded = encode_strips<GraphicsEngine>(c.image, c.input_pixels(), c.header_crc);
    EXPECT_EQ(encoded.crc, c.image_crc());
    EXPECT_TRUE(std::ranges::equal(encoded.records, c.strip_records())) << "strip records differ";

    const DecodedStrips decoded = decode_strips<GraphicsEngine>(c.image, c.strip_records(), c.header_crc);
    EXPECT_EQ(decoded.crc, c.image_crc());
    EXPECT_EQ(decoded.check_word, c.image_crc());
    EXPECT_TRUE(std::ranges::equal(decoded.pixels, c.decoded_pixels())) << "restored pixels differ";
}

// The vectors fix the predictions, the dither and the write-back whatever
// entropy coder carries the residuals: the pixel stages alone give the
// reference's CRC and pixels.
TEST_P(GraphicsEngineConformance, PixelStagesAloneGiveTheReferenceCrcAndPixels) {
    const ConformanceCase& c = GetParam();
    ASSERT_EQ(c.load_error, "");
    const PixelStageResult result = run_pixel_stages<GraphicsEngine>(c.image, c.input_pixels());
    EXPECT_EQ(crc_update(c.header_crc, result.reconstructed.data(), result.reconstructed.size()), c.image_crc());
    EXPECT_TRUE(result.decoded == result.reconstructed);
    EXPECT_TRUE(std::ranges::equal(result.decoded, c.decoded_pixels())) << "restored pixels differ";
}

INSTANTIATE_TEST_SUITE_P(Vectors, GraphicsEngineConformance, testing::ValuesIn(conformance_cases(true)),
                         [](const auto& info) { return test_name_of(info.param); });

} // namespace
} // namespace vrk::test
