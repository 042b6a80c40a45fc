// The arithmetic coder: a byte-oriented multiplicative coder with 32-bit
// registers, a minimum range of 2^22 and a carry scheme that holds back one
// byte plus a count of pending positions.
//
// Its stream fills the code buffer from the end towards the start: writing a
// byte first moves the back index down, so the stream's first byte sits at
// the buffer's last position.
//
// While positions are pending the registers are biased: a window value v
// stands for v - 2^31 relative to the byte boundary at which the pending
// positions will take a carry or not, so bit 31 tells on which side of that
// boundary the interval lies.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "entropy/arithmetic_decoding_model.hpp"
#include "entropy/arithmetic_model.hpp"
#include "entropy/total_division.hpp"

namespace vrk {

namespace arithmetic {
inline constexpr std::uint32_t min_range = 0x400000;
inline constexpr std::uint32_t top_byte = 0xFF000000;
inline constexpr std::uint32_t bias = 0x80000000;
} // namespace arithmetic

class ArithmeticEncoder {
public:
    ArithmeticEncoder() noexcept = default;
    ArithmeticEncoder(std::uint8_t* buffer, std::size_t capacity) noexcept : buffer_(buffer), back_(capacity) {}

    void encode(ArithmeticModel& model, int symbol) noexcept {
        const int x = model.index_of(symbol);
        const std::uint32_t r = divide_by_total(high_ - low_, model.total());
        // The most frequent symbol (index 0) takes the top of the interval.
        high_ = low_ + r * model.cum(x - 1);
        low_ = low_ + r * model.cum(x);
        model.update(x);
        while (high_ - low_ < arithmetic::min_range) pass();
    }

    // Ends the stream by choosing a point in the middle of the interval and
    // writing its top bytes with three passes. A position that only the last
    // pass left pending is not needed by the decoder and is dropped; when the
    // first or second pass already left positions pending (the point sits
    // just below a byte boundary), they are written as the held byte and 0xFF
    // bytes, which the decoder needs for the strip's last symbols.
    void finish() noexcept {
        low_ = (high_ >> 1) + (low_ >> 1);
        high_ = low_ + 2;
        pass();
        pass();
        pass();
        if (pending_ >= 2) {
            put(held_);
            for (std::uint32_t i = 1; i < pending_; ++i) put(0xFF);
        }
        pending_ = 0;
    }

    // Position of the stream's last byte so far (the capacity before the first).
    std::size_t back() const noexcept { return back_; }
    // Positions that are counted but not yet written.
    std::uint32_t pending() const noexcept { return pending_; }

private:
    void put(std::uint8_t byte) noexcept { buffer_[--back_] = byte; }

    // One renormalisation pass: one stream position, written now or later;
    // the range grows by exactly 256.
    void pass() noexcept {
        using namespace arithmetic;
        if (((low_ ^ high_) & top_byte) == 0) {
            if (pending_ > 0) {
                settle();
                put(static_cast<std::uint8_t>((high_ ^ bias) >> 24));
            } else {
                put(static_cast<std::uint8_t>(high_ >> 24));
            }
            low_ <<= 8;
            high_ <<= 8;
            return;
        }
        if (pending_ > 0 && (high_ & top_byte) == bias) {
            ++pending_; // still straddling the same boundary
        } else {
            if (pending_ > 0) {
                settle();
                held_ = static_cast<std::uint8_t>((low_ ^ bias) >> 24);
            } else {
                held_ = static_cast<std::uint8_t>(low_ >> 24);
            }
            pending_ = 1;
        }
        low_ = (low_ << 8) ^ bias;
        high_ = (high_ << 8) ^ bias;
    }

    // Writes the pending positions: the held byte and 0xFF bytes, or after a
    // carry the held byte + 1 and 0x00 bytes. A held byte is never 0xFF when
    // a carry is still possible.
    void settle() noexcept {
        if ((high_ & arithmetic::bias) != 0) {
            ++held_;
            put(held_);
            for (std::uint32_t i = 1; i < pending_; ++i) put(0x00);
        } else {
            put(held_);
            for (std::uint32_t i = 1; i < pending_; ++i) put(0xFF);
        }
        pending_ = 0;
    }

    std::uint32_t low_ = 0;
    std::uint32_t high_ = 0xFFFFFFFF;
    std::uint32_t pending_ = 0;
    std::uint8_t held_ = 0;
    std::uint8_t* buffer_ = nullptr;
    std::size_t back_ = 0;
};

// The decoder keeps only the width of the encoder's interval and the code
// point's offset inside it. The encoder's bias toggles its two registers
// alike, so it cancels in their difference (mod 2^32) and the decoder never
// needs to know about pending positions.
class ArithmeticDecoder {
public:
    ArithmeticDecoder() noexcept = default;
    // The stream ends at buffer[capacity - 1]; reads below position 0 give 0.
    ArithmeticDecoder(const std::uint8_t* buffer, std::size_t capacity) noexcept : buffer_(buffer), back_(capacity) {
        for (int i = 0; i < 4; ++i) point_ = (point_ << 8) | next();
    }

    int decode(ArithmeticDecodingModel& model) noexcept {
        const std::uint32_t r = model.divide(range_);
        // The index whose subinterval holds the point, i.e. the first with
        // cum(x) <= point_ / r; found by products, without dividing.
        const auto [x, above] = model.find_scaled(r, point_);
        point_ -= r * above;
        range_ = r * model.count(x);
        const int symbol = model.symbol_at(x);
        model.update(x);
        renormalise();
        return symbol;
    }

private:
    std::uint32_t next() noexcept { return back_ > 0 ? buffer_[--back_] : 0u; }

    // Shifts in the bytes that bring the range back to at least min_range:
    // none, one or two (a symbol leaves at least r >= 2^22 / 4095 > 2^10),
    // counted and read without a branch on their number, which the
    // statistics make hard to predict.
    void renormalise() noexcept {
        using arithmetic::min_range;
        const int n = static_cast<int>(range_ < min_range) + static_cast<int>(range_ < (min_range >> 8));
        range_ <<= 8 * n;
        if (back_ >= 2) [[likely]] {
            // The next byte in bits 15..8, the one after it in bits 7..0.
            std::uint16_t word;
            std::memcpy(&word, buffer_ + back_ - 2, sizeof word);
            if constexpr (std::endian::native == std::endian::big) word = __builtin_bswap16(word);
            const std::uint32_t two = word;
            point_ = (point_ << 8 * n) | (two >> (16 - 8 * n));
            back_ -= static_cast<std::size_t>(n);
        } else {
            for (int i = 0; i < n; ++i) point_ = (point_ << 8) | next();
        }
    }

    std::uint32_t range_ = 0xFFFFFFFF;
    std::uint32_t point_ = 0;
    const std::uint8_t* buffer_ = nullptr;
    std::size_t back_ = 0;
};

} // namespace vrk
