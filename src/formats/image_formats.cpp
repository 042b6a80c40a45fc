#include "formats/image_formats.hpp"

#include <climits>
#include <cstring>

#include "codec/container.hpp"
#include "core/crc.hpp"
#include "core/error.hpp"

namespace vrk {

namespace {

[[noreturn]] void refuse_image() { fail(ErrorCode::unsupported_image); }

// Reads the kept header bytes from the start of the file; it then stands at the first pixel.
void keep_image_header(ByteSource& input, ImageParameters& image, std::size_t header_size) {
    if (header_size > max_dimension) refuse_image();
    image.image_header_bytes.assign(header_size, 0);
    make_container_header(image);
    input.rewind();
    input.read_exact(image.image_header_bytes.data(), header_size);
}

void read_raw_parameters(const RawShape& raw, ImageParameters& image) {
    image.format = ImageFormat::raw;
    image.width = raw.width;
    image.height = raw.height;
    image.bytes_per_pixel = raw.bytes_per_pixel;
    image.loss_factor = raw.loss_factor;
    image.bits_per_sample = image.bytes_per_pixel == 2 ? 16 : 8;
    image.image_header_bytes.clear();
    make_container_header(image);
}

std::uint32_t read_big_endian_word(ByteSource& input) {
    std::uint8_t b[4];
    input.read_exact(b, 4);
    return std::uint32_t{b[0]} << 24 | std::uint32_t{b[1]} << 16 | std::uint32_t{b[2]} << 8 | b[3];
}

void read_sun_raster_header(ByteSource& input, ImageParameters& image) {
    constexpr std::uint32_t sun_raster_magic = 0x59A66A95;
    if (read_big_endian_word(input) != sun_raster_magic) refuse_image();
    std::uint32_t word[7]; // width, height, depth, length, type, colour-map type, colour-map length
    for (std::uint32_t& w : word) w = read_big_endian_word(input);
    const std::uint32_t width = word[0], height = word[1], depth = word[2], type = word[4], map_length = word[6];
    if (type != 1 || (depth != 8 && depth != 24)) refuse_image();
    if (width > INT_MAX || height > INT_MAX) refuse_image();
    image.bytes_per_pixel = static_cast<int>(depth / 8);
    image.height = static_cast<int>(height);
    image.width = static_cast<int>(width);
    image.format = ImageFormat::sun_raster;
    image.bits_per_sample = 8;
    // An 8-bit image is coded as grey indices; its colour map travels in the kept header.
    if (map_length > max_dimension) refuse_image();
    keep_image_header(input, image, 32 + map_length);
}

void read_pnm_header(ByteSource& input, ImageParameters& image, ImageFormat format) {
    std::uint8_t magic[2];
    input.read_exact(magic, 2);
    if (magic[0] != 'P' || (magic[1] != '5' && magic[1] != '6')) refuse_image();

    std::size_t count = 2; // every header byte, the magic included
    auto next = [&]() -> int {
        const int byte = input.read_byte();
        if (byte < 0) fail(ErrorCode::cannot_read);
        if (++count > max_dimension) refuse_image(); // could never be stored
        return byte;
    };
    auto is_digit = [](int c) { return c >= '0' && c <= '9'; };
    auto is_line_end = [](int c) { return c == '\n' || c == '\r'; };

    long long numbers[3] = {0, 0, 0};
    int found = 0;
    int current = 0;
    do {
        current = next();
        if (current == '#') {
            do current = next();
            while (!is_line_end(current));
        } else if (is_digit(current) && found < 3) {
            long long value = current - '0';
            while (is_digit(current = next())) {
                value = value * 10 + (current - '0');
                if (value > INT_MAX) refuse_image();
            }
            numbers[found++] = value;
        }
        // Anything else separates. The byte that ends a number is only tested for a line end,
        // so a '#' right after a digit does not start a comment.
    } while (found < 3 || !is_line_end(current));
    if (current == '\r') {
        if (input.read_byte() == '\n') ++count;
    }

    image.width = static_cast<int>(numbers[0]);
    image.height = static_cast<int>(numbers[1]);
    image.format = format; // the extension decides, whatever the magic says
    image.bits_per_sample = 8;
    if (magic[1] == '6') {
        image.bytes_per_pixel = 3;
    } else if (numbers[2] < 256) {
        image.bytes_per_pixel = 1;
    } else {
        image.bytes_per_pixel = 2;
        for (long long maximum = numbers[2]; maximum >= 256; maximum >>= 1) ++image.bits_per_sample;
    }
    keep_image_header(input, image, count);
}

} // namespace

std::uint32_t read_image_parameters(ByteSource& input, ImageFormat format, const RawShape& raw,
                                    ImageParameters& image) {
    switch (format) {
    case ImageFormat::raw: read_raw_parameters(raw, image); break;
    case ImageFormat::sun_raster: read_sun_raster_header(input, image); break;
    case ImageFormat::pgm:
    case ImageFormat::ppm: read_pnm_header(input, image, format); break;
    }
    check_image_parameters(image, false);
    return header_crc_of(image);
}

} // namespace vrk
