#include "codec/container.hpp"

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
    image.format = static_cast<ImageFormat>(h[2] >> 2); // checked by the reader
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

} // namespace vrk
