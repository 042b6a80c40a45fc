// Whole images through the library API in every engine, coder, depth and format.
#include <vrk/vrk.hpp>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <thread>

#include "support/test_images.hpp"

namespace vrk::test {
namespace {

struct Mode {
    const char* name;
    bool fast;
    bool graphics;
};
constexpr Mode modes[] = {
    {"normal", false, false}, {"fast", true, false}, {"graphics", false, true}, {"fast_graphics", true, true}};

struct Depth {
    const char* name;
    int bytes_per_pixel;
    int bits_per_sample;
};
constexpr Depth depths[] = {{"grey8", 1, 8}, {"grey10", 2, 10}, {"grey12", 2, 12}, {"grey16", 2, 16}, {"colour", 3, 8}};

std::vector<std::uint8_t> round_trip(const TestImage& image, Options options) {
    const std::vector<std::uint8_t> file = image.pnm_file();
    const RestoredImage restored = restore_image(compress_image(file, image.pnm_format(), options));
    EXPECT_EQ(restored.format, image.pnm_format());
    EXPECT_EQ(restored.file.size(), file.size());
    return restored.file;
}

// Largest difference between original and restored samples.
int largest_error(const TestImage& image, const std::vector<std::uint8_t>& restored_file) {
    if (restored_file.size() < image.pixels.size()) return 1 << 30;
    return image.largest_difference(std::span(restored_file).last(image.pixels.size()));
}

TEST(RoundTrip, LosslessInEveryModeDepthAndShape) {
    const std::pair<int, int> shapes[] = {{32, 32}, {33, 33}, {37, 40}, {64, 48}, {40, 49}, {48, 100}};
    for (const Mode& mode : modes)
        for (const Depth& depth : depths)
            for (auto [width, height] : shapes)
                for (Pattern pattern : {Pattern::photo, Pattern::text}) {
                    const TestImage image = make_image(width, height, depth.bytes_per_pixel, depth.bits_per_sample,
                                                       pattern, static_cast<std::uint32_t>(width * height));
                    EXPECT_TRUE(round_trip(image, {mode.fast, mode.graphics, 0}) == image.pnm_file())
                        << mode.name << " " << depth.name << " " << width << "x" << height;
                }
}

TEST(RoundTrip, NearLosslessGraphicsStaysWithinTheLossFactor) {
    for (const Mode& mode : {modes[2], modes[3]})
        for (const Depth& depth : depths)
            for (int loss : {1, 2, 3, 7, 12})
                for (Pattern pattern : {Pattern::photo, Pattern::noise, Pattern::checkerboard}) {
                    const TestImage image =
                        make_image(45, 70, depth.bytes_per_pixel, depth.bits_per_sample, pattern, 7);
                    const std::vector<std::uint8_t> restored = round_trip(image, {mode.fast, true, loss});
                    EXPECT_LE(largest_error(image, restored), loss) << mode.name << " " << depth.name << " L" << loss;
                    EXPECT_TRUE(std::equal(restored.begin(), restored.begin() + 10, image.pnm_file().begin()));
                }
}

TEST(RoundTrip, LossyNormalModeDecodesAtEveryLossFactor) {
    for (const Mode& mode : {modes[0], modes[1]})
        for (const Depth& depth : depths) {
            const TestImage image = make_image(72, 56, depth.bytes_per_pixel, depth.bits_per_sample, Pattern::photo, 3);
            for (int loss = 1; loss <= 12; ++loss) {
                const std::vector<std::uint8_t> restored = round_trip(image, {mode.fast, false, loss});
                const int error = largest_error(image, restored);
                EXPECT_LT(error, 1 << (depth.bits_per_sample - 2)) << mode.name << " " << depth.name << " L" << loss;
                if (loss == 12) {
                    EXPECT_GT(error, 0) << "loss factor 12 must lose something";
                }
            }
        }
}

TEST(RoundTrip, RawAndSunRasterFormats) {
    const TestImage grey = make_image(40, 33, 1, 8, Pattern::photo);
    const TestImage wide = make_image(40, 33, 2, 16, Pattern::photo);
    const TestImage colour = make_image(40, 33, 3, 8, Pattern::photo);
    for (const TestImage* image : {&grey, &wide, &colour})
        for (const Mode& mode : modes) {
            const std::vector<std::uint8_t> compressed =
                compress_image(image->pixels, ImageFormat::raw, {mode.fast, mode.graphics, 0},
                               {image->width, image->height, image->bytes_per_pixel});
            const RestoredImage restored = restore_image(compressed);
            EXPECT_EQ(restored.format, ImageFormat::raw);
            EXPECT_TRUE(restored.file == image->pixels) << mode.name;
        }
    // A raw layout of height 0 is as high as it is wide.
    const TestImage square = make_image(40, 40, 1, 8, Pattern::photo);
    EXPECT_TRUE(compress_image(square.pixels, ImageFormat::raw, {}, {40, 0, 1}) ==
                compress_image(square.pixels, ImageFormat::raw, {}, {40, 40, 1}));

    // A Sun raster file with a colour map: header and map come back byte for byte.
    std::vector<std::uint8_t> ras;
    for (std::uint32_t word : {0x59A66A95u, 40u, 33u, 8u, 40u * 33u, 1u, 1u, 768u})
        for (int shift = 24; shift >= 0; shift -= 8) ras.push_back(static_cast<std::uint8_t>(word >> shift));
    for (int i = 0; i < 768; ++i) ras.push_back(static_cast<std::uint8_t>(i * 7));
    ras.insert(ras.end(), grey.pixels.begin(), grey.pixels.end());
    for (const Mode& mode : modes) {
        const RestoredImage restored =
            restore_image(compress_image(ras, ImageFormat::sun_raster, {mode.fast, mode.graphics, 0}));
        EXPECT_EQ(restored.format, ImageFormat::sun_raster);
        EXPECT_TRUE(restored.file == ras) << mode.name;
    }
}

TEST(RoundTrip, WorstCaseImagesInEveryModeAndLossFactor) {
    for (const Mode& mode : modes)
        for (const Depth& depth : {depths[0], depths[2], depths[3], depths[4]})
            for (Pattern pattern : {Pattern::noise, Pattern::constant, Pattern::checkerboard, Pattern::stripes})
                for (int loss : {0, 1, 12}) {
                    const TestImage image =
                        make_image(64, 64, depth.bytes_per_pixel, depth.bits_per_sample, pattern, 11);
                    const std::vector<std::uint8_t> restored = round_trip(image, {mode.fast, mode.graphics, loss});
                    if (loss == 0) {
                        EXPECT_TRUE(restored == image.pnm_file()) << mode.name << " " << depth.name;
                    } else if (mode.graphics) {
                        EXPECT_LE(largest_error(image, restored), loss) << mode.name << " " << depth.name;
                    }
                }
}

TEST(RoundTrip, SmallestAndLongestImages) {
    const std::pair<int, int> shapes[] = {{32, 32}, {65535, 32}, {32, 65535}};
    for (auto [width, height] : shapes)
        for (const Mode& mode : modes) {
            const TestImage image = make_image(width, height, 1, 8, Pattern::photo, 5);
            EXPECT_TRUE(round_trip(image, {mode.fast, mode.graphics, 0}) == image.pnm_file())
                << mode.name << " " << width << "x" << height;
        }
}

TEST(RoundTrip, IndependentRunsInParallelThreads) {
    const TestImage image = make_image(96, 80, 3, 8, Pattern::photo, 9);
    std::vector<std::vector<std::uint8_t>> results(4);
    std::vector<std::thread> threads;
    for (std::size_t i = 0; i < results.size(); ++i)
        threads.emplace_back([&, i] { results[i] = round_trip(image, {i % 2 == 1, i >= 2, 0}); });
    for (std::thread& thread : threads) thread.join();
    for (const auto& result : results) EXPECT_TRUE(result == image.pnm_file());
}

} // namespace
} // namespace vrk::test
