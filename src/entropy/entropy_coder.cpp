#include "entropy/entropy_coder.hpp"

#include <algorithm>
#include <array>
#include <cassert>
#include <vector>

#include "core/error.hpp"
#include "entropy/arithmetic_coder.hpp"
#include "entropy/arithmetic_decoding_model.hpp"
#include "entropy/arithmetic_model.hpp"
#include "entropy/band_coders.hpp"
#include "entropy/magnitude_sets.hpp"
#include "entropy/prefix_model.hpp"
#include "entropy/raw_bit_stream.hpp"
#include "entropy/value_coders.hpp"

namespace vrk {

void refuse_uncodable_value() { fail(ErrorCode::invalid_parameters); }

namespace {

// The most bytes the flush and the arithmetic finish add to a strip, with room
// to spare, and the slack the decoder's read-ahead may use.
constexpr std::size_t finish_bytes = 16;
constexpr std::size_t read_ahead_bytes = 4;
// Kept free beyond a call's worst case while encoding: the flush and finish,
// and the 8 bytes past the raw-bit stream that its writer uses as scratch.
constexpr std::size_t call_reserve_bytes = 8;

// The most bits one value can take in both streams together: a codeword of
// at most alphabet - 1 bits (the depth of a code tree), which also bounds the
// arithmetic coder's at most two bytes per symbol, and the widest extra bits.
constexpr std::size_t max_bits_per_value(int alphabet) noexcept {
    return static_cast<std::size_t>(alphabet - 1 + set_bits[alphabet - 1]);
}

} // namespace

struct EntropyCoder::State {
    State(bool encoding_, bool fast_, int bits_per_sample, StripLimits limits)
        : encoding(encoding_), fast(fast_), max_cols(limits.max_cols) {
        assert(bits_per_sample >= min_coded_sample_bits && bits_per_sample <= max_coded_sample_bits);
        assert(limits.max_cols >= 3);
        alphabet = alphabet_size(bits_per_sample);
        capacity = code_buffer_capacity(limits.max_values, bits_per_sample);
        code_buffer.assign(capacity, 0);
        // The class row is indexable from -1 to max_cols, the parent row from 0 to max_cols - 1.
        context_rows.assign(2 * static_cast<std::size_t>(max_cols) + 2, 0);
        class_row = context_rows.data() + 1;
        parent_row = class_row + max_cols + 1;
        // 5 plane models, then 25 band models, all alike.
        if (fast)
            prefix_models.assign(model_count, PrefixModel(alphabet, !encoding));
        else if (encoding)
            arithmetic_models.assign(model_count, ArithmeticModel(alphabet));
        else
            arithmetic_decoding_models.assign(model_count, ArithmeticDecodingModel(alphabet));
    }

    // The code buffer is sized for the worst case of the largest strip, so a
    // call (or the strip's flush and finish, with no values) always fits
    // between the two streams.
    bool has_room(std::size_t values) const noexcept {
        const std::size_t used = writer.bytes_committed() + (capacity - arith_encoder.back()) + arith_encoder.pending();
        const std::size_t needed = (values * max_bits_per_value(alphabet) + 7) / 8 + call_reserve_bytes;
        return used <= capacity && capacity - used >= needed;
    }

    // Runs body(value_coder) with the value coder of this run's direction and
    // symbol coder, then keeps its stream state.
    template <class Body>
    void with_value_coder([[maybe_unused]] std::size_t values, Body&& body) {
        assert(in_strip);
        if (encoding) {
            assert(has_room(values));
            if (fast) {
                PrefixValueEncoder coder{writer, prefix_models.data(), alphabet};
                body(coder);
                writer = coder.bits;
            } else {
                ArithmeticValueEncoder coder{arith_encoder, writer, arithmetic_models.data(), alphabet};
                body(coder);
                arith_encoder = coder.arith;
                writer = coder.bits;
            }
        } else if (fast) {
            PrefixValueDecoder coder{reader, prefix_models.data()};
            body(coder);
            reader = coder.bits;
        } else {
            ArithmeticValueDecoder coder{arith_decoder, reader, arithmetic_decoding_models.data()};
            body(coder);
            arith_decoder = coder.arith;
            reader = coder.bits;
        }
    }

    // The arithmetic encoder takes sets split beforehand, from the bytes
    // beside the values when the strip has them.
    bool takes_sets() const noexcept { return encoding && !fast; }

