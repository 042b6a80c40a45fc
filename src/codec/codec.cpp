#include "codec/codec.hpp"

#include "codec/codec_context.hpp"
#include "entropy/entropy_coder.hpp"
#include "frontend/error.hpp"
#include "graphics/graphics_engine.hpp"
#include "wavelet/wavelet_engine.hpp"

namespace vrk {

namespace {

std::uint32_t run_engine(std::uint32_t crc, CodecContext& context, EntropyCoder& coder, ImageFile& file) {
    return context.image.graphics() ? graphics_code_image(crc, context, coder, file)
                                    : wavelet_code_image(crc, context, coder, file);
}

} // namespace

std::int64_t encode_image(const ImageParameters& image, std::uint32_t header_crc, ByteSource& image_file,
                          ByteSink& compressed) {
    CodecContext context{image, allocate_codec_buffers(image)};
    EntropyCoder coder(compressed, image.fast(), image.bits_per_sample);
    ImageFile file{&image_file, nullptr};
    const std::uint32_t image_crc = run_engine(header_crc, context, coder, file);
    return coder.write_check_word(image_crc);
}

void decode_image(const ImageParameters& image, std::uint32_t header_crc, ByteSource& compressed,
                  ByteSink& image_file) {
    CodecContext context{image, allocate_codec_buffers(image)};
    EntropyCoder coder(compressed, image.fast(), image.bits_per_sample);
    ImageFile file{nullptr, &image_file};
    const std::uint32_t image_crc = run_engine(header_crc, context, coder, file);
    if (coder.read_check_word() != image_crc) fail(ErrorCode::incorrect_crc);
}

} // namespace vrk
