// File names: which way a file goes, and the name of what it becomes.
//
// The extension is everything from the last dot, 4 or 5 characters long; its
// first four characters must match an entry of ".vrk.raw.ras.pgm.ppm"
// exactly (case matters). A fifth character is kept in the output name:
// scan.pgmx compresses to scan.vrkx.
#pragma once

#include <cstddef>
#include <string>

#include <vrk/vrk.hpp>

namespace vrk {

struct DetectedFormat {
    bool compressed = false;               // .vrk: to be restored
    ImageFormat format = ImageFormat::raw; // an image file's format (unused when compressed)
    std::size_t dot_position = 0;          // index of the extension's dot in the name
};

// "Image header or type not supported or invalid" for any other name.
DetectedFormat detect_image_format(const std::string& name);

// The name with its extension replaced by .vrk.
std::string compressed_file_name(const std::string& name, const DetectedFormat& detected);
// The name with its extension replaced by the image format's.
std::string image_file_name(const std::string& name, const DetectedFormat& detected, ImageFormat format);

} // namespace vrk
