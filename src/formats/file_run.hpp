// One file-to-file run, as the vrk command and compress_file/restore_file
// make it: the input file's extension says the direction, the output goes
// beside it under the name the extension table gives, streaming strip by
// strip in constant memory.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "core/image_parameters.hpp"
#include "formats/file_names.hpp"
#include "formats/image_formats.hpp"

namespace vrk {

struct FileRun {
    std::string input_path;
    DetectedFormat detected; // of input_path
    // A .raw file's shape and loss factor, asked for once the file has opened.
    std::function<RawShape()> raw_shape;
    std::uint32_t mode_flags = 0; // encoding
    int loss_factor = 0;          // encoding an image file other than .raw
    int threads = 0;              // as RunSettings::threads
    std::uint64_t max_pixels = 0; // decoding: width x height above this is limit_exceeded; 0: no limit
    // Asked when the output file exists: true overwrites it, false ends the run.
    std::function<bool(const std::string& output_path)> may_overwrite;
    // Told the image once the output holds its headers, before the first strip.
    std::function<void(const ImageParameters& image)> on_start;
};

struct FileOutcome {
    std::string output_path;
    bool written = false;              // false when may_overwrite declined
    std::uint64_t compressed_size = 0; // encoding: the whole compressed file's size
    ImageParameters image;
};

// The checks come in the vrk command's order: the input opens ("Cannot open
// input file"), its parameters read and check, the output is named and
// opened ("Cannot open output file"), then the strips. A failure leaves any
// partly written output in place; a CRC mismatch is reported after the
// restored file is complete.
FileOutcome run_file(const FileRun& run);

} // namespace vrk
