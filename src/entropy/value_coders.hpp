// The value coders: one integer as its magnitude-set symbol, coded with the
// chosen model, followed by its extra bits in the raw-bit stream.
//
// There is one per direction and symbol coder, each with the same call,
// code(value, model), which returns the value's set: encoders read the value,
// decoders write it. The band coders are templates over them, so the
// per-value loops never test the direction or the coder. Each holds its own
// copies of the stream state for the length of one band; the entropy coder
// copies them back afterwards.
#pragma once

#include <cstdint>

#include "entropy/arithmetic_coder.hpp"
#include "entropy/arithmetic_decoding_model.hpp"
#include "entropy/arithmetic_model.hpp"
#include "entropy/magnitude_sets.hpp"
#include "entropy/prefix_model.hpp"
#include "entropy/raw_bit_stream.hpp"

namespace vrk {

// A value whose magnitude lies beyond the models' alphabet cannot be coded.
[[noreturn]] void refuse_uncodable_value();

// The set of an encoder's value, checked against the alphabet.
inline int set_to_encode(std::int32_t value, int alphabet) {
    const int k = magnitude_set_of(magnitude_of(value));
    if (k >= alphabet) [[unlikely]]
        refuse_uncodable_value();
    return k;
}

struct ArithmeticValueEncoder {
    ArithmeticEncoder arith;
    RawBitWriter bits;
    ArithmeticModel* models;
    int alphabet;

    int code(std::int32_t& value, int model) {
        const std::int32_t v = value;
        const int k = set_to_encode(v, alphabet);
        arith.encode(models[model], k);
        bits.put(extra_bits_of(v, k), set_bits[k]);
        return k;
    }
};

// The arithmetic encoder of sets split beforehand (value_splitter.hpp): the
// raw bits are already written, so it codes the set alone.
struct ArithmeticSetEncoder {
    ArithmeticEncoder arith;
    ArithmeticModel* models;

    int code(std::uint8_t& set, int model) noexcept {
        arith.encode(models[model], set);
        return set;
    }
};

struct ArithmeticValueDecoder {
    ArithmeticDecoder arith;
    RawBitReader bits;
    ArithmeticDecodingModel* models;

    int code(std::int32_t& value, int model) noexcept {
        const int k = arith.decode(models[model]);
        bits.refill_for_extra_bits();
        value = value_of(k, bits.take(set_bits[k]));
        return k;
    }
};

struct PrefixValueEncoder {
    RawBitWriter bits;
    PrefixModel* models;
    int alphabet;

    int code(std::int32_t& value, int model) {
        const std::int32_t v = value;
        const int k = set_to_encode(v, alphabet);
        PrefixModel& m = models[model];
        // The codeword and then the extra bits, in one append.
        const int length = m.code_length(k);
        bits.put(m.codeword(k) | std::uint64_t{extra_bits_of(v, k)} << length, length + set_bits[k]);
        m.record(k);
        return k;
    }
};

struct PrefixValueDecoder {
    RawBitReader bits;
    PrefixModel* models;

    int code(std::int32_t& value, int model) noexcept {
        PrefixModel& m = models[model];
        bits.refill();
        const auto [k, length] = m.decode(bits.peek());
        bits.drop(length);
        m.record(k);
        value = value_of(k, bits.take(set_bits[k]));
        return k;
    }
};

} // namespace vrk
