// Normal mode: the reversible wavelet engine for natural images.
#pragma once

#include <cstdint>

#include "codec/codec_context.hpp"
#include "entropy/entropy_coder.hpp"

namespace vrk {

// Codes the whole image strip by strip in the coder's direction, starting
// from the header CRC; closes the image file and returns the image CRC.
std::uint32_t wavelet_code_image(std::uint32_t crc, CodecContext& context, EntropyCoder& coder, ImageFile& file);

} // namespace vrk
