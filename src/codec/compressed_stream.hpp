// The one owner of a compressed file, in each direction: the container
// header and the image header bytes, then one record per strip, then the
// trailing CRC word; the writer closes the file, the reader ends it.
//
// A strip record is the length code of its raw-bit stream, the length code
// of its arithmetic stream, then the two streams in that order.
#pragma once

#include <cstdint>
#include <span>

#include "core/byte_io.hpp"
#include "core/image_parameters.hpp"
#include "entropy/entropy_coder.hpp"

namespace vrk {

class CompressedWriter {
public:
    explicit CompressedWriter(ByteSink& sink) noexcept : sink_(sink) {}

    // The container header (made from `image`) and the image header bytes.
    void write_headers(const ImageParameters& image);
    void write_strip(const EntropyCoder::StripStreams& streams);
    // Writes the image CRC word and closes the file ("Cannot write to file");
    // returns the whole file's size in bytes.
    std::uint64_t finish(std::uint32_t image_crc);

private:
    ByteSink& sink_;
    std::uint64_t written_ = 0;
};

class CompressedReader {
public:
    explicit CompressedReader(ByteSource& source) noexcept : source_(source) {}

    // Reads and checks the container header and the image header bytes into
    // `image`; returns the header CRC.
    std::uint32_t read_headers(ImageParameters& image);
    // Reads a strip record's streams into a code buffer: the raw bits at its
    // front, the arithmetic code ending at its back. Streams that do not fit
    // it are "Invalid compressed file".
    void read_strip(std::span<std::uint8_t> code_buffer);
    // Reads the image CRC word and ends reading; a mismatch with
    // `image_crc` is "Incorrect image CRC".
    void finish(std::uint32_t image_crc);

private:
    std::uint32_t read_length();

    ByteSource& source_;
};

} // namespace vrk
