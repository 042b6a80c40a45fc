// vrk: lossless and near-lossless still-image compression.
//
// Compresses an image file (PGM, PPM, Sun raster, or raw samples) into the
// bytes of a .vrk file and restores it, header and all, in memory. Every
// failure throws vrk::Error. Independent calls may run in parallel threads.
#pragma once

#include <cstdint>
#include <span>
#include <stdexcept>
#include <vector>

namespace vrk {

// Every way a run can fail. Each has one fixed message, the text the
// command-line tool prints.
enum class ErrorCode {
    unsupported_image,       // "Image header or type not supported or invalid"
    cannot_open_input,       // "Cannot open input file"
    cannot_open_output,      // "Cannot open output file"
    cannot_read,             // "Cannot read from file"
    cannot_write,            // "Cannot write to file"
    invalid_compressed_file, // "Invalid compressed file"
    invalid_dimension,       // "Invalid image dimension (<32)"
    invalid_parameters,      // "Invalid image parameters"
    incorrect_crc,           // "Incorrect image CRC"
    image_too_large,         // "image is larger than specified dimension"
    cannot_close_image,      // "Cannot close image file"
    out_of_memory,           // "not enough memory"
};

// The fixed message of an error code, without decoration.
const char* message_of(ErrorCode code) noexcept;

class Error : public std::runtime_error {
public:
    explicit Error(ErrorCode code) : std::runtime_error(message_of(code)), code_(code) {}
    ErrorCode code() const noexcept { return code_; }

private:
    ErrorCode code_;
};

// The formats an image can come in; a compressed file remembers its own.
enum class ImageFormat { raw = 1, sun_raster = 2, pgm = 3, ppm = 4 };

struct Options {
    bool fast = false;     // adaptive prefix codes instead of arithmetic coding
    bool graphics = false; // the predictive engine for synthetic images
    int loss_factor = 0;   // 0 lossless, 1..12 lossy (near-lossless with `graphics`)
};

// Headerless samples: rows top to bottom, `bytes_per_pixel` bytes a pixel
// (1 grey, 2 grey of 16 bits with the high byte first, 3 colour).
struct RawLayout {
    int width = 0;
    int height = 0;
    int bytes_per_pixel = 1;
};

// Compresses a whole PGM, PPM or Sun raster file.
std::vector<std::uint8_t> compress(std::span<const std::uint8_t> image_file, ImageFormat format,
                                   const Options& options = {});

// Compresses raw samples.
std::vector<std::uint8_t> compress_raw(std::span<const std::uint8_t> samples, const RawLayout& layout,
                                       const Options& options = {});

struct RestoredImage {
    ImageFormat format;              // the format the image was compressed from
    std::vector<std::uint8_t> file;  // the image file, its own header included
};

// Restores the image file a compressed file was made from.
RestoredImage decompress(std::span<const std::uint8_t> compressed);

} // namespace vrk
