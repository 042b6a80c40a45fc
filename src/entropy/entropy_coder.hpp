// The entropy coder of one run: 30 adaptive models, the strip code buffer,
// and the arithmetic or prefix symbol coder, in one direction.
//
// The engines hand it whole planes and bands; it codes every value as a
// magnitude-set symbol plus raw extra bits. The direction and the coder are
// fixed when the object is made, so the same calls encode or decode.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/byte_io.hpp"
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

    // Starts encoding into `compressed` (the file after its headers).
    EntropyCoder(ByteSink& compressed, bool fast, int bits_per_sample, StripLimits limits);
    // Starts decoding from `compressed` (positioned after its headers).
    EntropyCoder(ByteSource& compressed, bool fast, int bits_per_sample, StripLimits limits);
    ~EntropyCoder();
    EntropyCoder(const EntropyCoder&) = delete;
    EntropyCoder& operator=(const EntropyCoder&) = delete;

    // Capacity a code buffer needs so that the two streams of a strip of
    // `values_per_strip` values never meet, whatever the values are.
    static std::size_t code_buffer_capacity(std::size_t values_per_strip, int bits_per_sample) noexcept;

    // Starts a strip. Decoding reads the strip record into the code buffer
    // and primes the decoders; lengths that do not fit it are "Invalid
    // compressed file".
    void begin_strip();
    // Ends a strip. Encoding flushes both streams and writes the strip record.
    void finish_strip();

    // The plane coder: rows 0..row_count-1, columns 0..cols-1 of `strip`.
    void code_plane(StripRows strip, int row_count, int cols);
    // The detail-band coder for orientation 1, 2 or 3 of a row_count x cols band.
    void code_band(int orientation, StripRows strip, int row_count, int cols);

    // Encoding: writes the trailing CRC word, closes the compressed sink and
    // returns the bytes the coder wrote (strip records plus the 4-byte word).
    std::int64_t write_check_word(std::uint32_t crc);
    // Decoding: reads the trailing CRC word and closes the compressed source.
    std::uint32_t read_check_word();

private:
    struct State;
    State* state_; // owned; the whole run's coder state
};

} // namespace vrk
