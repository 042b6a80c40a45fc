// The 12-byte container header that starts every compressed file, and the
// rules for what it can hold.
//
//   0-1  magic F4 1B          2  format * 4 + bytes_per_pixel
//   3    loss_factor * 16 + bits_per_sample - 8
//   4-5  height   6-7 width   8-9 image header size   (big-endian)
//   10   mode_flags           11 reserved (0)
#pragma once

#include <cstdint>

#include "core/byte_io.hpp"
#include "core/image_parameters.hpp"

namespace vrk {

inline constexpr std::uint8_t container_magic[2] = {0xF4, 0x1B};

// Fills image.container_header from the image's fields.
void make_container_header(ImageParameters& image) noexcept;

// Reads the container header and the image header bytes that follow it,
// unpacking every field into `image`.
void read_container_header(ByteSource& compressed, ImageParameters& image);

// The checks every run makes, in both directions, before anything is
// written: fewer than 32 rows or columns, then fields out of range, then
// what the header cannot store. `compressed` says the image comes from a
// compressed file's header, where some of these are "Invalid compressed file".
void check_image_parameters(const ImageParameters& image, bool compressed);

// The header CRC: the image file's own header bytes, then the container header.
std::uint32_t header_crc_of(const ImageParameters& image) noexcept;

} // namespace vrk
