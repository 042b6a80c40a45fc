#include "codec/image_formats.hpp"

#include <cctype>
#include <climits>
#include <cstring>

#include "codec/container.hpp"
#include "core/crc.hpp"
#include "core/error.hpp"

namespace vrk {

namespace {

// The container header stores dimensions and the header size in 16 bits.
constexpr long long largest_stored_field = 65535;

[[noreturn]] void refuse_image() { fail(ErrorCode::unsupported_image); }

// Reads the kept header bytes from the start of the file; it then stands at the first pixel.
void keep_image_header(ByteSource& input, ImageParameters& image, std::size_t header_size) {
    if (header_size > largest_stored_field) refuse_image();
    image.image_header_bytes.assign(header_size, 0);
    make_container_header(image);
    input.rewind();
    input.read_exact(image.image_header_bytes.data(), header_size);
}

void read_raw_parameters(std::span<const std::string> arguments, ImageParameters& image) {
    int numbers[4] = {0, 0, 1, 0};
    for (std::size_t i = 0; i < arguments.size() && i < 4; ++i) {
        const ParsedNumber parsed = parse_number(arguments[i]);
        if (parsed.overflow) fail(ErrorCode::invalid_parameters);
        numbers[i] = parsed.value;
    }
    image.format = ImageFormat::raw;
    image.width = numbers[0];
    image.height = arguments.size() >= 2 ? numbers[1] : numbers[0];
    image.bytes_per_pixel = numbers[2];
    image.loss_factor = numbers[3];
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
    if (map_length > largest_stored_field) refuse_image();
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
        if (++count > largest_stored_field) refuse_image(); // could never be stored
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

// The checks every run makes, in both directions, before anything is written.
void check_parameters(const ImageParameters& image, bool compressed) {
    if (image.height < 32 || image.width < 32) fail(ErrorCode::invalid_dimension);
    const int format = static_cast<int>(image.format);
    if (format < 0 || format > 5 || image.bytes_per_pixel < 0 || image.bytes_per_pixel > 3 ||
        image.bits_per_sample < 8 || image.bits_per_sample > 16 || image.loss_factor < 0 || image.loss_factor > 12)
        fail(ErrorCode::invalid_parameters);
    // No engine defines 0 bytes per pixel, and the header cannot store larger dimensions.
    if (image.bytes_per_pixel == 0 || image.width > largest_stored_field || image.height > largest_stored_field)
        fail(compressed ? ErrorCode::invalid_compressed_file : ErrorCode::invalid_parameters);
}

// A compressed header that no encoder writes: no image format to restore, a
// depth that does not match the sample size, or unknown mode bits.
void check_compressed_header(const ImageParameters& image) {
    const int format = static_cast<int>(image.format);
    const bool no_format = format < static_cast<int>(ImageFormat::raw) || format > static_cast<int>(ImageFormat::ppm);
    const bool wrong_depth = image.bytes_per_pixel == 2 ? image.bits_per_sample == 8 : image.bits_per_sample != 8;
    if (no_format || wrong_depth || image.mode_flags > (mode_fast | mode_graphics))
        fail(ErrorCode::invalid_compressed_file);
}

} // namespace

ParsedNumber parse_number(const std::string& text) noexcept {
    std::size_t i = 0;
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    long long magnitude = 0;
    bool overflow = false;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        magnitude = magnitude * 10 + (text[i] - '0');
        if (magnitude > 1LL + INT_MAX) {
            overflow = true;
            magnitude = 1LL + INT_MAX; // keeps accumulating without wrapping
        }
    }
    const long long value = negative ? -magnitude : magnitude;
    if (value > INT_MAX || value < INT_MIN) overflow = true;
    return {overflow ? 0 : static_cast<int>(value), overflow};
}

namespace {

// The header CRC: the image file's own header bytes, then the container header.
std::uint32_t header_crc_of(const ImageParameters& image) noexcept {
    std::uint32_t crc = CRC_SEED;
    if (!image.image_header_bytes.empty())
        crc = crc_update(crc, image.image_header_bytes.data(), image.image_header_bytes.size());
    return crc_update(crc, image.container_header.data(), image.container_header.size());
}

} // namespace

std::uint32_t read_image_parameters(ByteSource& input, ImageFormat format, std::span<const std::string> raw_arguments,
                                    ImageParameters& image) {
    switch (format) {
    case ImageFormat::raw: read_raw_parameters(raw_arguments, image); break;
    case ImageFormat::sun_raster: read_sun_raster_header(input, image); break;
    case ImageFormat::pgm:
    case ImageFormat::ppm: read_pnm_header(input, image, format); break;
    }
    check_parameters(image, false);
    return header_crc_of(image);
}

std::uint32_t read_compressed_parameters(ByteSource& input, ImageParameters& image) {
    read_container_header(input, image);
    check_parameters(image, true);
    check_compressed_header(image);
    return header_crc_of(image);
}

} // namespace vrk
