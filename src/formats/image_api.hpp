// The library's image-file functions, as the C ABI calls them: whole PGM,
// PPM, Sun raster and raw files to .vrk and back, in memory or on disk.
#pragma once

#include <vrk/vrk.hpp>

#include <cstdint>
#include <span>
#include <string>

#include "core/byte_io.hpp"

namespace vrk::lib {

// Compresses a whole image file into `out`; returns the compressed size.
std::uint64_t compress_image(std::span<const std::uint8_t> image_file, ImageFormat format, const Options& options,
                             const RawLayout& raw, ByteSink& out);

// Restores the image file a compressed file was made from into `out`, byte
// for byte; returns the format it was in.
ImageFormat restore_image(std::span<const std::uint8_t> compressed, ByteSink& out, const DecodeOptions& options);

// The vrk command's run on disk, without its prompt: an existing output is
// output_exists unless `overwrite`. Returns the output's path.
std::string compress_file(const std::string& path, const Options& options, const RawLayout& raw, bool overwrite);
std::string restore_file(const std::string& path, bool overwrite, const DecodeOptions& options);

} // namespace vrk::lib
