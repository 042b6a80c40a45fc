// The graphics engine's pixel stage: prediction, the row history carried
// from strip to strip, the generator's draws, and the inverse on damaged
// residuals.
#include "graphics/strip_prediction.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <random>
#include <vector>

#include "graphics/graphics_engine.hpp"
#include "support/expect_error.hpp"
#include "support/strip_harness.hpp"
#include "support/test_images.hpp"

namespace vrk::test {
namespace {

// One run's prediction state, held by hand so that the residuals, the row
// history and the generator can be looked at after each strip. Each strip's
// samples are staged on their own, exactly as many as the strip holds.
class Prediction {
public:
    Prediction(const TestImage& image, int loss_factor)
        : near_lossless(loss_factor != 0 ? NearLossless(image.width, loss_factor, image.bits_per_sample)
                                         : NearLossless()),
          residuals(image.planes(), image.width), staged(image.bytes_per_pixel, 0), image_(image),
          image_samples_(image),
          row_samples_(static_cast<std::size_t>(image.width) * static_cast<std::size_t>(image.planes())),
          history_rows_(2 * static_cast<std::size_t>(image.planes()) * static_cast<std::size_t>(image.width)),
          predict_(strip_predictor_for(image.bytes_per_pixel, loss_factor != 0)) {
        for (std::size_t p = 0; p < static_cast<std::size_t>(image.planes()); ++p) {
            history.last[p] = history_rows_.data() + 2 * p * static_cast<std::size_t>(image.width);
            history.spare[p] = history.last[p] + image.width;
        }
        for_each_strip(image.height, [this](const Strip& strip) { strips_.push_back(strip); });
    }

    // Predicts the next strip; returns its first image row.
    int encode_next() {
        const Strip& strip = strips_[next_++];
        const int first_row = static_cast<int>(offset_ / row_samples_);
        staged = image_samples_.slice(offset_, strip.rows * row_samples_);
        offset_ += strip.rows * row_samples_;
        last_strip = strip;
        predict_(strip, staged.samples(), residuals, history, near_lossless, image_.width);
        return first_row;
    }
    std::int32_t residual(int plane, int strip_row, int x) const { return residuals.row(plane, strip_row)[x]; }

