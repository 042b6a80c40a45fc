// vrk: lossless and near-lossless still-image compression.
//
// The public face of the library: the error type that every failure throws.
#pragma once

#include <stdexcept>

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

} // namespace vrk
