// The strip coders of graphics mode, one per sample layout and direction.
//
// A strip's pixel bytes are staged in the code buffer. An encoder reads them
// from the image file in one read, predicts every sample and leaves the
// residuals (lossy: quantization indices) in the planes' strip rows for the
// plane coder; a decoder takes the residuals the plane coder left there,
// rebuilds the pixel bytes and writes them in one write. Both continue the
// image CRC over the strip's pixel bytes as the decoder sees them: in lossy
// mode the encoder writes each reconstruction back over its sample first.
//
// Row 0 of the image (strip 0 only) predicts each sample from its left
// neighbour; every other row uses predict_med with the row completed last,
// which the planes' row buffers carry from strip to strip. Each of those rows
// takes one draw from the run's generator, lossless or not, so that encoder
// and decoder stay in step.
#pragma once

#include <cstdint>

#include "codec/codec_context.hpp"
#include "graphics/near_lossless.hpp"

namespace vrk {

// 8-bit grey: one byte per pixel, plane 0.
std::uint32_t encode_strip_gray8(int strip_index, std::uint32_t crc, ImageFile& file, CodecContext& context,
                                 NearLossless& near_lossless);
std::uint32_t decode_strip_gray8(int strip_index, std::uint32_t crc, ImageFile& file, CodecContext& context,
                                 NearLossless& near_lossless);

// 9- to 16-bit grey: two bytes per pixel, high byte first, plane 0. Lossy
// encoding refuses a sample above 2^bits_per_sample - 1 ("Invalid image
// parameters"): the quantizer's tables end there.
std::uint32_t encode_strip_gray16(int strip_index, std::uint32_t crc, ImageFile& file, CodecContext& context,
                                  NearLossless& near_lossless);
std::uint32_t decode_strip_gray16(int strip_index, std::uint32_t crc, ImageFile& file, CodecContext& context,
                                  NearLossless& near_lossless);

// 8-bit colour: three interleaved bytes per pixel, one plane each, every plane
// predicted only from its own samples. One draw per row serves all three.
std::uint32_t encode_strip_rgb24(int strip_index, std::uint32_t crc, ImageFile& file, CodecContext& context,
                                 NearLossless& near_lossless);
std::uint32_t decode_strip_rgb24(int strip_index, std::uint32_t crc, ImageFile& file, CodecContext& context,
                                 NearLossless& near_lossless);

using StripCoder = std::uint32_t (*)(int strip_index, std::uint32_t crc, ImageFile& file, CodecContext& context,
                                     NearLossless& near_lossless);

// The coder for 1, 2 or 3 bytes per pixel in the given direction; any other
// layout is "Invalid image parameters".
StripCoder strip_coder_for(int bytes_per_pixel, bool encoding);

} // namespace vrk
