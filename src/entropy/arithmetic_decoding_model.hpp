// The decoder's copy of an arithmetic model: the same counts in the same
// order as ArithmeticModel after every symbol, held for the decoder alone.
//
// The decoder only ever goes from an index to its symbol, so it keeps no
// symbol-to-index map, and it needs no cumulative counts: its search sums
// the counts from index 0 on, ending where the encoder's lookup would, and
// an update then touches one count and the total instead of a prefix of
// cumulative counts that the next search would have to wait for.
#pragma once

#include <array>
#include <cstdint>

#include "entropy/arithmetic_model.hpp"
#include "entropy/magnitude_sets.hpp"
#include "entropy/total_division.hpp"

namespace vrk {

class ArithmeticDecodingModel {
public:
    // Every symbol at its own index with a count of 1.
    explicit ArithmeticDecodingModel(int size) noexcept
        : size_(size), total_(static_cast<std::uint32_t>(size)), reciprocal_(detail::total_reciprocals[total_]) {
        freq_.fill(0);
        for (int i = 0; i < size; ++i) {
            freq_[i] = 1;
            index_to_symbol_[i] = static_cast<std::uint8_t>(i);
        }
    }

    int size() const noexcept { return size_; }
    std::uint32_t total() const noexcept { return total_; }
    // floor(n / total()), with the total's reciprocal kept beside it: one
    // load fewer on the way from the model to the symbol.
    std::uint32_t divide(std::uint32_t n) const noexcept { return multiply_high(n, reciprocal_); }
    std::uint32_t count(int index) const noexcept { return freq_[index]; }
    int symbol_at(int index) const noexcept { return index_to_symbol_[index]; }

    struct Found {
        int index;
        std::uint32_t above; // cum(index): the sum of the counts at larger indices
    };

    // The first index whose cum(index) * scale <= point, where cum(index) is
    // the sum of the counts above it (total minus those up to it). The last
    // index has cum 0, so the search ends inside the model whatever the
    // point. A plain loop: its exit is well predicted for skewed statistics.
    Found find_scaled(std::uint32_t scale, std::uint32_t point) const noexcept {
        int x = 0;
        std::uint32_t above = total_ - freq_[0];
        while (above * scale > point) above -= freq_[++x];
        return {x, above};
    }

    // Records one more occurrence of the symbol at index x, exactly as
    // ArithmeticModel::update does: rescale at the bound, then the first
    // index of x's run of equal counts takes the symbol and the count.
    void update(int x) noexcept {
        if (total_ == ArithmeticModel::max_total) [[unlikely]]
            rescale();
        const int i = first_of_equal_counts(freq_.data(), x);
        const std::uint8_t coded = index_to_symbol_[x];
        index_to_symbol_[x] = index_to_symbol_[i];
        index_to_symbol_[i] = coded;
        ++freq_[i];
        ++total_;
        reciprocal_ = detail::total_reciprocals[total_];
    }

private:
    // Halves every count, rounding up so that none becomes 0; the order stays.
    void rescale() noexcept {
        total_ = 0;
        for (int i = 0; i < size_; ++i) {
            freq_[i] = static_cast<std::uint16_t>((freq_[i] + 1) / 2);
            total_ += freq_[i];
        }
        reciprocal_ = detail::total_reciprocals[total_];
    }

    int size_;
    std::uint32_t total_;
    std::uint64_t reciprocal_;
    std::array<std::uint16_t, max_alphabet_size> freq_;
    std::array<std::uint8_t, max_alphabet_size> index_to_symbol_;
};

} // namespace vrk
