#include "codec/compressed_stream.hpp"

#include <array>
#include <cassert>

#include "codec/container.hpp"
#include "core/error.hpp"
#include "entropy/length_code.hpp"

namespace vrk {

void CompressedWriter::write_headers(const ImageParameters& image) {
    sink_.write_exact(image.container_header.data(), image.container_header.size());
    sink_.write_exact(image.image_header_bytes.data(), image.image_header_bytes.size());
    written_ += image.container_header.size() + image.image_header_bytes.size();
}

void CompressedWriter::write_strip(const EntropyCoder::StripStreams& streams) {
    // The code buffer is far smaller than what a length code can count.
    assert(streams.raw_bits.size() < length_code_limit && streams.arithmetic.size() < length_code_limit);
    std::array<std::uint8_t, 8> lengths;
    int size = encode_length_code(static_cast<std::uint32_t>(streams.raw_bits.size()), lengths.data());
    size += encode_length_code(static_cast<std::uint32_t>(streams.arithmetic.size()), lengths.data() + size);
    sink_.write_exact(lengths.data(), static_cast<std::size_t>(size));
    sink_.write_exact(streams.raw_bits.data(), streams.raw_bits.size());
    sink_.write_exact(streams.arithmetic.data(), streams.arithmetic.size());
    written_ += static_cast<std::uint64_t>(size) + streams.raw_bits.size() + streams.arithmetic.size();
}

std::uint64_t CompressedWriter::finish(std::uint32_t image_crc) {
    const std::array<std::uint8_t, 4> word = {
        static_cast<std::uint8_t>(image_crc), static_cast<std::uint8_t>(image_crc >> 8),
        static_cast<std::uint8_t>(image_crc >> 16), static_cast<std::uint8_t>(image_crc >> 24)};
    sink_.write_exact(word.data(), word.size());
    if (!sink_.close()) fail(ErrorCode::cannot_write);
    return written_ + word.size();
}

std::uint32_t CompressedReader::read_headers(ImageParameters& image) {
    read_container_header(source_, image);
    check_image_parameters(image, true);
    return header_crc_of(image);
}

std::uint32_t CompressedReader::read_length() {
    return decode_length_code([this] {
        const int byte = source_.read_byte();
        if (byte < 0) fail(ErrorCode::cannot_read);
        return byte;
    });
}

void CompressedReader::read_strip(std::span<std::uint8_t> code_buffer) {
    const std::uint32_t a = read_length();
    const std::uint32_t b = read_length();
    if (std::uint64_t{a} + b > code_buffer.size()) fail(ErrorCode::invalid_compressed_file);
    source_.read_exact(code_buffer.data(), a);
    source_.read_exact(code_buffer.data() + (code_buffer.size() - b), b);
}

void CompressedReader::finish(std::uint32_t image_crc) {
    std::array<std::uint8_t, 4> word;
    source_.read_exact(word.data(), word.size());
    source_.close(); // the word is all that was needed from the file
    const std::uint32_t stored = std::uint32_t{word[0]} | std::uint32_t{word[1]} << 8 | std::uint32_t{word[2]} << 16 |
                                 std::uint32_t{word[3]} << 24;
    if (stored != image_crc) fail(ErrorCode::incorrect_crc);
}

} // namespace vrk
