// The half of arithmetic encoding that needs no model: each value's set,
// stored in the byte beside the value, and its extra bits, appended to the
// strip's raw-bit stream.
//
// The models only ever see the sets, so a strip can be split on the pixel
// stage's thread while the entropy coder codes the sets of the strip before
// it; the arithmetic encoder then reads one byte per value and writes no raw
// bits. The splitter takes the entropy coder's calls, in the same order, and
// its raw-bit stream is byte for byte the one the coder would have written.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "core/strip_planes.hpp"
#include "entropy/raw_bit_stream.hpp"

namespace vrk {

class ValueSplitter {
public:
    // For strips of at most `max_values` values in all their calls.
    ValueSplitter(int bits_per_sample, std::size_t max_values);

    void begin_strip() noexcept;
    // The strip's planes must carry bytes beside their values (StripPlanes::add_bytes).
    void code_plane(StripRows strip, int row_count, int cols);
    void code_band(int orientation, StripRows strip, int row_count, int cols);
    // Ends the strip: its raw-bit stream, valid until the next begin_strip.
    std::span<const std::uint8_t> finish_strip() noexcept;

private:
    void split(StripRows strip, int row0, int col0, int row_count, int cols);

    int alphabet_;
    std::vector<std::uint8_t> buffer_;
    RawBitWriter writer_;
    [[maybe_unused]] std::size_t max_values_;
    std::size_t values_ = 0; // split in this strip so far
};

} // namespace vrk
