#include "wavelet/codec_buffers.hpp"

#include <algorithm>

#include "entropy/entropy_coder.hpp"

namespace vrk {

CodecBuffers allocate_codec_buffers(const ImageParameters& image) {
    CodecBuffers b;
    const int planes = image.plane_count;
    // Graphics mode codes exactly the image width; the transform needs a multiple of 8.
    b.padded_width = image.graphics() ? image.width : rounded_up_to_8(image.width);
    const std::size_t w = static_cast<std::size_t>(b.padded_width);

    b.work_lines.assign(2 * w, 0);
    b.work_line_a = b.work_lines.data();
    b.work_line_b = b.work_lines.data() + w;

    b.context_rows.assign(2 * w + 4, 0);
    b.class_row = b.context_rows.data() + 1;
    b.parent_row = b.class_row + w + 2;

    // Sized for the worst case the coders can produce, and large enough to stage a strip's pixels.
    const std::size_t values_per_strip = static_cast<std::size_t>(max_strip_rows) * w * planes;
    const std::size_t pixel_bytes =
        static_cast<std::size_t>(max_strip_rows) * image.width * static_cast<std::size_t>(image.bytes_per_pixel);
    b.code_buffer_size =
        std::max(EntropyCoder::code_buffer_capacity(values_per_strip, image.bits_per_sample), pixel_bytes);
    b.code_buffer.assign(b.code_buffer_size, 0);

    // 32 strip rows per plane, then per plane five pairs (carry_high, carry_low) of levels 0 to 4.
    constexpr int rows_per_plane = max_strip_rows + 2 * max_transform_levels;
    b.coeff_store.assign(static_cast<std::size_t>(rows_per_plane) * planes * w, 0);
    b.plane_records.resize(static_cast<std::size_t>(planes));
    std::int32_t* cursor = b.coeff_store.data();
    for (PlaneRecord& plane : b.plane_records) {
        plane.plane_base = cursor;
        cursor += max_strip_rows * w;
    }
    for (PlaneRecord& plane : b.plane_records) {
        for (int level = 0; level < max_transform_levels; ++level) {
            plane.carry_high[static_cast<std::size_t>(level)] = cursor;
            cursor += w;
            plane.carry_low[static_cast<std::size_t>(level)] = cursor;
            cursor += w;
        }
        plane.spare_row = plane.carry_high[0];
        plane.last_row = plane.carry_high[1];
    }
    return b;
}

} // namespace vrk
