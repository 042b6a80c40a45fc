// The public error list: its numbers and messages are fixed, since other
// languages' bindings and the vrk command's output depend on them.
#include <vrk/vrk.hpp>

#include <gtest/gtest.h>

#include <string>

namespace vrk {
namespace {

TEST(ErrorCodes, NumbersAndMessagesAreFixed) {
    struct Case {
        ErrorCode code;
        int number;
        const char* message;
    } cases[] = {
        {ErrorCode::ok, 0, "ok"},
        {ErrorCode::unsupported_image, 1, "Image header or type not supported or invalid"},
        {ErrorCode::cannot_open_input, 2, "Cannot open input file"},
        {ErrorCode::cannot_open_output, 3, "Cannot open output file"},
        {ErrorCode::cannot_read, 4, "Cannot read from file"},
        {ErrorCode::cannot_write, 5, "Cannot write to file"},
        {ErrorCode::invalid_compressed_file, 6, "Invalid compressed file"},
        {ErrorCode::invalid_dimension, 7, "Invalid image dimension (<32)"},
        {ErrorCode::invalid_parameters, 8, "Invalid image parameters"},
        {ErrorCode::incorrect_crc, 9, "Incorrect image CRC"},
        {ErrorCode::image_too_large, 10, "image is larger than specified dimension"},
        {ErrorCode::cannot_close_image, 11, "Cannot close image file"},
        {ErrorCode::out_of_memory, 12, "not enough memory"},
        {ErrorCode::limit_exceeded, 13, "Image exceeds the decoding limit"},
        {ErrorCode::output_exists, 14, "Output file exists"},
        {ErrorCode::invalid_argument, 15, "Invalid argument"},
        {ErrorCode::buffer_too_small, 16, "Buffer too small"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(static_cast<int>(c.code), c.number);
        EXPECT_STREQ(message_of(c.code), c.message) << c.number;
        EXPECT_STREQ(Error(c.code).what(), c.message) << c.number;
        EXPECT_EQ(Error(c.code).code(), c.code);
    }
    EXPECT_STREQ(message_of(static_cast<ErrorCode>(17)), "unknown error");
}

} // namespace
} // namespace vrk