    template <class Body>
    void with_set_encoder([[maybe_unused]] std::size_t values, Body&& body) {
        assert(in_strip && takes_sets() && has_room(values));
        ArithmeticSetEncoder coder{arith_encoder, arithmetic_models.data()};
        body(coder);
        arith_encoder = coder.arith;
    }

    bool encoding;
    bool fast;
    int max_cols;
    int alphabet = 0;

    std::vector<std::uint8_t> code_buffer; // one strip's two streams
    std::size_t capacity = 0;
    bool in_strip = false;
    std::vector<std::int32_t> context_rows;
    std::int32_t* class_row = nullptr;  // the set last coded in each column, with a guard at each end
    std::int32_t* parent_row = nullptr; // five times the parent context of each column
    RawBitWriter writer;
    ArithmeticEncoder arith_encoder;
    RawBitReader reader;
    ArithmeticDecoder arith_decoder;

    std::vector<ArithmeticModel> arithmetic_models;
    std::vector<ArithmeticDecodingModel> arithmetic_decoding_models;
    std::vector<PrefixModel> prefix_models;
};

EntropyCoder::EntropyCoder(Direction direction, bool fast, int bits_per_sample, StripLimits limits)
    : state_(new State(direction == Direction::encode, fast, bits_per_sample, limits)) {}

EntropyCoder::~EntropyCoder() { delete state_; }

std::size_t EntropyCoder::code_buffer_capacity(std::size_t values_per_strip, int bits_per_sample) noexcept {
    const int alphabet = alphabet_size(std::clamp(bits_per_sample, min_coded_sample_bits, max_coded_sample_bits));
    return (values_per_strip * max_bits_per_value(alphabet) + 7) / 8 + finish_bytes + read_ahead_bytes;
}

std::span<std::uint8_t> EntropyCoder::code_buffer() noexcept {
    assert(!state_->encoding && !state_->in_strip);
    return state_->code_buffer;
}

void EntropyCoder::begin_strip() {
    State& s = *state_;
    assert(!s.in_strip);
    s.in_strip = true;
    std::uint8_t* const buffer = s.code_buffer.data();
    const std::size_t capacity = s.capacity;
    if (s.encoding) {
        s.writer = RawBitWriter(buffer);
        s.arith_encoder = ArithmeticEncoder(buffer, capacity);
        return;
    }
    s.reader = RawBitReader(buffer, capacity);
    // A fast-mode strip has no arithmetic stream to prime.
    if (!s.fast) s.arith_decoder = ArithmeticDecoder(buffer, capacity);
}

EntropyCoder::StripStreams EntropyCoder::finish_strip() {
    State& s = *state_;
    assert(s.in_strip);
    s.in_strip = false;
    if (!s.encoding) return {};
    assert(s.has_room(0));
    s.writer.flush();
    // Fast mode never writes the arithmetic stream, not even its finish.
    if (!s.fast) s.arith_encoder.finish();
    const std::uint8_t* const buffer = s.code_buffer.data();
    return {{buffer, s.writer.bytes()}, {buffer + s.arith_encoder.back(), s.capacity - s.arith_encoder.back()}};
}

void EntropyCoder::code_plane(StripRows strip, int row_count, int cols) {
    // The guards and the above-left term need three columns.
    assert(row_count > 0 && cols >= 3 && cols <= state_->max_cols);
    const auto values = static_cast<std::size_t>(row_count) * static_cast<std::size_t>(cols);
    State& s = *state_;
    if (s.takes_sets() && strip.has_bytes())
        s.with_set_encoder(values,
                           [&](auto& coder) { code_plane_values(coder, strip.bytes(), s.class_row, row_count, cols); });
    else
        s.with_value_coder(values, [&](auto& coder) { code_plane_values(coder, strip, s.class_row, row_count, cols); });
}

void EntropyCoder::code_band(int orientation, StripRows strip, int row_count, int cols) {
    assert(orientation >= 1 && orientation <= 3);
    assert(row_count > 0 && cols >= 3 && cols <= state_->max_cols);
    const auto values = static_cast<std::size_t>(row_count) * static_cast<std::size_t>(cols);
    State& s = *state_;
    if (s.takes_sets() && strip.has_bytes())
        s.with_set_encoder(values, [&](auto& coder) {
            code_band_values(coder, orientation, strip.bytes(), row_count, cols, s.class_row, s.parent_row);
        });
    else
        s.with_value_coder(values, [&](auto& coder) {
            code_band_values(coder, orientation, strip, row_count, cols, s.class_row, s.parent_row);
        });
}

bool EntropyCoder::codes_split_sets() const noexcept { return state_->takes_sets(); }

} // namespace vrk
