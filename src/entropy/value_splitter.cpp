#include "entropy/value_splitter.hpp"

#include <cassert>

#include "entropy/band_geometry.hpp"
#include "entropy/magnitude_sets.hpp"
#include "entropy/value_coders.hpp"

namespace vrk {

namespace {
// The widest extra bits of the alphabet, the flush's byte and the 8 bytes
// past the stream that the writer uses as scratch.
std::size_t buffer_bytes(std::size_t values, int alphabet) noexcept {
    return (values * static_cast<std::size_t>(set_bits[alphabet - 1]) + 7) / 8 + 1 + 8;
}
} // namespace

ValueSplitter::ValueSplitter(int bits_per_sample, std::size_t max_values)
    : alphabet_(alphabet_size(bits_per_sample)), buffer_(buffer_bytes(max_values, alphabet_size(bits_per_sample))),
      max_values_(max_values) {
    assert(bits_per_sample >= min_coded_sample_bits && bits_per_sample <= max_coded_sample_bits);
}

void ValueSplitter::begin_strip() noexcept {
    writer_ = RawBitWriter(buffer_.data());
    values_ = 0;
}

void ValueSplitter::code_plane(StripRows strip, int row_count, int cols) { split(strip, 0, 0, row_count, cols); }

void ValueSplitter::code_band(int orientation, StripRows strip, int row_count, int cols) {
    assert(orientation >= 1 && orientation <= 3);
    split(strip, band_row_offset[orientation] * row_count, band_col_offset[orientation] * cols, row_count, cols);
}

std::span<const std::uint8_t> ValueSplitter::finish_strip() noexcept {
    writer_.flush();
    return {buffer_.data(), writer_.bytes()};
}

void ValueSplitter::split(StripRows strip, int row0, int col0, int row_count, int cols) {
    assert(strip.has_bytes() && row_count > 0 && cols > 0);
    values_ += static_cast<std::size_t>(row_count) * static_cast<std::size_t>(cols);
    assert(values_ <= max_values_);
    RawBitWriter bits = writer_; // in registers for the loop, as in the band coders
    const StripByteRows sets = strip.bytes();
    for (int i = row0; i < row0 + row_count; ++i) {
        const std::int32_t* values = strip.row(i) + col0;
        std::uint8_t* row_sets = sets.row(i) + col0;
        for (int j = 0; j < cols; ++j) {
            const std::int32_t v = values[j];
            const int k = set_to_encode(v, alphabet_);
            row_sets[j] = static_cast<std::uint8_t>(k);
            bits.put(extra_bits_of(v, k), set_bits[k]);
        }
    }
    writer_ = bits;
}

} // namespace vrk
