#include "frontend/error.hpp"

namespace vrk {

const char* message_of(ErrorCode code) noexcept {
    switch (code) {
    case ErrorCode::ok: return "ok";
    case ErrorCode::unsupported_image: return "Image header or type not supported or invalid";
    case ErrorCode::cannot_open_input: return "Cannot open input file";
    case ErrorCode::cannot_open_output: return "Cannot open output file";
    case ErrorCode::cannot_read: return "Cannot read from file";
    case ErrorCode::cannot_write: return "Cannot write to file";
    case ErrorCode::invalid_compressed_file: return "Invalid compressed file";
    case ErrorCode::invalid_dimension: return "Invalid image dimension (<32)";
    case ErrorCode::invalid_parameters: return "Invalid image parameters";
    case ErrorCode::incorrect_crc: return "Incorrect image CRC";
    case ErrorCode::image_too_large: return "image is larger than specified dimension";
    case ErrorCode::cannot_close_image: return "Cannot close image file";
    case ErrorCode::out_of_memory: return "not enough memory";
    case ErrorCode::limit_exceeded: return "Image exceeds the decoding limit";
    case ErrorCode::output_exists: return "Output file exists";
    case ErrorCode::invalid_argument: return "Invalid argument";
    case ErrorCode::buffer_too_small: return "Buffer too small";
    }
    return "unknown error";
}

} // namespace vrk
