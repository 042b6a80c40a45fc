// The image file readers (.raw, Sun raster, PNM) and the compressed-file
// header reader, with the parameter checks they share.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "core/byte_io.hpp"
#include "core/image_parameters.hpp"

namespace vrk {

// A decimal number as the standard string-to-integer conversion reads it
// (leading blanks, a sign, digits up to the first other character; no digits
// give 0), with `overflow` set where the value lies beyond the range of int.
struct ParsedNumber {
    int value;
    bool overflow;
};
ParsedNumber parse_number(const std::string& text) noexcept;

// Fills and checks `image` from an image file (and, for raw samples, the
// width, height, bytes per pixel and loss factor as written on the command
// line), builds the container header, keeps the image file's own header
// bytes and returns the header CRC. The file is left at its first pixel
// byte. image.mode_flags and (except raw) image.loss_factor are set by the
// caller beforehand.
std::uint32_t read_image_parameters(ByteSource& input, ImageFormat format, std::span<const std::string> raw_arguments,
                                    ImageParameters& image);

// Fills and checks `image` from the container header and the image header
// bytes of a compressed file and returns the header CRC; the file is left
// at its first strip record.
std::uint32_t read_compressed_parameters(ByteSource& input, ImageParameters& image);

} // namespace vrk
