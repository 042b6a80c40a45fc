#include "graphics/strip_coders.hpp"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <random>
#include <tuple>
#include <utility>
#include <vector>

#include <vrk/vrk.hpp>

#include <gtest/gtest.h>

#include "graphics/graphics_test_support.hpp"

namespace vrk {
namespace {

using test::GraphicsImage;

// Encodes an image strip by strip with no entropy coder behind it, so that the
// residuals and row buffers can be looked at after each strip.
class StripEncoder {
public:
    StripEncoder(const GraphicsImage& g, std::vector<std::uint8_t> pixels)
        : image_(test::parameters_of(g)), context(test::make_context(image_)), tables(test::make_near_lossless(image_)),
          pixels_(std::move(pixels)), source_(pixels_), remaining_(g.height) {}

    // Encodes the next strip; returns its first image row.
    int encode_next() {
        const int first_row = image_.height - remaining_;
        context.buffers.strip_rows = strip_rows_for(remaining_);
        context.buffers.strip_rows_padded = rounded_up_to_8(context.buffers.strip_rows);
        remaining_ -= context.buffers.strip_rows;
        crc = strip_coder_for(image_.bytes_per_pixel, true)(strip_index_++, crc, file_, context, tables);
        return first_row;
    }
    std::int32_t residual(int plane, int strip_row, int x) const { return context.buffers.row(plane, strip_row)[x]; }
    const std::uint8_t* staged() const { return context.buffers.code_buffer.data(); }

private:
    ImageParameters image_;

public:
    CodecContext context;
    NearLossless tables;
    std::uint32_t crc = CRC_SEED;

private:
    std::vector<std::uint8_t> pixels_;
    MemorySource source_;
    ImageFile file_{&source_, nullptr};
    int strip_index_ = 0;
    int remaining_;
};

TEST(GraphicsStrip, ConstantGreyImageCodesOneNonZeroResidual) {
    const GraphicsImage g{32, 64, 1, 8, 0};
    StripEncoder encoder(g, std::vector<std::uint8_t>(g.pixel_bytes(), 77));
    for (int strip = 0; strip < 2; ++strip) {
        encoder.encode_next();
        for (int y = 0; y < 32; ++y)
            for (int x = 0; x < 32; ++x)
                ASSERT_EQ(encoder.residual(0, y, x), strip == 0 && y == 0 && x == 0 ? 77 : 0) << y << ' ' << x;
    }
}

TEST(GraphicsStrip, LosslessFirstResidualsAreTheFirstSamples) {
    struct Case {
        int bytes_per_pixel, bits;
        std::vector<std::uint8_t> first_pixel;
        std::vector<std::int32_t> residuals;
    };
    const Case cases[] = {
        {1, 8, {200}, {200}},
        {2, 16, {0x01, 0x02}, {258}},
        {3, 8, {12, 200, 99}, {12, 200, 99}},
    };
    for (const Case& c : cases) {
        const GraphicsImage g{32, 32, c.bytes_per_pixel, c.bits, 0};
        std::vector<std::uint8_t> pixels = test::synthetic_pixels(g, 5);
        std::copy(c.first_pixel.begin(), c.first_pixel.end(), pixels.begin());
        StripEncoder encoder(g, pixels);
        encoder.encode_next();
        for (int p = 0; p < g.planes(); ++p) EXPECT_EQ(encoder.residual(p, 0, 0), c.residuals[p]) << p;
    }
}

TEST(GraphicsStrip, ColourPlanesArePredictedOnlyFromThemselves) {
    const GraphicsImage grey{37, 56, 1, 8, 0};
    const std::vector<std::uint8_t> samples = test::synthetic_pixels(grey, 11);
    std::vector<std::uint8_t> colour;
    for (std::uint8_t s : samples) colour.insert(colour.end(), {s, s, s});
    StripEncoder encoder({37, 56, 3, 8, 0}, colour);
    for (int strip = 0; strip < 2; ++strip) {
        encoder.encode_next();
        for (int y = 0; y < encoder.context.buffers.strip_rows; ++y)
            for (int x = 0; x < 37; ++x) {
                ASSERT_EQ(encoder.residual(1, y, x), encoder.residual(0, y, x));
                ASSERT_EQ(encoder.residual(2, y, x), encoder.residual(0, y, x));
            }
    }
}

// In lossy mode row 0 starts from the middle of the sample range: with L = 1
// a first sample of 0 is the error -(2^(bits-1) - 1), index -(1 + m) / 3.
TEST(GraphicsStrip, LossyRowZeroStartsFromMidRange) {
    struct Case {
        int bytes_per_pixel, bits;
        std::int32_t index;
    };
    const Case cases[] = {{1, 8, -42}, {2, 16, -10922}, {2, 10, -170}, {3, 8, -42}};
    for (const Case& c : cases) {
        const GraphicsImage g{32, 32, c.bytes_per_pixel, c.bits, 1};
        StripEncoder encoder(g, std::vector<std::uint8_t>(g.pixel_bytes(), 0));
        encoder.encode_next();
        for (int p = 0; p < g.planes(); ++p) EXPECT_EQ(encoder.residual(p, 0, 0), c.index) << c.bits << " bits";
    }
}

// Column 0 is predicted from above and above-right, in row 1 as in the first
// row of a later strip, never from the end of the row before.
TEST(GraphicsStrip, ColumnZeroIsPredictedFromAboveAndAboveRight) {
    struct Case {
        int row, above, above_right, sample, residual;
    };
    const Case cases[] = {{1, 10, 40, 25, 0}, {1, 11, 40, 30, 4}, {32, 40, 10, 20, -5}, {32, 7, 8, 0, -8}};
    for (const Case& c : cases) {
        const GraphicsImage g{40, 64, 1, 8, 0};
        std::vector<std::uint8_t> pixels = test::synthetic_pixels(g, 3);
        const std::size_t above = static_cast<std::size_t>(c.row - 1) * 40;
        pixels[above] = static_cast<std::uint8_t>(c.above);
        pixels[above + 1] = static_cast<std::uint8_t>(c.above_right);
        pixels[above + 39] = 255;
        pixels[above + 40] = static_cast<std::uint8_t>(c.sample);
        StripEncoder encoder(g, pixels);
        int first_row = encoder.encode_next();
        if (c.row >= 32) first_row = encoder.encode_next();
        EXPECT_EQ(encoder.residual(0, c.row - first_row, 0), c.residual) << "row " << c.row;
    }
}

TEST(GraphicsStrip, OneDrawPerRowExceptImageRowZeroInEveryMode) {
    for (const GraphicsImage& g : {GraphicsImage{33, 56, 1, 8, 0}, GraphicsImage{33, 56, 3, 8, 3},
                                   GraphicsImage{33, 56, 2, 12, 1}}) {
        StripEncoder encoder(g, test::synthetic_pixels(g, 8));
        encoder.encode_next(); // 32 rows
        encoder.encode_next(); // 24 rows
        NearLossless reference;
        if (g.loss_factor >= 3) {
            const int n = 31 + 3 * g.width;
            reference.random_seed(static_cast<std::uint32_t>(g.loss_factor + n));
            for (int i = 0; i < 2 * n; ++i) reference.random_draw();
        }
        for (int i = 0; i < 31 + 24; ++i) reference.random_draw();
        EXPECT_EQ(encoder.tables.random_draw(), reference.random_draw()) << g.bytes_per_pixel << " bytes per pixel";
    }
}

TEST(GraphicsStrip, RowBuffersCarryTheLastTwoRowsAsDecoded) {
    const GraphicsImage g{33, 40, 1, 8, 2};
    StripEncoder encoder(g, test::synthetic_pixels(g, 21));
    const PlaneRecord before = encoder.context.buffers.plane_records[0];
    encoder.encode_next(); // 24 rows
    const PlaneRecord& after = encoder.context.buffers.plane_records[0];
    // Row 0 went into last_row, then 23 rotations: the roles ended swapped.
    EXPECT_EQ(after.last_row, before.spare_row);
    EXPECT_EQ(after.spare_row, before.last_row);
    for (int x = 0; x < 33; ++x) {
        EXPECT_EQ(after.last_row[x], encoder.staged()[23 * 33 + x]) << x; // reconstructions, not input samples
        EXPECT_EQ(after.spare_row[x], encoder.staged()[22 * 33 + x]) << x;
    }
}

TEST(GraphicsStrip, RowsPastTheLastStripsRowsAreLeftAsTheyStand) {
    const GraphicsImage g{32, 33, 1, 8, 0}; // strips of 24 and 9 rows, the second padded to 16
    StripEncoder encoder(g, test::synthetic_pixels(g, 4));
    encoder.encode_next();
    const std::vector<std::int32_t> left_over(encoder.context.buffers.row(0, 9), encoder.context.buffers.row(0, 16));
    encoder.encode_next();
    EXPECT_EQ(encoder.context.buffers.strip_rows_padded, 16);
    EXPECT_EQ(std::vector<std::int32_t>(encoder.context.buffers.row(0, 9), encoder.context.buffers.row(0, 16)),
              left_over);
}

TEST(GraphicsStrip, LossySamplesAboveTheDeclaredDepthAreRefused) {
    GraphicsImage g{32, 64, 2, 12, 3};
    std::vector<std::uint8_t> pixels = test::synthetic_pixels(g, 9);
    test::set_sample(pixels, 2, 40 * 32 + 5, 4096); // in the second strip
    StripEncoder encoder(g, pixels);
    encoder.encode_next();
    test::expect_error(ErrorCode::invalid_parameters, [&] { encoder.encode_next(); });

    // Lossless mode codes any 16-bit value.
    g.loss_factor = 0;
    test::set_sample(pixels, 2, 7, 65535);
    const test::PipelineResult r = test::run_strip_pipeline(test::parameters_of(g), pixels);
    EXPECT_EQ(r.decoded, pixels);
}

TEST(GraphicsStrip, MissingPixelBytesCannotBeRead) {
    const GraphicsImage g{32, 32, 3, 8, 0};
    std::vector<std::uint8_t> pixels = test::synthetic_pixels(g, 1);
    pixels.pop_back();
    StripEncoder encoder(g, pixels);
    test::expect_error(ErrorCode::cannot_read, [&] { encoder.encode_next(); });
}

// Decoding whatever residuals a damaged file gives: every lookup stays inside
// its table, sums wrap instead of overflowing, lossy values stay in range.
TEST(GraphicsStrip, DamagedResidualsDecodeWithoutLeavingTheTables) {
    const GraphicsImage configs[] = {{32, 40, 1, 8, 3}, {33, 40, 2, 10, 12}, {32, 40, 2, 16, 1},
                                     {32, 40, 3, 8, 7}, {32, 40, 1, 8, 0},   {32, 40, 2, 16, 0}};
    for (const GraphicsImage& g : configs) {
        const ImageParameters image = test::parameters_of(g);
        CodecContext context = test::make_context(image);
        NearLossless tables = test::make_near_lossless(image);
        MemorySink sink;
        ImageFile file{nullptr, &sink};
        std::mt19937 random(99);
        const std::int32_t extremes[] = {INT32_MIN, INT32_MAX, -1000000, 1000000, 70000, -70000};
        std::uint32_t crc = CRC_SEED;
        for (int strip = 0, remaining = g.height; remaining > 0; ++strip) {
            context.buffers.strip_rows = strip_rows_for(remaining);
            context.buffers.strip_rows_padded = rounded_up_to_8(context.buffers.strip_rows);
            remaining -= context.buffers.strip_rows;
            for (int p = 0; p < g.planes(); ++p)
                for (int i = 0; i < 32 * g.width; ++i)
                    context.buffers.row(p, 0)[i] = extremes[random() % 6];
            crc = strip_coder_for(g.bytes_per_pixel, false)(strip, crc, file, context, tables);
        }
        ASSERT_EQ(sink.bytes().size(), g.pixel_bytes());
        if (g.loss_factor != 0) {
            for (std::size_t i = 0; i < g.pixel_bytes() / (g.bytes_per_pixel == 2 ? 2 : 1); ++i)
                ASSERT_LE(test::sample_at(sink.bytes(), g.bytes_per_pixel, i), g.max_sample());
        }
    }
}

TEST(GraphicsStrip, UnknownSampleLayoutIsRefused) {
    test::expect_error(ErrorCode::invalid_parameters, [] { strip_coder_for(4, true); });
    test::expect_error(ErrorCode::invalid_parameters, [] { strip_coder_for(0, false); });
}

// Both directions of the strip coders over whole images, the residuals handed
// over directly: lossless rebuilds every byte, lossy every sample within L,
// and the decoder sees exactly what the encoder wrote back and fed the CRC.
class StripRoundTrip : public testing::TestWithParam<std::tuple<std::pair<int, int>, int, std::pair<int, int>>> {};

TEST_P(StripRoundTrip, RebuildsTheImage) {
    const auto [depth, loss_factor, size] = GetParam();
    const GraphicsImage g{size.first, size.second, depth.first, depth.second, loss_factor};
    const std::vector<std::uint8_t> pixels = test::synthetic_pixels(g, static_cast<std::uint32_t>(g.width * 131 + g.height));
    const test::PipelineResult r = test::run_strip_pipeline(test::parameters_of(g), pixels);

    ASSERT_EQ(r.decoded.size(), pixels.size());
    EXPECT_EQ(r.decoded, r.reconstructed);
    EXPECT_EQ(r.decoder_crc, r.encoder_crc);
    EXPECT_EQ(r.encoder_crc, crc_update(CRC_SEED, r.decoded.data(), r.decoded.size()));
    if (loss_factor == 0) {
        EXPECT_EQ(r.decoded, pixels);
    } else {
        const std::size_t samples = pixels.size() / (g.bytes_per_pixel == 2 ? 2 : 1);
        int worst = 0;
        for (std::size_t i = 0; i < samples; ++i)
            worst = std::max(worst, std::abs(test::sample_at(r.decoded, g.bytes_per_pixel, i) -
                                             test::sample_at(pixels, g.bytes_per_pixel, i)));
        EXPECT_LE(worst, loss_factor);
        EXPECT_GT(worst, 0) << "a lossy run that loses nothing hides a fault";
    }
}

INSTANTIATE_TEST_SUITE_P(
    DepthsLossAndShapes, StripRoundTrip,
    testing::Combine(testing::Values(std::pair{1, 8}, std::pair{2, 12}, std::pair{2, 16}, std::pair{3, 8}),
                     testing::Values(0, 1, 2, 3, 7, 12),
                     testing::Values(std::pair{32, 32}, std::pair{33, 33}, std::pair{37, 40}, std::pair{64, 48},
                                     std::pair{32, 49}, std::pair{33, 100})));

// The reference files fix the predictions, the dither and the write-back:
// the CRC of the pixels as decoded is their trailing word, and the decoded
// images are the reference's, whatever entropy coder carries the residuals.
TEST(GraphicsConformance, StripCodersReproduceTheReferenceCrcAndPixels) {
    const std::vector<test::ConformanceCase> cases = test::graphics_conformance_cases();
    ASSERT_GE(cases.size(), 40u);
    for (const test::ConformanceCase& c : cases) {
        const test::PipelineResult r = test::run_strip_pipeline(c.image, c.input_pixels, c.header_crc);
        EXPECT_EQ(r.encoder_crc, c.image_crc) << c.name;
        EXPECT_EQ(r.decoder_crc, c.image_crc) << c.name;
        EXPECT_TRUE(r.decoded == c.decoded_pixels) << c.name;
    }
}

} // namespace
} // namespace vrk
