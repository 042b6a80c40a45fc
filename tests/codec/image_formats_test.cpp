// The image file readers (raw, Sun raster, PNM): what they accept, what they
// keep, and what they refuse.
#include "formats/image_formats.hpp"

#include <gtest/gtest.h>

#include <array>
#include <climits>
#include <string>
#include <vector>

#include "support/expect_error.hpp"
#include "support/files.hpp"

namespace vrk::test {
namespace {

struct ReadResult {
    ImageParameters image;
    std::uint32_t crc = 0;
    std::size_t next_byte_position = 0; // where the source stands afterwards
};

ReadResult read_header(const Bytes& file, ImageFormat format, const RawShape& raw = {}, int loss_factor = 0,
                       std::uint32_t mode_flags = 0) {
    MemorySource source(file);
    ReadResult result;
    result.image.loss_factor = loss_factor;
    result.image.mode_flags = mode_flags;
    result.crc = read_image_parameters(source, format, raw, result.image);
    Bytes rest(file.size());
    result.next_byte_position = file.size() - source.read(rest.data(), rest.size());
    return result;
}

Bytes with_pixels(const std::string& header, std::size_t pixel_bytes) {
    Bytes file = bytes_of(header);
    file.resize(file.size() + pixel_bytes, 0x55);
    return file;
}

// --- PNM ---

TEST(PnmHeader, PlainGreyHeader) {
    const ReadResult r = read_header(with_pixels("P5\n512 480\n255\n", 512 * 480), ImageFormat::pgm);
    EXPECT_EQ(r.image.width, 512);
    EXPECT_EQ(r.image.height, 480);
    EXPECT_EQ(r.image.bytes_per_pixel, 1);
    EXPECT_EQ(r.image.bits_per_sample, 8);
    EXPECT_EQ(r.image.image_header_size(), 15);
    EXPECT_EQ(r.next_byte_position, 15u);
    const std::array<std::uint8_t, 12> expected = {0xF4, 0x1B, 0x0D, 0x00, 0x01, 0xE0,
                                                   0x02, 0x00, 0x00, 0x0F, 0x00, 0x00};
    EXPECT_EQ(r.image.container_header, expected);
    EXPECT_EQ(r.crc, 0x3AC20FC0u);
}

TEST(PnmHeader, HeaderVariants) {
    struct Case {
        const char* header;
        int width, height, bytes_per_pixel, bits_per_sample, header_size;
    } cases[] = {
        // A comment line and a CR LF line end both belong to the header.
        {"P5\n# a comment\n512 480\n1023\r\n", 512, 480, 2, 10, 29},
        {"P5 512 480 255\n", 512, 480, 1, 8, 15},
        {"P5\r64 32\r255\rX", 64, 32, 1, 8, 13}, // a CR not followed by LF ends the header alone
        // '#' right after a digit is no comment: its text separates and its digits are numbers.
        {"P5\n64# 40 255\n", 64, 40, 1, 8, 14},
        {"P5\n64 40 255 trailing text\n", 64, 40, 1, 8, 27},
        {"P6\n40 33\n65535\n", 40, 33, 3, 8, 15}, // P6 ignores the maximum value
        {"P5\n32 32\n256\n", 32, 32, 2, 9, 13},
        {"P5\n32 32\n65535\n", 32, 32, 2, 16, 15},
        {"P6\n32 32 255\n", 32, 32, 3, 8, 13},
    };
    for (const Case& c : cases) {
        const ReadResult r = read_header(with_pixels(c.header, 8), ImageFormat::pgm);
        EXPECT_EQ(r.image.width, c.width) << c.header;
        EXPECT_EQ(r.image.height, c.height) << c.header;
        EXPECT_EQ(r.image.bytes_per_pixel, c.bytes_per_pixel) << c.header;
        EXPECT_EQ(r.image.bits_per_sample, c.bits_per_sample) << c.header;
        EXPECT_EQ(r.image.image_header_size(), c.header_size) << c.header;
        EXPECT_EQ(r.next_byte_position, static_cast<std::size_t>(c.header_size)) << c.header;
        EXPECT_EQ(std::string(r.image.image_header_bytes.begin(), r.image.image_header_bytes.end()),
                  std::string(c.header, static_cast<std::size_t>(c.header_size)));
    }
}

TEST(PnmHeader, FormatIndexComesFromTheExtension) {
    EXPECT_EQ(read_header(with_pixels("P6\n32 32\n255\n", 0), ImageFormat::pgm).image.format, ImageFormat::pgm);
    EXPECT_EQ(read_header(with_pixels("P5\n32 32\n255\n", 0), ImageFormat::ppm).image.container_header[2], 0x11);
    EXPECT_EQ(read_header(with_pixels("P6\n32 32\n255\n", 0), ImageFormat::ppm).image.container_header[2], 0x13);
}

TEST(PnmHeader, Refusals) {
    struct Case {
        std::string file;
        ErrorCode code;
    } cases[] = {
        {"P2\n32 32\n255\n", ErrorCode::unsupported_image},
        {"P4\n32 32\n", ErrorCode::unsupported_image},
        {"X5\n32 32\n255\n", ErrorCode::unsupported_image},
        {"P", ErrorCode::cannot_read},
        {"P5\n32 32\n255", ErrorCode::cannot_read},
        {"P5\n# comment without end", ErrorCode::cannot_read},
        {"P5\n31 32\n255\n", ErrorCode::invalid_dimension},
        {"P5\n32 31\n255\n", ErrorCode::invalid_dimension},
        {"P5\n32 32\n65536\n", ErrorCode::invalid_parameters},      // 17 bits per sample
        {"P5\n65536 32\n255\n", ErrorCode::invalid_parameters},     // cannot be stored in the header
        {"P5\n2147483648 32\n255\n", ErrorCode::unsupported_image}, // beyond int
        {"P5\n#" + std::string(70000, 'c') + "\n32 32\n255\n", ErrorCode::unsupported_image}, // header too long
    };
    for (const Case& c : cases)
        EXPECT_ERROR(c.code, [&] { read_header(bytes_of(c.file), ImageFormat::pgm); }) << c.file.substr(0, 30);
}

TEST(PnmHeader, LossFactorIsChecked) {
    EXPECT_EQ(read_header(with_pixels("P5\n32 32\n255\n", 0), ImageFormat::pgm, {}, 12).image.container_header[3],
              0xC0);
    for (const int loss_factor : {13, -1})
        EXPECT_ERROR(ErrorCode::invalid_parameters, [&] {
            read_header(bytes_of("P5\n32 32\n255\n"), ImageFormat::pgm, {}, loss_factor);
        }) << loss_factor;
}

// --- Sun raster ---

std::vector<std::uint8_t> sun_raster(std::uint32_t width, std::uint32_t height, std::uint32_t depth, std::uint32_t type,
                                     std::uint32_t map_length) {
    std::vector<std::uint8_t> file;
    for (std::uint32_t word : {0x59A66A95u, width, height, depth, 0u, type, 1u, map_length})
        for (int shift = 24; shift >= 0; shift -= 8) file.push_back(static_cast<std::uint8_t>(word >> shift));
    file.resize(file.size() + map_length, 0x77);
    return file;
}

TEST(SunRasterHeader, KeepsHeaderAndColourMap) {
    const ReadResult r = read_header(sun_raster(40, 33, 8, 1, 768), ImageFormat::sun_raster);
    EXPECT_EQ(r.image.width, 40);
    EXPECT_EQ(r.image.height, 33);
    EXPECT_EQ(r.image.bytes_per_pixel, 1);
    EXPECT_EQ(r.image.image_header_size(), 800);
    EXPECT_EQ(r.next_byte_position, 800u);
    EXPECT_EQ(read_header(sun_raster(32, 32, 24, 1, 0), ImageFormat::sun_raster).image.container_header[2], 0x0B);
}

TEST(SunRasterHeader, Refusals) {
    std::vector<std::uint8_t> bad_magic = sun_raster(32, 32, 8, 1, 0);
    bad_magic[0] = 0;
    std::vector<std::uint8_t> short_map = sun_raster(32, 32, 8, 1, 16);
    short_map.resize(40);
    struct Case {
        std::vector<std::uint8_t> file;
        ErrorCode code;
    } cases[] = {
        {bad_magic, ErrorCode::unsupported_image},
        {sun_raster(32, 32, 8, 0, 0), ErrorCode::unsupported_image},
        {sun_raster(32, 32, 8, 2, 0), ErrorCode::unsupported_image},
        {sun_raster(32, 32, 16, 1, 0), ErrorCode::unsupported_image},
        {{0x59, 0xA6, 0x6A, 0x95, 0, 0}, ErrorCode::cannot_read},
        {short_map, ErrorCode::cannot_read},
        {sun_raster(31, 32, 8, 1, 0), ErrorCode::invalid_dimension},
        {sun_raster(0x80000000u, 32, 8, 1, 0), ErrorCode::unsupported_image},
        {sun_raster(70000, 32, 8, 1, 0), ErrorCode::invalid_parameters},
    };
    for (std::size_t i = 0; i < std::size(cases); ++i)
        EXPECT_ERROR(cases[i].code, [&] { read_header(cases[i].file, ImageFormat::sun_raster); }) << "case " << i;
}

// --- raw ---

TEST(RawParameters, DefaultsAndHeaderBytes) {
    struct Case {
        RawShape raw;
        int bits_per_sample;
        std::uint8_t byte2, byte3;
    } cases[] = {
        {{640, 640, 1, 0}, 8, 0x05, 0x00},
        {{640, 480, 2, 0}, 16, 0x06, 0x08},
        {{64, 32, 3, 7}, 8, 0x07, 0x70},
        {{64, 32, 2, 12}, 16, 0x06, 0xC8},
    };
    for (const Case& c : cases) {
        const ReadResult r = read_header({}, ImageFormat::raw, c.raw);
        EXPECT_EQ(r.image.width, c.raw.width);
        EXPECT_EQ(r.image.height, c.raw.height);
        EXPECT_EQ(r.image.bytes_per_pixel, c.raw.bytes_per_pixel);
        EXPECT_EQ(r.image.bits_per_sample, c.bits_per_sample);
        EXPECT_EQ(r.image.loss_factor, c.raw.loss_factor);
        EXPECT_EQ(r.image.container_header[2], c.byte2);
        EXPECT_EQ(r.image.container_header[3], c.byte3);
        EXPECT_EQ(r.image.image_header_size(), 0);
    }
    EXPECT_EQ(read_header({}, ImageFormat::raw, {64, 64, 1, 0}).crc, 0xEEA7B7FCu);
    EXPECT_EQ(
        read_header({}, ImageFormat::raw, {64, 64, 1, 0}, 0, mode_fast | mode_graphics).image.container_header[10], 3);
}

TEST(RawParameters, Refusals) {
    struct Case {
        RawShape raw;
        ErrorCode code;
    } cases[] = {
        {{31, 31, 1, 0}, ErrorCode::invalid_dimension},
        {{64, 0, 1, 0}, ErrorCode::invalid_dimension},
        {{64, 64, 4, 0}, ErrorCode::invalid_parameters},
        {{64, 64, 0, 0}, ErrorCode::invalid_parameters}, // no engine codes 0 bytes per pixel
        {{64, 64, -1, 0}, ErrorCode::invalid_parameters},
        {{64, 64, 1, 13}, ErrorCode::invalid_parameters},
        {{64, 64, 1, -1}, ErrorCode::invalid_parameters},
        {{65536, 64, 1, 0}, ErrorCode::invalid_parameters},
        {{INT_MAX, INT_MAX, 1, 0}, ErrorCode::invalid_parameters},
    };
    for (const Case& c : cases)
        EXPECT_ERROR(c.code, [&] { read_header({}, ImageFormat::raw, c.raw); })
            << c.raw.width << " x " << c.raw.height << ", " << c.raw.bytes_per_pixel << " bytes a pixel, loss "
            << c.raw.loss_factor;
}

} // namespace
} // namespace vrk::test
