// Normal mode's pixels: one strip read into the planes (with the colour
// transform), the padding of a strip to its padded size, and one decoded
// strip written back as pixel bytes (with the inverse colour transform).
//
// A colour pixel a, b, c becomes a luminance-like average and two
// differences from the middle byte:
//   plane 0 = (a + 2b + c) >> 2, plane 1 = a - b, plane 2 = c - b,
// and back: G = Y - ((U + V) >> 2), bytes U + G, G, V + G.
//
// Each strip is one read or one write staged in the code buffer. Lossless
// runs feed the CRC the pixel bytes exactly as they stand in the image file.
#pragma once

#include <cstdint>

#include "codec/codec_context.hpp"
#include "frontend/byte_io.hpp"

namespace vrk {

// Reads buffers.strip_rows rows of pixels into rows 0.. of every plane,
// columns 0..width-1, and returns the CRC continued over the bytes when the
// run is lossless. A two-byte sample above 2^bits_per_sample - 1 would not
// fit the coder's alphabet: "Invalid image parameters".
std::uint32_t read_strip(std::uint32_t crc, ByteSource& source, CodecContext& context);

// Fills rows strip_rows..strip_rows_padded-1 (from the row above) and then
// columns width..padded_width-1 (from the column to the left) of every plane
// with smoothed copies, so the transform sees no jump at the edges.
void pad_strip(CodecContext& context) noexcept;

// Converts rows 0..strip_rows-1, columns 0..width-1 of the planes into pixel
// bytes and writes them; lossy runs clamp to the sample range, lossless runs
// keep the low bits and continue the CRC over the bytes.
std::uint32_t write_strip(std::uint32_t crc, ByteSink& sink, CodecContext& context);

} // namespace vrk
