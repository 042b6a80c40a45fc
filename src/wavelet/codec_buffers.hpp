// The working memory of one run, for either engine, and the strip schedule.
//
// Everything is allocated once, sized by the image width only, so memory does
// not grow with the image height.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "frontend/image_parameters.hpp"

namespace vrk {

inline constexpr int max_strip_rows = 32;
inline constexpr int max_transform_levels = 5;

// The rows of one plane. Strip row i starts at plane_base + i * padded_width;
// the 32 strip rows are consecutive in memory.
struct PlaneRecord {
    std::int32_t* plane_base = nullptr;
    std::int32_t* spare_row = nullptr; // graphics mode: the row before last_row
    std::int32_t* last_row = nullptr;  // graphics mode: the row completed last
    std::array<std::int32_t*, max_transform_levels> carry_low{};  // wavelet carries across strips
    std::array<std::int32_t*, max_transform_levels> carry_high{};
};

// Rows in the next strip when `remaining` rows of the image are left:
// 32 rows, 24 when 33 to 48 remain (so no strip is tiny), else all of them.
constexpr int strip_rows_for(int remaining) noexcept {
    return remaining >= 49 ? 32 : remaining >= 33 ? 24 : remaining;
}
constexpr int rounded_up_to_8(int n) noexcept { return (n + 7) & ~7; }

struct CodecBuffers {
    int padded_width = 0;  // width rounded up to a multiple of 8 (normal mode), the width (graphics mode)
    int strip_rows = 0;         // rows of the current strip
    int strip_rows_padded = 0;  // strip_rows rounded up to a multiple of 8: 16, 24 or 32

    std::vector<std::uint8_t> code_buffer; // the strip's code; also stages its pixel bytes
    std::size_t code_buffer_size = 0;      // the coder's capacity (code_buffer may be a little larger)

    std::int32_t* work_line_a = nullptr; // transform scratch, padded_width values each
    std::int32_t* work_line_b = nullptr;
    std::int32_t* class_row = nullptr;   // indexable from -1 to padded_width + 1
    std::int32_t* parent_row = nullptr;  // indexable from -1 to padded_width
    std::vector<PlaneRecord> plane_records;

    std::vector<std::int32_t> coeff_store;   // all strip rows and carry rows, zero at the start
    std::vector<std::int32_t> work_lines;
    std::vector<std::int32_t> context_rows;

    CodecBuffers() = default;
    CodecBuffers(const CodecBuffers&) = delete; // the pointers above point into the vectors
    CodecBuffers& operator=(const CodecBuffers&) = delete;
    CodecBuffers(CodecBuffers&&) = default;
    CodecBuffers& operator=(CodecBuffers&&) = default;

    std::int32_t* row(int plane, int i) const noexcept {
        return plane_records[static_cast<std::size_t>(plane)].plane_base +
               static_cast<std::ptrdiff_t>(i) * padded_width;
    }
};

CodecBuffers allocate_codec_buffers(const ImageParameters& image);

} // namespace vrk
