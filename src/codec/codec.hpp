// One run of the codec, once the image parameters are known and the heads
// of both files are in place: buffers, coder, engine, trailing CRC word.
#pragma once

#include <cstdint>

#include "core/byte_io.hpp"
#include "core/image_parameters.hpp"

namespace vrk {

// Codes the pixels of `image_file` (at its first pixel byte) into
// `compressed` (after its head); returns the bytes the coder wrote: the strip
// records and the trailing CRC word. Closes both.
std::int64_t encode_image(const ImageParameters& image, std::uint32_t header_crc, ByteSource& image_file,
                          ByteSink& compressed);

// Decodes the strip records of `compressed` into `image_file` (after its
// header bytes) and checks the trailing CRC word ("Incorrect image CRC").
// Closes both; on a CRC mismatch the restored image has been written.
void decode_image(const ImageParameters& image, std::uint32_t header_crc, ByteSource& compressed, ByteSink& image_file);

} // namespace vrk
