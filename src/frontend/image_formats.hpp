// The image file formats: extension detection, the .raw, Sun raster and
// PNM readers, and the parameter check shared with the container reader.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "frontend/byte_io.hpp"
#include "frontend/image_parameters.hpp"

namespace vrk {

// The five four-character extensions; an entry's position is its format index.
inline constexpr const char* extension_table = ".vrk.raw.ras.pgm.ppm";

// A file name's format: the entry of its extension and where that extension starts.
struct DetectedFormat {
    int format_index;
    std::size_t dot_position; // index of the extension's dot in the name
};

// The extension is everything from the last dot, 4 or 5 characters long; its
// first four characters must match a table entry exactly (case matters).
DetectedFormat detect_image_format(const std::string& name);

// The name with the four characters at the extension's dot replaced by the
// table entry `format_index`; a fifth extension character stays.
std::string output_name(const std::string& name, const DetectedFormat& detected, int format_index);

// A decimal number as the standard string-to-integer conversion reads it
// (leading blanks, a sign, digits up to the first other character; no digits
// give 0), with `overflow` set where the value lies beyond the range of int.
struct ParsedNumber {
    int value;
    bool overflow;
};
ParsedNumber parse_number(const std::string& text) noexcept;

// Fills and checks `image` from the input file (and, for .raw, the extra
// command-line arguments), builds the container header, keeps the image
// file's own header bytes and returns the header CRC. An image file is left
// at its first pixel byte, a compressed file at its first strip record.
// For image files, image.mode_flags and (except .raw) image.loss_factor are
// set by the caller beforehand.
std::uint32_t read_image_parameters(std::span<const std::string> extra_arguments, int format_index,
                                    ByteSource& input, ImageParameters& image);

} // namespace vrk
