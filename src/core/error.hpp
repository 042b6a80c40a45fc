// The library's fixed errors: one table of numbers, names and messages that
// the C ABI, the C++ layer over it and the Python package all read, and the
// way the library raises them.
#pragma once

#include <array>
#include <string_view>

#include <vrk/vrk.hpp>

namespace vrk {

struct ErrorEntry {
    ErrorCode code;
    std::string_view name;    // lower case, as the C++ enumerator
    std::string_view message; // 1 to 12 are the vrk command's own texts
};

inline constexpr std::array<ErrorEntry, 17> error_table{{
    {ErrorCode::ok, "ok", "ok"},
    {ErrorCode::unsupported_image, "unsupported_image", "Image header or type not supported or invalid"},
    {ErrorCode::cannot_open_input, "cannot_open_input", "Cannot open input file"},
    {ErrorCode::cannot_open_output, "cannot_open_output", "Cannot open output file"},
    {ErrorCode::cannot_read, "cannot_read", "Cannot read from file"},
    {ErrorCode::cannot_write, "cannot_write", "Cannot write to file"},
    {ErrorCode::invalid_compressed_file, "invalid_compressed_file", "Invalid compressed file"},
    {ErrorCode::invalid_dimension, "invalid_dimension", "Invalid image dimension (<32)"},
    {ErrorCode::invalid_parameters, "invalid_parameters", "Invalid image parameters"},
    {ErrorCode::incorrect_crc, "incorrect_crc", "Incorrect image CRC"},
    {ErrorCode::image_too_large, "image_too_large", "image is larger than specified dimension"},
    {ErrorCode::cannot_close_image, "cannot_close_image", "Cannot close image file"},
    {ErrorCode::out_of_memory, "out_of_memory", "not enough memory"},
    {ErrorCode::limit_exceeded, "limit_exceeded", "Image exceeds the decoding limit"},
    {ErrorCode::output_exists, "output_exists", "Output file exists"},
    {ErrorCode::invalid_argument, "invalid_argument", "Invalid argument"},
    {ErrorCode::buffer_too_small, "buffer_too_small", "Buffer too small"},
}};

// The entry of a code, or null for a number outside the table.
constexpr const ErrorEntry* error_entry(int code) noexcept {
    for (const ErrorEntry& entry : error_table)
        if (static_cast<int>(entry.code) == code) return &entry;
    return nullptr;
}

[[noreturn]] inline void fail(ErrorCode code) { throw Error(code); }

} // namespace vrk
