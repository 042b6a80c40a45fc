// Between samples in memory and the image file bytes the codec reads and
// writes: the pixel and stream APIs run the codec on a PNM file made on the
// fly from rows of samples, and turn the decoder's pixel bytes back into rows.
//
// Every use of the image readers, the container fields and the codec entry
// points by those APIs goes through here.
#pragma once

#include <vrk/vrk.hpp>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

#include "codec/api_common.hpp"
#include "core/byte_io.hpp"
#include "core/image_parameters.hpp"

namespace vrk {

// An image's shape as the encoder takes it.
struct SampleShape {
    int width = 0;
    int height = 0;
    int channels = 1;
    int bits_per_sample = 8;

    std::size_t row_samples() const noexcept {
        return static_cast<std::size_t>(width) * static_cast<std::size_t>(channels);
    }
};

// Checks a shape as encode() does: channels and depth (invalid_argument),
// then fewer than 32 columns or rows (invalid_dimension), then more than
// 65535 (invalid_parameters).
void check_sample_shape(const SampleShape& shape);

// The samples a buffer must hold for the shape's rows `row_stride` samples
// apart (0: packed): height - 1 strides and one row. A stride below a row,
// or a count beyond size_t, is `error`.
std::size_t samples_needed(const SampleShape& shape, std::size_t row_stride, ErrorCode error);

// Compresses the rows `row(y)` gives (y = 0, 1, ... once each) as the PNM
// file of `shape`, writing the whole compressed file into `out`; returns its
// size. The shape must have passed check_sample_shape. A row whose span of
// the shape's depth is shorter than a row is invalid_argument; a sample above
// 2^bits - 1 invalid_parameters.
std::uint64_t encode_rows(const SampleShape& shape, const std::function<Row(int)>& row, const Options& options,
                          ByteSink& out);

// encode() into any sink: checks the view, then encode_rows.
void encode_view(const ImageView& view, const Options& options, ByteSink& out);

// Reads and checks a compressed file's container and image headers, which
// leaves the source at the first strip record; returns the header CRC.
std::uint32_t read_compressed_headers(ByteSource& compressed, ImageParameters& image);

// What the headers say, as the public Info.
Info info_of(const ImageParameters& image);

// A decode's option checks, made after the headers and before any buffer for
// the image is allocated: negative threads (invalid_argument), more pixels
// than max_pixels (limit_exceeded).
void check_decode_options(const ImageParameters& image, const DecodeOptions& options);

// The decoder's image file as rows: takes the pixel bytes (no header) and
// hands each complete row of file bytes to deliver(), in order. A row is
// width * bytes_per_pixel bytes; no image format pads its rows.
class RowSink : public ByteSink {
public:
    explicit RowSink(const ImageParameters& image);
    std::size_t write(const std::uint8_t* source, std::size_t n) final;
    int rows_delivered() const noexcept { return next_row_; }

protected:
    // Samples in a row: width * channels.
    std::size_t row_samples() const noexcept { return row_samples_; }

    // Row y's file bytes: width * channels samples of one byte, or of two
    // bytes high first (deep images).
    virtual void deliver(int y, const std::uint8_t* bytes) = 0;

private:
    std::size_t row_samples_;
    std::size_t row_bytes_;
    int height_;
    int next_row_ = 0;
    std::vector<std::uint8_t> partial_; // a row arriving in pieces
    std::size_t partial_size_ = 0;
};

// Decodes the strip records after read_compressed_headers into `rows` and
// checks that every row arrived and the trailing CRC word.
// Rows arrive on the calling thread whatever `threads` is.
void decode_rows(const ImageParameters& image, std::uint32_t header_crc, ByteSource& compressed, RowSink& rows,
                 int threads);

// Two-byte file samples (high byte first) to native ones.
void unpack_samples16(const std::uint8_t* bytes, std::size_t count, std::uint16_t* samples) noexcept;

} // namespace vrk
