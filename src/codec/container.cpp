#include "codec/container.hpp"

#include "core/crc.hpp"
#include "core/error.hpp"

namespace vrk {

void make_container_header(ImageParameters& image) noexcept {
    const int header_size = image.image_header_size();
    auto& h = image.container_header;
    h[0] = container_magic[0];
    h[1] = container_magic[1];
    // Each byte keeps the low 8 bits; out-of-range values are refused before the header is written.
    const auto bits = [](int value) noexcept { return static_cast<std::uint32_t>(value); };
    h[2] = static_cast<std::uint8_t>(bits(static_cast<int>(image.format)) * 4 + bits(image.bytes_per_pixel));
    h[3] = static_cast<std::uint8_t>(bits(image.loss_factor) * 16 + bits(image.bits_per_sample) - 8);
    h[4] = static_cast<std::uint8_t>(image.height >> 8);
    h[5] = static_cast<std::uint8_t>(image.height);
    h[6] = static_cast<std::uint8_t>(image.width >> 8);
    h[7] = static_cast<std::uint8_t>(image.width);
    h[8] = static_cast<std::uint8_t>(header_size >> 8);
    h[9] = static_cast<std::uint8_t>(header_size);
    h[10] = static_cast<std::uint8_t>(image.mode_flags);
    h[11] = 0;
}

void read_container_header(ByteSource& compressed, ImageParameters& image) {
    auto& h = image.container_header;
    compressed.read_exact(h.data(), h.size()); // the magic is tested only once all 12 bytes are in
    if (h[0] != container_magic[0] || h[1] != container_magic[1]) fail(ErrorCode::invalid_compressed_file);
    image.format = static_cast<ImageFormat>(h[2] >> 2); // checked with the other fields
    image.bytes_per_pixel = h[2] & 3;
    image.loss_factor = h[3] >> 4;
    image.bits_per_sample = (h[3] & 15) + 8;
    image.height = h[4] * 256 + h[5];
    image.width = h[6] * 256 + h[7];
    const int header_size = h[8] * 256 + h[9];
    image.mode_flags = h[10];
    image.image_header_bytes.assign(static_cast<std::size_t>(header_size), 0);
    compressed.read_exact(image.image_header_bytes.data(), image.image_header_bytes.size());
}

void check_image_parameters(const ImageParameters& image, bool compressed) {
    if (image.height < 32 || image.width < 32) fail(ErrorCode::invalid_dimension);
    const int format = static_cast<int>(image.format);
    if (format < 0 || format > 5 || image.bytes_per_pixel < 0 || image.bytes_per_pixel > 3 ||
        image.bits_per_sample < 8 || image.bits_per_sample > 16 || image.loss_factor < 0 ||
        image.loss_factor > max_loss_factor)
        fail(ErrorCode::invalid_parameters);
    // No engine defines 0 bytes per pixel, and the header cannot store larger dimensions.
    if (image.bytes_per_pixel == 0 || image.width > max_dimension || image.height > max_dimension)
        fail(compressed ? ErrorCode::invalid_compressed_file : ErrorCode::invalid_parameters);
    if (!compressed) return;
    // A header that no encoder writes: no image format to restore, a depth
    // that does not match the sample size, or unknown mode bits.
    const bool no_format = format < static_cast<int>(ImageFormat::raw) || format > static_cast<int>(ImageFormat::ppm);
    const bool wrong_depth = image.bytes_per_pixel == 2 ? image.bits_per_sample == 8 : image.bits_per_sample != 8;
    if (no_format || wrong_depth || image.mode_flags > (mode_fast | mode_graphics))
        fail(ErrorCode::invalid_compressed_file);
}

std::uint32_t header_crc_of(const ImageParameters& image) noexcept {
    std::uint32_t crc = CRC_SEED;
    if (!image.image_header_bytes.empty())
        crc = crc_update(crc, image.image_header_bytes.data(), image.image_header_bytes.size());
    return crc_update(crc, image.container_header.data(), image.container_header.size());
}

} // namespace vrk
