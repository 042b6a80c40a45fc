// The adaptive model of the arithmetic coder: symbol counts kept sorted by
// frequency, so that frequent symbols sit at small indices where the
// decoder's linear search and the update's walks end early.
//
// Index i has count freq(i); cum(i) is the sum of the counts above index i,
// so cum(n-1) = 0 and cum(-1) is the total. The total stays at most 4095,
// which the coder's 32-bit precision needs.
#pragma once

#include <array>
#include <cstdint>

#include "entropy/magnitude_sets.hpp"

namespace vrk {

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
            freq_at(i) = 1;
            cum_at(i - 1) = cum(i) + 1;
        }
    }

    int size() const noexcept { return size_; }
    std::uint32_t total() const noexcept { return cum_[0]; }
    // The count at index i (0 to size-1); freq(-1) is always 0.
    std::uint32_t freq(int i) const noexcept { return freq_[i + 1]; }
    // Sum of the counts at indices above i (i from -1 to size-1).
    std::uint32_t cum(int i) const noexcept { return cum_[i + 1]; }
    int index_of(int symbol) const noexcept { return symbol_to_index_[symbol]; }
    int symbol_at(int index) const noexcept { return index_to_symbol_[index]; }

    // The first index whose cum(index) <= target. cum(size-1) is 0, so the
    // search ends inside the model whatever the target.
    int find(std::uint32_t target) const noexcept {
        int x = 0;
        while (cum_[x + 1] > target) ++x;
        return x;
    }

    // Records one more occurrence of the symbol at index x; called after the
    // coder has narrowed its interval with the old counts.
    void update(int x) noexcept {
        if (cum_[0] == max_total) rescale();
        // The count that grows is the first of its run of equal counts, which
        // keeps the counts sorted; the coded symbol moves to that index.
        int i = x;
        while (freq(i - 1) == freq(i)) --i;
        if (i < x) {
            const std::uint8_t moved = index_to_symbol_[i];
            const std::uint8_t coded = index_to_symbol_[x];
            index_to_symbol_[i] = coded;
            index_to_symbol_[x] = moved;
            symbol_to_index_[coded] = static_cast<std::uint8_t>(i);
            symbol_to_index_[moved] = static_cast<std::uint8_t>(x);
        }
        ++freq_at(i);
        for (int j = 0; j <= i; ++j) ++cum_[j];
    }

private:
    std::uint32_t& freq_at(int i) noexcept { return freq_[i + 1]; }
    std::uint32_t& cum_at(int i) noexcept { return cum_[i + 1]; }

    // Halves every count, rounding up so that none becomes 0; the order stays.
    void rescale() noexcept {
        for (int i = size_ - 1; i >= 0; --i) {
            freq_at(i) = (freq(i) + 1) / 2;
            cum_at(i - 1) = freq(i) + cum(i);
        }
    }

    int size_;
    // One leading cell each: freq_[0] is the zero count at index -1, cum_[0]
    // the total at index -1.
    std::array<std::uint32_t, max_alphabet_size + 1> freq_;
    std::array<std::uint32_t, max_alphabet_size + 1> cum_;
    std::array<std::uint8_t, max_alphabet_size> index_to_symbol_;
    std::array<std::uint8_t, max_alphabet_size> symbol_to_index_;
};

} // namespace vrk
