#include "wavelet/wavelet_engine.hpp"

#include <bit>
#include <cassert>
#include <cstddef>

#include "frontend/crc.hpp"
#include "wavelet/pixel_io.hpp"
#include "wavelet/quantizer.hpp"
#include "wavelet/strip_transform.hpp"

namespace vrk {

namespace {

PlaneStrip plane_strip(const CodecBuffers& buffers, int plane) noexcept {
    return PlaneStrip{buffers.plane_records[static_cast<std::size_t>(plane)], buffers.padded_width,
                      buffers.strip_rows_padded, buffers.padded_width};
}

// Lossy runs protect the quantized coefficients rather than the pixels: every
// plane's padded rows, each value as four bytes, least significant first.
std::uint32_t crc_of_coefficients(std::uint32_t crc, const CodecContext& context) noexcept {
    const CodecBuffers& buffers = context.buffers;
    const std::size_t cols = static_cast<std::size_t>(buffers.padded_width);
    for (int plane = 0; plane < context.image.plane_count; ++plane) {
        for (int r = 0; r < buffers.strip_rows_padded; ++r) {
            const std::int32_t* row = buffers.row(plane, r);
            if constexpr (std::endian::native == std::endian::little) {
                crc = crc_update(crc, reinterpret_cast<const std::uint8_t*>(row), cols * sizeof(std::int32_t));
            } else {
                for (std::size_t c = 0; c < cols; ++c) {
                    const auto v = static_cast<std::uint32_t>(row[c]);
                    const std::uint8_t bytes[4] = {static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8),
                                                   static_cast<std::uint8_t>(v >> 16),
                                                   static_cast<std::uint8_t>(v >> 24)};
                    crc = crc_update(crc, bytes, 4);
                }
            }
        }
    }
    return crc;
}

// The same calls in both directions: the low region (the lowest band and all
// levels from 2 up) as one plane, then the three bands of level 1 and those
// of level 0, so every band's parents are known before it.
void code_planes(CodecContext& context, EntropyCoder& coder) {
    CodecBuffers& buffers = context.buffers;
    const int h = buffers.strip_rows_padded / 4;
    const int w = buffers.padded_width / 4;
    for (int plane = 0; plane < context.image.plane_count; ++plane) {
        const StripRows rows{buffers.plane_records[static_cast<std::size_t>(plane)].plane_base,
                             buffers.padded_width};
        coder.code_plane(rows, buffers.class_row, h, w);
        for (int o = 1; o <= 3; ++o) coder.code_band(o, rows, h, w, buffers.class_row, buffers.parent_row);
        for (int o = 1; o <= 3; ++o) coder.code_band(o, rows, 2 * h, 2 * w, buffers.class_row, buffers.parent_row);
    }
}

std::uint32_t encode_strip(std::uint32_t crc, CodecContext& context, EntropyCoder& coder, ByteSource& source,
                           int strip_index) {
    CodecBuffers& buffers = context.buffers;
    const int loss_factor = context.image.loss_factor;
    coder.begin_strip(buffers.code_buffer.data(), buffers.code_buffer_size);
    crc = read_strip(crc, source, context);
    pad_strip(context);
    for (int plane = 0; plane < context.image.plane_count; ++plane) {
        const PlaneStrip strip = plane_strip(buffers, plane);
        forward_transform(strip, strip_index, buffers.work_line_a);
        if (loss_factor > 0)
            quantize_plane(loss_factor, strip.plane.plane_base, strip.stride, strip.rows, strip.cols);
    }
    if (loss_factor > 0) crc = crc_of_coefficients(crc, context);
    code_planes(context, coder);
    coder.finish_strip();
    return crc;
}

std::uint32_t decode_strip(std::uint32_t crc, CodecContext& context, EntropyCoder& coder, ByteSink& sink,
                           int strip_index) {
    CodecBuffers& buffers = context.buffers;
    const int loss_factor = context.image.loss_factor;
    coder.begin_strip(buffers.code_buffer.data(), buffers.code_buffer_size);
    code_planes(context, coder);
    if (loss_factor > 0) crc = crc_of_coefficients(crc, context);
    for (int plane = 0; plane < context.image.plane_count; ++plane) {
        const PlaneStrip strip = plane_strip(buffers, plane);
        if (loss_factor > 0)
            dequantize_plane(loss_factor, strip.plane.plane_base, strip.stride, strip.rows, strip.cols);
        inverse_transform(strip, strip_index, buffers.work_line_a);
    }
    return write_strip(crc, sink, context);
}

} // namespace

std::uint32_t wavelet_code_image(std::uint32_t crc, CodecContext& context, EntropyCoder& coder, ImageFile& file) {
    assert(context.image.bytes_per_pixel >= 1 && context.image.bytes_per_pixel <= 3);
    const bool encoding = coder.encoding();
    assert(encoding ? file.source != nullptr : file.sink != nullptr);
    CodecBuffers& buffers = context.buffers;
    int strip_index = 0;
    for (int remaining = context.image.height; remaining > 0; remaining -= buffers.strip_rows) {
        buffers.strip_rows = strip_rows_for(remaining);
        buffers.strip_rows_padded = rounded_up_to_8(buffers.strip_rows);
        crc = encoding ? encode_strip(crc, context, coder, *file.source, strip_index)
                       : decode_strip(crc, context, coder, *file.sink, strip_index);
        ++strip_index;
    }
    end_image_file(file);
    return crc;
}

} // namespace vrk
