// An image file's pixels through the codec: the pixel bytes after the file's
// header become rows of samples for the encoder, and the decoder's rows
// become pixel bytes again. Every format stores 16-bit samples high byte
// first and its channels in the order the rows hold them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "codec/compressed_stream.hpp"
#include "codec/sample_rows.hpp"
#include "core/byte_io.hpp"
#include "core/image_parameters.hpp"

namespace vrk {

// The pixel bytes of an image file as rows of samples, read in order.
class ImageFileSource final : public SampleSource {
public:
    ImageFileSource(const ImageParameters& image, ByteSource& file);
    void read_rows(int first, int count, std::uint8_t* samples) override;
    void read_rows(int first, int count, std::uint16_t* samples) override;

private:
    ByteSource& file_;
    std::size_t row_samples_;
    std::vector<std::uint8_t> bytes_; // one strip of 16-bit samples' bytes
};

// Rows of samples as an image file's pixel bytes, written in order.
class ImageFileSink final : public SampleSink {
public:
    ImageFileSink(const ImageParameters& image, ByteSink& file);
    void write_rows(int first, int count, const std::uint8_t* samples) override;
    void write_rows(int first, int count, const std::uint16_t* samples) override;

private:
    ByteSink& file_;
    std::size_t row_samples_;
    std::vector<std::uint8_t> bytes_; // one strip of 16-bit samples' bytes
};

// After the last strip: the image file must end there ("image is larger
// than specified dimension") and close ("Cannot close image file").
void finish_image_file(ByteSource& image_file);
// After the last strip: "Cannot close image file".
void finish_image_file(ByteSink& image_file);

// Codes the pixels of `image_file` (at its first pixel byte) into `out`
// (after its headers), checks that the file ends there ("image is larger
// than specified dimension") and closes it ("Cannot close image file"), then
// finishes `out`; returns the compressed file's size.
std::uint64_t encode_image_file(const ImageParameters& image, std::uint32_t header_crc, ByteSource& image_file,
                                CompressedWriter& out, int threads);

// Decodes the strip records of `in` into `image_file` (after its header
// bytes), closes it, then checks the trailing CRC word ("Incorrect image
// CRC", once the restored image has been written).
void decode_image_file(const ImageParameters& image, std::uint32_t header_crc, CompressedReader& in,
                       ByteSink& image_file, int threads);

} // namespace vrk
