// The entropy coder of one run: 30 adaptive models, the strip code buffer,
// and the arithmetic or prefix symbol coder, in one direction.
//
// The engines hand it whole planes and bands; it codes every value as a
// magnitude-set symbol plus raw extra bits. The direction and the coder are
// fixed when the object is made, so the same calls encode or decode. It
// knows nothing of files: a strip's two streams live in its code buffer,
// which the compressed stream's owner fills (decoding) or takes (encoding).
#pragma once

#include <cstddef>
#include <cstdint>

#include <span>

#include "core/strip_planes.hpp"

namespace vrk {

class EntropyCoder {
public:
    // The largest strip the coder takes: `max_cols` columns (at least 3) and
    // `max_values` values in all its calls. Its code buffer is sized for the
    // worst case of such a strip, so the two streams never meet.
    struct StripLimits {
        int max_cols;
        std::size_t max_values;
    };

    enum class Direction { encode, decode };

    // A strip's two streams: the raw bits (codewords and extra bits) from
    // the front of the code buffer, the arithmetic code from its back.
    struct StripStreams {
        std::span<const std::uint8_t> raw_bits;
        std::span<const std::uint8_t> arithmetic;
    };

    EntropyCoder(Direction direction, bool fast, int bits_per_sample, StripLimits limits);
    ~EntropyCoder();
    EntropyCoder(const EntropyCoder&) = delete;
    EntropyCoder& operator=(const EntropyCoder&) = delete;

    // Capacity a code buffer needs so that the two streams of a strip of
    // `values_per_strip` values never meet, whatever the values are.
    static std::size_t code_buffer_capacity(std::size_t values_per_strip, int bits_per_sample) noexcept;

    // Decoding: where a strip's streams go before begin_strip, the raw bits
    // at the front and the arithmetic code ending at the back.
    std::span<std::uint8_t> code_buffer() noexcept;

    // Starts a strip. Decoding primes the decoders from the code buffer.
    void begin_strip();
    // Ends a strip. Encoding flushes both streams and returns them, valid
    // until the next begin_strip; decoding returns none.
    StripStreams finish_strip();

    // Whether this coder can take a strip split beforehand by a
    // ValueSplitter (the arithmetic encoder): given rows whose bytes hold
    // the sets, the calls below then code the sets alone, and the strip's
    // raw-bit stream is the splitter's, not the one finish_strip returns.
    // Given rows without bytes, every coder codes the values themselves.
    bool codes_split_sets() const noexcept;

    // The plane coder: rows 0..row_count-1, columns 0..cols-1 of `strip`.
    void code_plane(StripRows strip, int row_count, int cols);
    // The detail-band coder for orientation 1, 2 or 3 of a row_count x cols band.
    void code_band(int orientation, StripRows strip, int row_count, int cols);

private:
    struct State;
    State* state_; // owned; the whole run's coder state
};

} // namespace vrk
