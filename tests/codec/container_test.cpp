// The 12-byte container header: written from the image's fields, read back
// by the compressed-file reader, and refused where no encoder writes it.
#include "codec/container.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <string>

#include "codec/compressed_stream.hpp"
#include "core/crc.hpp"
#include "support/expect_error.hpp"
#include "support/files.hpp"

namespace vrk::test {
namespace {

Bytes container(std::array<std::uint8_t, 12> header, const std::string& image_header = {}) {
    Bytes file(header.size() + image_header.size());
    std::copy(header.begin(), header.end(), file.begin());
    std::copy(image_header.begin(), image_header.end(), file.begin() + static_cast<std::ptrdiff_t>(header.size()));
    return file;
}

struct ReadResult {
    ImageParameters image;
    std::uint32_t crc = 0;
    std::size_t next_byte_position = 0; // where the source stands afterwards
};

ReadResult read_compressed(const Bytes& file) {
    MemorySource source(file);
    ReadResult result;
    result.crc = CompressedReader(source).read_headers(result.image);
    Bytes rest(file.size());
    result.next_byte_position = file.size() - source.read(rest.data(), rest.size());
    return result;
}

TEST(ContainerHeader, ReadsEveryField) {
    const ReadResult r = read_compressed(
        container({0xF4, 0x1B, 0x0E, 0x54, 0x01, 0xE0, 0x02, 0x00, 0x00, 0x0F, 0x03, 0x99}, "P5\n512 480\n4095\n"));
    EXPECT_EQ(r.image.format, ImageFormat::pgm);
    EXPECT_EQ(r.image.bytes_per_pixel, 2);
    EXPECT_EQ(r.image.loss_factor, 5);
    EXPECT_EQ(r.image.bits_per_sample, 12);
    EXPECT_EQ(r.image.height, 480);
    EXPECT_EQ(r.image.width, 512);
    EXPECT_EQ(r.image.image_header_size(), 15);
    EXPECT_EQ(r.image.mode_flags, 3u);
    EXPECT_EQ(r.image.plane_count(), 1);
    EXPECT_EQ(r.next_byte_position, 27u);
    // The header CRC: the image header, then the 12 bytes as they stand (the reserved byte too).
    EXPECT_EQ(r.crc, crc_update(crc_update(CRC_SEED, r.image.image_header_bytes.data(), 15),
                                r.image.container_header.data(), 12));
}

TEST(ContainerHeader, MakeAndReadAgree) {
    ImageParameters image;
    image.format = ImageFormat::ppm;
    image.bytes_per_pixel = 3;
    image.bits_per_sample = 8;
    image.loss_factor = 9;
    image.width = 1000;
    image.height = 33;
    image.mode_flags = mode_graphics;
    image.image_header_bytes = bytes_of("P6\n1000 33\n255\n");
    make_container_header(image);
    const ReadResult r = read_compressed(container(image.container_header, "P6\n1000 33\n255\n"));
    EXPECT_EQ(r.image.container_header, image.container_header);
    EXPECT_EQ(r.image.format, ImageFormat::ppm);
    EXPECT_EQ(r.image.plane_count(), 3);
    EXPECT_EQ(r.image.width, 1000);
    EXPECT_EQ(r.image.loss_factor, 9);
}

TEST(ContainerHeader, Refusals) {
    struct Case {
        Bytes file;
        ErrorCode code;
    } cases[] = {
        {Bytes{0xF4, 0x1B, 0x0D}, ErrorCode::cannot_read}, // cut inside the 12 bytes, magic not yet tested
        {Bytes{0x00, 0x00, 0x0D}, ErrorCode::cannot_read},
        {container({0xF4, 0x1C, 0x0D, 0, 0, 64, 0, 64, 0, 0, 0, 0}), ErrorCode::invalid_compressed_file},
        {container({0xF4, 0x1B, 0x0D, 0, 0, 64, 0, 64, 0, 15, 0, 0}, "P5\n"), ErrorCode::cannot_read},
        {container({0xF4, 0x1B, 0x0D, 0, 0, 31, 0, 64, 0, 0, 0, 0}), ErrorCode::invalid_dimension},
        {container({0xF4, 0x1B, 0x0D, 0xD0, 0, 64, 0, 64, 0, 0, 0, 0}), ErrorCode::invalid_parameters},   // loss 13
        {container({0xF4, 0x1B, 0x0E, 0x09, 0, 64, 0, 64, 0, 0, 0, 0}), ErrorCode::invalid_parameters},   // 17 bits
        {container({0xF4, 0x1B, 0x19, 0, 0, 64, 0, 64, 0, 0, 0, 0}), ErrorCode::invalid_parameters},      // format 6
        {container({0xF4, 0x1B, 0x01, 0, 0, 64, 0, 64, 0, 0, 0, 0}), ErrorCode::invalid_compressed_file}, // format 0
        {container({0xF4, 0x1B, 0x15, 0, 0, 64, 0, 64, 0, 0, 0, 0}), ErrorCode::invalid_compressed_file}, // format 5
        {container({0xF4, 0x1B, 0x0C, 0, 0, 64, 0, 64, 0, 0, 0, 0}), ErrorCode::invalid_compressed_file}, // 0 bytes
        {container({0xF4, 0x1B, 0x0D, 0x04, 0, 64, 0, 64, 0, 0, 0, 0}), ErrorCode::invalid_compressed_file},
        {container({0xF4, 0x1B, 0x0F, 0x01, 0, 64, 0, 64, 0, 0, 0, 0}), ErrorCode::invalid_compressed_file},
        {container({0xF4, 0x1B, 0x0E, 0x00, 0, 64, 0, 64, 0, 0, 0, 0}), ErrorCode::invalid_compressed_file},
        {container({0xF4, 0x1B, 0x0D, 0x00, 0, 64, 0, 64, 0, 0, 4, 0}), ErrorCode::invalid_compressed_file},
    };
    for (std::size_t i = 0; i < std::size(cases); ++i)
        EXPECT_ERROR(cases[i].code, [&] { read_compressed(cases[i].file); }) << "case " << i;
}

} // namespace
} // namespace vrk::test