    NearLossless near_lossless;
    StripPlanes residuals;
    RowHistory history;
    SampleBuffer staged; // the last strip's samples after prediction
    Strip last_strip;

private:
    const TestImage& image_;
    SampleBuffer image_samples_;
    std::size_t row_samples_;
    std::vector<std::int32_t> history_rows_;
    StripPredictor predict_;
    std::vector<Strip> strips_;
    std::size_t next_ = 0;
    std::size_t offset_ = 0;
};

TEST(GraphicsPrediction, ConstantGreyImageCodesOneNonZeroResidual) {
    const TestImage image = make_image(32, 64, 1, 8, Pattern::constant);
    Prediction prediction(image, 0);
    for (int strip = 0; strip < 2; ++strip) {
        prediction.encode_next();
        for (int y = 0; y < 32; ++y)
            for (int x = 0; x < 32; ++x)
                ASSERT_EQ(prediction.residual(0, y, x), strip == 0 && y == 0 && x == 0 ? 85 : 0) << y << ' ' << x;
    }
}

TEST(GraphicsPrediction, LosslessFirstResidualsAreTheFirstSamples) {
    struct Case {
        int bytes_per_pixel, bits;
        std::vector<std::int32_t> first_pixel; // its samples, which are its residuals
    };
    const Case cases[] = {
        {1, 8, {200}},
        {2, 16, {0xABCD}}, // both bytes of a 16-bit sample count
        {3, 8, {12, 200, 99}},
    };
    for (const Case& c : cases) {
        TestImage image = make_image(32, 32, c.bytes_per_pixel, c.bits, Pattern::blocks, 5);
        for (std::size_t p = 0; p < c.first_pixel.size(); ++p) image.set_sample(p, c.first_pixel[p]);
        Prediction prediction(image, 0);
        prediction.encode_next();
        for (int p = 0; p < image.planes(); ++p)
            EXPECT_EQ(prediction.residual(p, 0, 0), c.first_pixel[static_cast<std::size_t>(p)]) << p;
    }
}

TEST(GraphicsPrediction, ColourPlanesArePredictedOnlyFromThemselves) {
    const TestImage grey = make_image(37, 56, 1, 8, Pattern::blocks, 11);
    TestImage colour{37, 56, 3, 8, {}};
    for (std::uint8_t s : grey.pixels) colour.pixels.insert(colour.pixels.end(), {s, s, s});
    Prediction prediction(colour, 0);
    for (int strip = 0; strip < 2; ++strip) {
        prediction.encode_next();
        for (int y = 0; y < prediction.last_strip.rows; ++y)
            for (int x = 0; x < 37; ++x) {
                ASSERT_EQ(prediction.residual(1, y, x), prediction.residual(0, y, x));
                ASSERT_EQ(prediction.residual(2, y, x), prediction.residual(0, y, x));
            }
    }
}

// In lossy mode row 0 starts from the middle of the sample range: with L = 1
// a first sample of 0 is the error -(2^(bits-1) - 1), index -(1 + m) / 3.
TEST(GraphicsPrediction, LossyRowZeroStartsFromMidRange) {
    struct Case {
        int bytes_per_pixel, bits;
        std::int32_t index;
    };
    const Case cases[] = {{1, 8, -42}, {2, 16, -10922}, {2, 10, -170}, {3, 8, -42}};
    for (const Case& c : cases) {
        TestImage image = make_image(32, 32, c.bytes_per_pixel, c.bits, Pattern::constant);
        std::fill(image.pixels.begin(), image.pixels.end(), 0);
        Prediction prediction(image, 1);
        prediction.encode_next();
        for (int p = 0; p < image.planes(); ++p) EXPECT_EQ(prediction.residual(p, 0, 0), c.index) << c.bits << " bits";
    }
}

// Column 0 is predicted from above and above-right, in row 1 as in the first
// row of a later strip, never from the end of the row before.
TEST(GraphicsPrediction, ColumnZeroIsPredictedFromAboveAndAboveRight) {
    struct Case {
        int row, above, above_right, sample, residual;
    };
    const Case cases[] = {{1, 10, 40, 25, 0}, {1, 11, 40, 30, 4}, {32, 40, 10, 20, -5}, {32, 7, 8, 0, -8}};
    for (const Case& c : cases) {
        TestImage image = make_image(40, 64, 1, 8, Pattern::blocks, 3);
        const std::size_t above = static_cast<std::size_t>(c.row - 1) * 40;
        image.pixels[above] = static_cast<std::uint8_t>(c.above);
        image.pixels[above + 1] = static_cast<std::uint8_t>(c.above_right);
        image.pixels[above + 39] = 255;
        image.pixels[above + 40] = static_cast<std::uint8_t>(c.sample);
        Prediction prediction(image, 0);
        int first_row = prediction.encode_next();
        if (c.row >= 32) first_row = prediction.encode_next();
        EXPECT_EQ(prediction.residual(0, c.row - first_row, 0), c.residual) << "row " << c.row;
    }
}

TEST(GraphicsPrediction, OneDrawPerRowExceptImageRowZeroInEveryMode) {
    struct Case {
        int bytes_per_pixel, bits, loss_factor;
    } cases[] = {{1, 8, 0}, {3, 8, 3}, {2, 12, 1}};
    for (const Case& c : cases) {
        const TestImage image = make_image(33, 56, c.bytes_per_pixel, c.bits, Pattern::blocks, 8);
        Prediction prediction(image, c.loss_factor);
        prediction.encode_next(); // 32 rows
        prediction.encode_next(); // 24 rows
        NearLossless reference;
        if (c.loss_factor >= 3) {
            const int n = 31 + 3 * image.width; // the dither table's draws come first
            reference.random_seed(static_cast<std::uint32_t>(c.loss_factor + n));
            for (int i = 0; i < 2 * n; ++i) reference.random_draw();
        }
        for (int i = 0; i < 31 + 24; ++i) reference.random_draw();
        EXPECT_EQ(prediction.near_lossless.random_draw(), reference.random_draw())
            << c.bytes_per_pixel << " bytes per pixel";
    }
}

TEST(GraphicsPrediction, RowHistoryCarriesTheLastTwoRowsAsDecoded) {
    const TestImage image = make_image(33, 40, 1, 8, Pattern::blocks, 21);
    Prediction prediction(image, 2);
    const RowHistory before = prediction.history;
    prediction.encode_next(); // 24 rows
    const RowHistory& after = prediction.history;
    // Row 0 went into `last`, then 23 rotations: the roles ended swapped.
    EXPECT_EQ(after.last[0], before.spare[0]);
    EXPECT_EQ(after.spare[0], before.last[0]);
    for (std::size_t x = 0; x < 33; ++x) {
        EXPECT_EQ(after.last[0][x], prediction.staged[23 * 33 + x]) << x; // reconstructions, not input samples
        EXPECT_EQ(after.spare[0][x], prediction.staged[22 * 33 + x]) << x;
    }
    EXPECT_FALSE(prediction.staged == SampleBuffer(image).slice(0, 24 * 33))
        << "lossy prediction writes its reconstructions back over its samples";
}

TEST(GraphicsPrediction, RowsPastTheLastStripsRowsAreLeftAsTheyStand) {
    const TestImage image = make_image(32, 33, 1, 8, Pattern::blocks, 4); // strips of 24 and 9 rows
    Prediction prediction(image, 0);
    prediction.encode_next();
    const std::vector<std::int32_t> left_over(prediction.residuals.row(0, 9), prediction.residuals.row(0, 16));
    prediction.encode_next();
    EXPECT_EQ(prediction.last_strip.padded_rows, 16);
    EXPECT_EQ(std::vector<std::int32_t>(prediction.residuals.row(0, 9), prediction.residuals.row(0, 16)), left_over);
}

TEST(GraphicsPrediction, LossySamplesAboveTheDeclaredDepthAreRefused) {
    TestImage image = make_image(32, 64, 2, 12, Pattern::blocks, 9);
    image.set_sample(40 * 32 + 5, 4096); // in the second strip
    Prediction prediction(image, 3);
    prediction.encode_next();
    EXPECT_ERROR(ErrorCode::invalid_parameters, [&] { prediction.encode_next(); });

    // Lossless prediction takes any 16-bit value.
    image.set_sample(7, 65535);
    const ImageHeader header = header_of(make_image(32, 64, 2, 12, Pattern::constant), {.graphics = true});
    const PixelStageResult result = run_pixel_stages<GraphicsEngine>(header.image, image.pixels);
    EXPECT_EQ(result.decoded, image.pixels);
}

// The inverse on whatever residuals a damaged file gives: every lookup stays
// inside its table, sums wrap instead of overflowing, lossy values stay in
// range.
TEST(GraphicsPrediction, DamagedResidualsDecodeWithoutLeavingTheTables) {
    struct Case {
        int width, bytes_per_pixel, bits, loss_factor;
    } cases[] = {{32, 1, 8, 3}, {33, 2, 10, 12}, {32, 2, 16, 1}, {32, 3, 8, 7}, {32, 1, 8, 0}, {32, 2, 16, 0}};
    for (const Case& c : cases) {
        const TestImage shape = make_image(c.width, 40, c.bytes_per_pixel, c.bits, Pattern::constant);
        const ImageHeader header = header_of(shape, {.graphics = true, .loss_factor = c.loss_factor});
        GraphicsEngine engine(header.image);
        StripPlanes residuals(shape.planes(), c.width);
        const std::size_t row_samples = static_cast<std::size_t>(c.width * shape.planes());
        SampleBuffer samples(c.bytes_per_pixel, max_strip_rows * row_samples);
        std::size_t decoded = 0;
        std::mt19937 random(99);
        const std::int32_t extremes[] = {INT32_MIN, INT32_MAX, -1000000, 1000000, 70000, -70000};
        for_each_strip(shape.height, [&](const Strip& strip) {
            for (int p = 0; p < shape.planes(); ++p)
                for (int i = 0; i < max_strip_rows * c.width; ++i) residuals.row(p, 0)[i] = extremes[random() % 6];
            engine.inverse(strip, residuals, samples.samples());
            const std::size_t count = static_cast<std::size_t>(strip.rows) * row_samples;
            if (c.loss_factor != 0) {
                for (std::size_t i = 0; i < count; ++i)
                    ASSERT_LE(samples[i], shape.max_sample()) << "strip " << strip.index << ", sample " << i;
            }
            decoded += count;
        });
        ASSERT_EQ(decoded, shape.sample_count());
    }
}

} // namespace
} // namespace vrk::test
