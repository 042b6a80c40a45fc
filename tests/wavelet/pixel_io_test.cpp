#include "wavelet/pixel_io.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "frontend/crc.hpp"
#include "wavelet/test_image.hpp"

namespace vrk {
namespace {

using Bytes = std::vector<std::uint8_t>;
using test::make_context;
using test::random_bytes;
using test::set_strip_rows;

// Writes one row of the planes and returns the bytes and the CRC.
std::pair<Bytes, std::uint32_t> write_one_row(CodecContext& context) {
    MemorySink sink;
    const std::uint32_t crc = write_strip(CRC_SEED, sink, context);
    return {sink.take(), crc};
}

TEST(PixelIo, ColourPixelsBecomeAverageAndDifferencesAndComeBackExactly) {
    CodecContext context = make_context(32, 32, 3);
    set_strip_rows(context.buffers, 2);
    Bytes pixels = random_bytes(2 * 32 * 3, 1);
    const Bytes first = {255, 0, 255}, second = {0, 255, 0};
    std::copy(first.begin(), first.end(), pixels.begin());
    std::copy(second.begin(), second.end(), pixels.begin() + 3);

    MemorySource source(pixels);
    const std::uint32_t read_crc = read_strip(CRC_SEED, source, context);
    EXPECT_EQ(read_crc, crc_update(CRC_SEED, pixels.data(), pixels.size()));
    const CodecBuffers& b = context.buffers;
    EXPECT_EQ((std::vector<std::int32_t>{b.row(0, 0)[0], b.row(1, 0)[0], b.row(2, 0)[0]}),
              (std::vector<std::int32_t>{127, 255, 255}));
    EXPECT_EQ((std::vector<std::int32_t>{b.row(0, 0)[1], b.row(1, 0)[1], b.row(2, 0)[1]}),
              (std::vector<std::int32_t>{127, -255, -255}));

    const auto [bytes, write_crc] = write_one_row(context);
    EXPECT_EQ(bytes, pixels);
    EXPECT_EQ(write_crc, read_crc);
}

TEST(PixelIo, SamplesOfEveryDepthRoundTripLosslessly) {
    for (const int bytes_per_pixel : {1, 2, 3}) {
        CodecContext context = make_context(40, 33, bytes_per_pixel, bytes_per_pixel == 2 ? 16 : 8);
        set_strip_rows(context.buffers, 9);
        const Bytes pixels = random_bytes(9 * 33 * static_cast<std::size_t>(bytes_per_pixel), 2);
        MemorySource source(pixels);
        read_strip(0, source, context);
        MemorySink sink;
        write_strip(0, sink, context);
        EXPECT_EQ(sink.bytes(), pixels) << bytes_per_pixel << " bytes per pixel";
    }
}

TEST(PixelIo, LosslessOutputKeepsLowBitsAndLossyOutputClamps) {
    struct Case {
        int bytes_per_pixel, bits_per_sample, loss_factor;
        std::vector<std::int32_t> planes; // one pixel: Y (, U, V)
        Bytes expected;
    };
    const Case cases[] = {
        {3, 8, 3, {10, 50, -60}, {63, 13, 0}},      // G = 10 - (-10 >> 2) = 13; V + G = -47 clamps
        {3, 8, 3, {300, 0, 0}, {255, 255, 255}},    // G clamps before the sums
        {3, 8, 0, {10, 50, -60}, {63, 13, 209}},    // lossless: the low byte of -47
        {1, 8, 5, {-5}, {0}},
        {1, 8, 5, {300}, {255}},
        {1, 8, 0, {-5}, {251}},
        {1, 8, 0, {300}, {44}},
        {2, 12, 1, {5000}, {0x0F, 0xFF}},           // clamped to 2^12 - 1
        {2, 12, 1, {-1}, {0x00, 0x00}},
        {2, 12, 0, {5000}, {0x13, 0x88}},           // lossless writes whatever 16 bits there are
        {2, 16, 1, {70000}, {0xFF, 0xFF}},
    };
    for (const Case& c : cases) {
        CodecContext context = make_context(32, 32, c.bytes_per_pixel, c.bits_per_sample, c.loss_factor);
        set_strip_rows(context.buffers, 1);
        for (std::size_t p = 0; p < c.planes.size(); ++p) {
            std::int32_t* row = context.buffers.row(static_cast<int>(p), 0);
            std::fill(row, row + 32, c.planes[p]);
        }
        const auto [bytes, crc] = write_one_row(context);
        ASSERT_EQ(bytes.size(), 32u * c.bytes_per_pixel);
        EXPECT_EQ(Bytes(bytes.begin(), bytes.begin() + c.bytes_per_pixel), c.expected)
            << c.bytes_per_pixel << " bytes, loss " << c.loss_factor << ", Y " << c.planes[0];
        // Lossy runs protect coefficients, not pixels: the CRC is left alone.
        EXPECT_EQ(crc, c.loss_factor == 0 ? crc_update(CRC_SEED, bytes.data(), bytes.size()) : CRC_SEED);
    }
}

TEST(PixelIo, LossyReadLeavesTheCrcAlone) {
    CodecContext context = make_context(32, 32, 1, 8, 4);
    set_strip_rows(context.buffers, 32);
    const Bytes pixels = random_bytes(32 * 32, 3);
    MemorySource source(pixels);
    EXPECT_EQ(read_strip(CRC_SEED, source, context), CRC_SEED);
}

TEST(PixelIo, TwoByteSamplesBeyondTheDepthAreRefused) {
    for (const int loss_factor : {0, 5}) {
        CodecContext context = make_context(32, 32, 2, 12, loss_factor);
        set_strip_rows(context.buffers, 32);
        Bytes pixels(32 * 32 * 2, 0);
        pixels[2 * 500] = 0x0F; // 4095 fits 12 bits
        pixels[2 * 500 + 1] = 0xFF;
        MemorySource fits(pixels);
        EXPECT_NO_THROW(read_strip(0, fits, context));
        pixels[2 * 700] = 0x10; // 4096 does not
        MemorySource too_deep(pixels);
        EXPECT_EQ(test::error_of([&] { read_strip(0, too_deep, context); }), ErrorCode::invalid_parameters);
    }
}

TEST(PixelIo, ShortImageIsAReadError) {
    CodecContext context = make_context(32, 32, 1);
    set_strip_rows(context.buffers, 32);
    const Bytes pixels = random_bytes(32 * 32 - 1, 4);
    MemorySource source(pixels);
    EXPECT_EQ(test::error_of([&] { read_strip(0, source, context); }), ErrorCode::cannot_read);
}

TEST(PixelIo, PaddingSmoothsRowsThenColumnsTruncatingTowardsZero) {
    // 9 rows of 33 columns pad to 16 x 40. Zero everywhere except a few
    // values chosen so that flooring and truncation differ.
    CodecContext context = make_context(40, 33, 1);
    CodecBuffers& b = context.buffers;
    set_strip_rows(b, 9);
    ASSERT_EQ(b.strip_rows_padded, 16);
    ASSERT_EQ(b.padded_width, 40);
    for (int r = 0; r < 16; ++r) std::fill(b.row(0, r), b.row(0, r) + 40, 99); // padding must overwrite this
    for (int r = 0; r < 9; ++r) std::fill(b.row(0, r), b.row(0, r) + 33, 0);
    b.row(0, 8)[0] = -3;
    b.row(0, 8)[1] = -2;
    b.row(0, 8)[2] = 4;
    b.row(0, 0)[32] = 30;
    b.row(0, 1)[32] = -31;
    b.row(0, 2)[32] = -40;

    pad_strip(context);

    auto at = [&](int r, int c) { return b.row(0, r)[c]; };
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

TEST(PixelIo, NegativeColourDifferencesPadByTruncation) {
    // Plane 1 of a colour strip: a - b = -255 next to -254 averages to -254.
    CodecContext context = make_context(40, 32, 3);
    set_strip_rows(context.buffers, 9);
    Bytes pixels(9 * 32 * 3, 0);
    for (int c = 0; c < 32; ++c) pixels[(8 * 32 + c) * 3 + 1] = static_cast<std::uint8_t>(c == 0 ? 255 : 254);
    MemorySource source(pixels);
    read_strip(0, source, context);
    pad_strip(context);
    EXPECT_EQ(context.buffers.row(1, 8)[0], -255);
    EXPECT_EQ(context.buffers.row(1, 9)[0], -254);
    EXPECT_EQ(context.buffers.row(1, 9)[1], -254); // (-255 - 254 - 254) / 3 = -254.33
}

} // namespace
} // namespace vrk
