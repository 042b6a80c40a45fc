#include "graphics/graphics_engine.hpp"

#include "frontend/error.hpp"
#include "graphics/near_lossless.hpp"
#include "graphics/strip_coders.hpp"

namespace vrk {
namespace {

// One plane coder call per plane, over the strip's padded rows. Rows past
// strip_rows in a last strip are coded as they stand: they still hold what
// the previous strip left there, and the decoder fills and ignores them.
void code_residual_planes(EntropyCoder& coder, CodecBuffers& buffers, int planes, int width) {
    for (int p = 0; p < planes; ++p)
        coder.code_plane(StripRows{buffers.row(p, 0), buffers.padded_width}, buffers.class_row,
                         buffers.strip_rows_padded, width);
}

} // namespace

std::uint32_t graphics_code_image(std::uint32_t crc, CodecContext& context, EntropyCoder& coder, ImageFile& file) {
    const ImageParameters& image = context.image;
    CodecBuffers& buffers = context.buffers;
    const bool encoding = coder.encoding();
    const StripCoder code_strip = strip_coder_for(image.bytes_per_pixel, encoding);
    const int planes = image.bytes_per_pixel == 3 ? 3 : 1;
    if (image.width < 32 || image.height < 32) fail(ErrorCode::invalid_dimension);
    if (static_cast<int>(buffers.plane_records.size()) < planes || buffers.padded_width < image.width)
        fail(ErrorCode::invalid_parameters);
    // Pixels come from a source when encoding and go to a sink when decoding.
    if (encoding && file.source == nullptr) fail(ErrorCode::cannot_read);
    if (!encoding && file.sink == nullptr) fail(ErrorCode::cannot_write);

    NearLossless near_lossless = image.loss_factor == 0
                                     ? NearLossless()
                                     : NearLossless(image.width, image.loss_factor, image.bits_per_sample);

    int strip_index = 0;
    for (int remaining = image.height; remaining > 0; remaining -= buffers.strip_rows, ++strip_index) {
        buffers.strip_rows = strip_rows_for(remaining);
        buffers.strip_rows_padded = rounded_up_to_8(buffers.strip_rows);
        coder.begin_strip(buffers.code_buffer.data(), buffers.code_buffer_size);
        if (encoding) {
            // The staged pixels are done with before the coder writes over them.
            crc = code_strip(strip_index, crc, file, context, near_lossless);
            code_residual_planes(coder, buffers, planes, image.width);
            coder.finish_strip();
        } else {
            // All planes are decoded before any pixel is rebuilt over the consumed code.
            code_residual_planes(coder, buffers, planes, image.width);
            crc = code_strip(strip_index, crc, file, context, near_lossless);
        }
    }
    end_image_file(file);
    return crc;
}

} // namespace vrk
