// The wavelet engine's samples: a strip's samples into planes (with the
// colour transform), the padding of a strip, and planes into samples again
// (the inverse colour transform).
#include "wavelet/wavelet_samples.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "support/expect_error.hpp"
#include "support/test_images.hpp"

namespace vrk::test {
namespace {

ImageParameters parameters(int width, int bytes_per_pixel, int bits_per_sample = 8, int loss_factor = 0) {
    ImageParameters image;
    image.width = width;
    image.height = 64;
    image.bytes_per_pixel = bytes_per_pixel;
    image.bits_per_sample = bits_per_sample;
    image.loss_factor = loss_factor;
    return image;
}

Strip strip_of(int rows) { return Strip{1, rows, (rows + 7) / 8 * 8, false, 32}; }

// Planes as wide as the padded width of the image.
StripPlanes planes_for(const ImageParameters& image) {
    return StripPlanes(image.plane_count(), (image.width + 7) / 8 * 8);
}

TEST(WaveletSamples, ColourPixelsBecomeAverageAndDifferencesAndTheInverseIsExact) {
    const ImageParameters image = parameters(32, 3);
    const Strip strip = strip_of(2);
    SampleBuffer samples(make_image(32, 2, 3, 8, Pattern::noise, 1));
    const int first[] = {255, 0, 255}, second[] = {0, 255, 0};
    for (std::size_t i = 0; i < 3; ++i) {
        samples.set(i, first[i]);
        samples.set(3 + i, second[i]);
    }

    StripPlanes planes = planes_for(image);
    unpack_samples(image, strip, samples.samples(), planes);
    EXPECT_EQ((std::vector<std::int32_t>{planes.row(0, 0)[0], planes.row(1, 0)[0], planes.row(2, 0)[0]}),
              (std::vector<std::int32_t>{127, 255, 255}));
    EXPECT_EQ((std::vector<std::int32_t>{planes.row(0, 0)[1], planes.row(1, 0)[1], planes.row(2, 0)[1]}),
              (std::vector<std::int32_t>{127, -255, -255}));

    SampleBuffer packed(3, samples.size());
    pack_samples(image, strip, planes, packed.samples());
    EXPECT_TRUE(packed == samples);
}

TEST(WaveletSamples, LosslessInverseRestoresSamplesOfEveryDepth) {
    for (const int bytes_per_pixel : {1, 2, 3}) {
        const int bits = bytes_per_pixel == 2 ? 16 : 8;
        const ImageParameters image = parameters(33, bytes_per_pixel, bits);
        SampleBuffer samples(make_image(33, 9, bytes_per_pixel, bits, Pattern::noise, 2));
        StripPlanes planes = planes_for(image);
        unpack_samples(image, strip_of(9), samples.samples(), planes);
        if (bytes_per_pixel != 3) {
            // Grey samples land in plane 0 unchanged: one sample a pixel, rows width samples apart.
            for (int r = 0; r < 9; ++r)
                for (int c = 0; c < 33; ++c)
                    ASSERT_EQ(planes.row(0, r)[c], samples[static_cast<std::size_t>(r * 33 + c)])
                        << bytes_per_pixel << " bytes per pixel, row " << r << ", column " << c;
        }
        SampleBuffer packed(bytes_per_pixel, samples.size());
        pack_samples(image, strip_of(9), planes, packed.samples());
        EXPECT_TRUE(packed == samples) << bytes_per_pixel << " bytes per pixel";
    }
}

TEST(WaveletSamples, LosslessOutputKeepsLowBitsAndLossyOutputClamps) {
    struct Case {
        int bytes_per_pixel, bits_per_sample, loss_factor;
        std::vector<std::int32_t> planes; // one pixel: Y (, U, V)
        std::vector<int> expected;        // its samples
    };
    const Case cases[] = {
        {3, 8, 3, {10, 50, -60}, {63, 13, 0}},   // G = 10 - (-10 >> 2) = 13; V + G = -47 clamps
        {3, 8, 3, {300, 0, 0}, {255, 255, 255}}, // G clamps before the sums
        {3, 8, 0, {10, 50, -60}, {63, 13, 209}}, // lossless: the low byte of -47
        {1, 8, 5, {-5}, {0}},
        {1, 8, 5, {300}, {255}},
        {1, 8, 0, {-5}, {251}},
        {1, 8, 0, {300}, {44}},
        {2, 12, 1, {5000}, {4095}}, // clamped to 2^12 - 1
        {2, 12, 1, {-1}, {0}},
        {2, 12, 0, {5000}, {5000}},  // lossless writes whatever 16 bits there are
        {2, 12, 0, {-1}, {0xFFFF}},  // the low 16 bits of -1
        {2, 16, 0, {70000}, {4464}}, // 70000 - 65536
        {2, 16, 1, {70000}, {0xFFFF}},
    };
    for (const Case& c : cases) {
        const ImageParameters image = parameters(32, c.bytes_per_pixel, c.bits_per_sample, c.loss_factor);
        StripPlanes planes = planes_for(image);
        for (std::size_t p = 0; p < c.planes.size(); ++p)
            std::fill_n(planes.row(static_cast<int>(p), 0), 32, c.planes[p]);
        const std::size_t per_pixel = c.planes.size();
        SampleBuffer samples(c.bytes_per_pixel, 32 * per_pixel);
        pack_samples(image, strip_of(1), planes, samples.samples());
        for (std::size_t x = 0; x < 32; ++x) {
            std::vector<int> pixel;
            for (std::size_t s = 0; s < per_pixel; ++s) pixel.push_back(samples[x * per_pixel + s]);
            ASSERT_EQ(pixel, c.expected) << c.bytes_per_pixel << " bytes, loss " << c.loss_factor << ", Y "
                                         << c.planes[0] << ", pixel " << x;
        }
    }
}

TEST(WaveletSamples, SixteenBitSamplesBeyondTheDepthAreRefused) {
    for (const int loss_factor : {0, 5}) {
        const ImageParameters image = parameters(32, 2, 12, loss_factor);
        StripPlanes planes = planes_for(image);
        SampleBuffer samples(2, 32 * 32);
        samples.set(500, 4095); // fits 12 bits
        EXPECT_NO_THROW(unpack_samples(image, strip_of(32), samples.samples(), planes));
        samples.set(32 * 32 - 1, 4096); // does not, in the last sample of the strip
        EXPECT_ERROR(ErrorCode::invalid_parameters,
                     [&] { unpack_samples(image, strip_of(32), samples.samples(), planes); })
            << "loss factor " << loss_factor;
    }
}

TEST(WaveletSamples, PaddingSmoothsRowsThenColumnsTruncatingTowardsZero) {
    // 9 rows of 33 columns pad to 16 x 40. Zero everywhere except a few
    // values chosen so that flooring and truncation differ.
    const ImageParameters image = parameters(33, 1);
    StripPlanes planes = planes_for(image);
    for (int r = 0; r < 16; ++r) std::fill_n(planes.row(0, r), 40, 99); // padding must overwrite this
    for (int r = 0; r < 9; ++r) std::fill_n(planes.row(0, r), 33, 0);
    planes.row(0, 8)[0] = -3;
    planes.row(0, 8)[1] = -2;
    planes.row(0, 8)[2] = 4;
    planes.row(0, 0)[32] = 30;
    planes.row(0, 1)[32] = -31;
    planes.row(0, 2)[32] = -40;

    pad_strip(image, strip_of(9), 40, planes);

    auto at = [&](int r, int c) { return planes.row(0, r)[c]; };
    // Rows from the row above: (-3 + -2) / 2 = -2, (-3 - 2 + 4) / 3 = 0.
    EXPECT_EQ(at(9, 0), -2);
    EXPECT_EQ(at(9, 1), 0);
    EXPECT_EQ(at(9, 2), 0);
    EXPECT_EQ(at(9, 3), 1);
    EXPECT_EQ(at(10, 0), -1); // from the padded row 9, not from the image
    EXPECT_EQ(at(15, 32), 0);
    // Columns from the column to the left, the last one from padding too.
    const std::vector<std::int32_t> column33 = {at(0, 33), at(1, 33), at(2, 33), at(3, 33), at(4, 33)};
    EXPECT_EQ(column33, (std::vector<std::int32_t>{0, -13, -23, -13, 0}));
    const std::vector<std::int32_t> column34 = {at(0, 34), at(1, 34), at(2, 34), at(3, 34), at(4, 34)};
    EXPECT_EQ(column34, (std::vector<std::int32_t>{-6, -12, -16, -12, -4}));
    for (int r = 0; r < 16; ++r)
        for (int c = 0; c < 40; ++c) ASSERT_NE(at(r, c), 99) << r << "," << c;
}

TEST(WaveletSamples, NegativeColourDifferencesPadByTruncation) {
    // Plane 1 of a colour strip: a - b = -255 next to -254 averages to -254.
    const ImageParameters image = parameters(32, 3);
    StripPlanes planes = planes_for(image);
    SampleBuffer samples(3, 9 * 32 * 3);
    for (std::size_t c = 0; c < 32; ++c) samples.set((8 * 32 + c) * 3 + 1, c == 0 ? 255 : 254);
    unpack_samples(image, strip_of(9), samples.samples(), planes);
    pad_strip(image, strip_of(9), 32, planes);
    EXPECT_EQ(planes.row(1, 8)[0], -255);
    EXPECT_EQ(planes.row(1, 9)[0], -254);
    EXPECT_EQ(planes.row(1, 9)[1], -254); // (-255 - 254 - 254) / 3 = -254.33
}

} // namespace
} // namespace vrk::test
