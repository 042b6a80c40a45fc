// The raw-bit stream of a strip: extra bits (and, with the prefix coder,
// codewords) packed least significant bit first, growing forwards from the
// start of the code buffer.
//
// Both ends keep a 64-bit accumulator so that a codeword and a value's extra
// bits go in or come out together, without a branch on the bit count; the
// bytes are the same as those of any bit-by-bit packer.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace vrk {

namespace detail {
inline std::uint64_t load_le64(const std::uint8_t* p) noexcept {
    std::uint64_t v;
    std::memcpy(&v, p, sizeof v);
    if constexpr (std::endian::native == std::endian::big) v = __builtin_bswap64(v);
    return v;
}
inline void store_le64(std::uint8_t* p, std::uint64_t v) noexcept {
    if constexpr (std::endian::native == std::endian::big) v = __builtin_bswap64(v);
    std::memcpy(p, &v, sizeof v);
}
} // namespace detail

class RawBitWriter {
public:
    RawBitWriter() noexcept = default;
    explicit RawBitWriter(std::uint8_t* buffer) noexcept : buffer_(buffer) {}

    // Appends the low `count` bits of pattern (count <= 56, no higher bits
    // set), so a codeword and its value's extra bits go in together.
    // Branch-free: the whole accumulator is stored at every call and the
    // position advances by the complete bytes, so the 8 bytes after the
    // stream's end are scratch that the caller must keep free.
    void put(std::uint64_t pattern, int count) noexcept {
        bits_ |= pattern << count_;
        count_ += count;
        detail::store_le64(buffer_ + next_, bits_);
        const int whole = count_ >> 3;
        next_ += static_cast<std::size_t>(whole);
        bits_ >>= 8 * whole; // count_ was at most 63, so whole is at most 7
        count_ &= 7;
    }

    // Writes the waiting bits and one byte more, so that the stream ends with
    // at least one byte holding the last bits (or a 0 byte when none wait).
    void flush() noexcept {
        for (int i = (count_ >> 3) + 1; i > 0; --i) {
            buffer_[next_++] = static_cast<std::uint8_t>(bits_);
            bits_ >>= 8;
        }
        count_ = 0;
    }

    // Bytes written so far (after flush(): the stream's length).
    std::size_t bytes() const noexcept { return next_; }
    // Bytes written plus those the waiting bits will take.
    std::size_t bytes_committed() const noexcept { return next_ + static_cast<std::size_t>((count_ + 7) >> 3); }

private:
    std::uint8_t* buffer_ = nullptr;
    std::size_t next_ = 0;
    std::uint64_t bits_ = 0;
    int count_ = 0; // 0 to 7 between calls
};

class RawBitReader {
public:
    RawBitReader() noexcept = default;
    // The stream lies at the start of buffer[0, capacity); bytes beyond the
    // capacity read as 0.
    RawBitReader(const std::uint8_t* buffer, std::size_t capacity) noexcept : buffer_(buffer), end_(capacity) {
        refill();
    }

    // Makes at least 56 bits available: enough for one value, a codeword of
    // at most 29 bits followed by at most 23 extra bits. Away from the end of
    // the buffer it loads a whole word every time, even when enough bits
    // wait: whether a codeword and its extra bits emptied the accumulator is
    // a branch the processor would often mispredict.
    void refill() noexcept {
        if (next_ <= end_ && end_ - next_ >= 8) [[likely]] {
            // The bits above count_ are already those of the bytes at next_,
            // so or-ing a whole word in again changes nothing there.
            bits_ |= detail::load_le64(buffer_ + next_) << count_;
            next_ += static_cast<std::size_t>((63 - count_) >> 3);
            count_ |= 56; // plus the whole bytes taken: 56 to 63
        } else {
            for (; count_ <= 55; count_ += 8, ++next_) {
                if (next_ < end_) bits_ |= static_cast<std::uint64_t>(buffer_[next_]) << count_;
            }
        }
    }

    // Makes at least 24 bits available, more than the 23 extra bits of a value
    // (with no codeword before them): a refill is due only every few values
    // and its branch is well predicted, so skipping it is cheaper there.
    void refill_for_extra_bits() noexcept {
        if (count_ < 24) refill();
    }

    // The next bits of the stream, next bit in bit 0.
    std::uint64_t peek() const noexcept { return bits_; }
    void drop(int count) noexcept {
        bits_ >>= count;
        count_ -= count;
    }
    // Takes `count` bits (count <= 32, may be 0).
    std::uint32_t take(int count) noexcept {
        const auto v = static_cast<std::uint32_t>(bits_ & ((std::uint64_t{1} << count) - 1));
        drop(count);
        return v;
    }

private:
    const std::uint8_t* buffer_ = nullptr;
    std::size_t end_ = 0;
    std::size_t next_ = 0;
    std::uint64_t bits_ = 0;
    int count_ = 0;
};

} // namespace vrk
