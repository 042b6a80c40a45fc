// The adaptive model of the arithmetic coder: symbol counts kept sorted by
// frequency, so that frequent symbols sit at small indices where the
// decoder's search and the update's walks end early. The cumulative counts
// are 16-bit lanes, so the encoder's update can add to eight at a time. The
// decoder keeps the same state in its own form (arithmetic_decoding_model.hpp).
//
// Each index has a count of at least 1; cum(i) is the sum of the counts
// above index i, so cum(n-1) = 0 and cum(-1) is the total. The total stays
// at most 4095, which the coder's 32-bit precision needs.
#pragma once

#include <array>
#include <cstdint>

#include "entropy/count_vectors.hpp"
#include "entropy/magnitude_sets.hpp"
#include "entropy/total_division.hpp"

namespace vrk {

// The index whose count grows when the symbol at index x is coded: the first
// of x's run of equal counts, so that the counts stay sorted. The encoder's
// and the decoder's models both take it from here, which keeps them in step.
inline int first_of_equal_counts(const std::uint16_t* freq, int x) noexcept {
    while (x > 0 && freq[x - 1] == freq[x]) --x;
    return x;
}

class ArithmeticModel {
public:
    static constexpr std::uint32_t max_total = 4095;

    // Every symbol at its own index with a count of 1.
    explicit ArithmeticModel(int size) noexcept : size_(size) {
        freq_.fill(0);
        cum_.fill(0);
        for (int i = size - 1; i >= 0; --i) {
            index_to_symbol_[i] = static_cast<std::uint8_t>(i);
            symbol_to_index_[i] = static_cast<std::uint8_t>(i);
            freq_[i] = 1;
            cum_at(i - 1) = static_cast<std::uint16_t>(cum(i) + 1);
        }
    }

    int size() const noexcept { return size_; }
    std::uint32_t total() const noexcept { return cum_[0]; }
    // Sum of the counts at indices above i (i from -1 to size-1).
    std::uint32_t cum(int i) const noexcept { return cum_[i + 1]; }
    int index_of(int symbol) const noexcept { return symbol_to_index_[symbol]; }
    int symbol_at(int index) const noexcept { return index_to_symbol_[index]; }

    // Records one more occurrence of the symbol at index x; called after the
    // coder has narrowed its interval with the old counts. The cumulative
    // counts grow eight lanes at a time, where a loop's exit would often be
    // mispredicted and nothing waits for the result.
    void update(int x) noexcept {
        const int i = grow(x);
        count_vectors::increment_prefix(cum_.data(), i); // cum(-1) to cum(i-1)
    }

private:
    std::uint16_t& cum_at(int i) noexcept { return cum_[i + 1]; }

    // The count that grows is the first of its run of equal counts, which
    // keeps the counts sorted; the coded symbol moves there from index x (an
    // exchange with itself when it is already first). Returns that index;
    // the cumulative counts above it are the caller's to increase.
    int grow(int x) noexcept {
        if (cum_[0] == max_total) [[unlikely]]
            rescale();
        const int i = first_of_equal_counts(freq_.data(), x);
        const std::uint8_t moved = index_to_symbol_[i];
        const std::uint8_t coded = index_to_symbol_[x];
        index_to_symbol_[i] = coded;
        index_to_symbol_[x] = moved;
        symbol_to_index_[moved] = static_cast<std::uint8_t>(x);
        symbol_to_index_[coded] = static_cast<std::uint8_t>(i);
        ++freq_[i];
        return i;
    }

    // Halves every count, rounding up so that none becomes 0; the order stays.
    void rescale() noexcept {
        for (int i = size_ - 1; i >= 0; --i) {
            freq_[i] = static_cast<std::uint16_t>((freq_[i] + 1) / 2);
            cum_at(i - 1) = static_cast<std::uint16_t>(freq_[i] + cum(i));
        }
    }

    static_assert(max_alphabet_size < count_vectors::lanes); // cum_ holds size + 1 entries
    static_assert(max_total <= max_divided_total);

    int size_;
    // 16-bit counts, zero beyond the alphabet: freq_[i] is the count at index
    // i; cum_[0] is the total and cum_[i + 1] is cum(i).
    std::array<std::uint16_t, count_vectors::lanes> freq_;
    alignas(16) std::array<std::uint16_t, count_vectors::lanes> cum_;
    std::array<std::uint8_t, max_alphabet_size> index_to_symbol_;
    std::array<std::uint8_t, max_alphabet_size> symbol_to_index_;
};

} // namespace vrk
