// The image file readers: a .raw, Sun raster or PNM file's header turned
// into an image's parameters and its own header bytes.
#pragma once

#include <cstdint>

#include "core/byte_io.hpp"
#include "core/image_parameters.hpp"

namespace vrk {

// A raw file's shape and loss factor, exactly as given: no field has a
// default here, and each is checked as any image's.
struct RawShape {
    int width = 0;
    int height = 0;
    int bytes_per_pixel = 1;
    int loss_factor = 0;
};

// Fills and checks `image` from an image file (and, for raw samples, from
// `raw`), builds the container header, keeps the image file's own header
// bytes and returns the header CRC. The file is left at its first pixel
// byte. image.mode_flags and (except raw) image.loss_factor are set by the
// caller beforehand.
std::uint32_t read_image_parameters(ByteSource& input, ImageFormat format, const RawShape& raw, ImageParameters& image);

} // namespace vrk
