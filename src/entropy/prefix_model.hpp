// The adaptive model of the prefix coder: counts by symbol and a
// minimum-redundancy code rebuilt from them on a schedule whose period grows
// with the model's age. Encoder and decoder rebuild at the same symbols from
// the same counts, so their codes always agree.
//
// Codewords hold their first bit (the branch taken at the root) in bit 0, so
// written least significant bit first they appear in path order.
#pragma once

#include <array>
#include <cstdint>

#include "entropy/magnitude_sets.hpp"

namespace vrk {

class PrefixModel {
public:
    // All counts 1 and the first code built from them. Only a decoder needs
    // decode()'s table; an encoder's rebuilds skip it.
    explicit PrefixModel(int size, bool decoding = true) noexcept;

    int size() const noexcept { return size_; }
    std::uint32_t codeword(int symbol) const noexcept { return codeword_[symbol]; }
    int code_length(int symbol) const noexcept { return code_length_[symbol]; }

    struct Decoded {
        int symbol;
        int length; // of its codeword
    };

    // The symbol whose codeword starts `bits` (next bit in bit 0). One table
    // lookup on the first table_bits bits resolves every codeword that short;
    // a longer one continues down the tree from the node those bits reach.
    Decoded decode(std::uint64_t bits) const noexcept {
        const int entry = first_bits_[bits & (table_size - 1)];
        if (entry >= 0) [[likely]]
            return {entry & 0xFF, entry >> 8};
        const int symbol = walk_from(entry, bits >> table_bits);
        return {symbol, code_length_[symbol]};
    }

    // Runs the schedule after a symbol was coded with the current code.
    void record(int symbol) noexcept {
        ++freq_[symbol];
        if (--countdown_ == 0) rebuild();
    }

    static constexpr int table_bits = 8;

private:
    static constexpr int table_size = 1 << table_bits;

    // Follows the tree bit by bit from an internal node. Every path ends at a
    // leaf within size - 1 steps.
    int walk_from(int node, std::uint64_t bits) const noexcept {
        do {
            node = child_[bits & 1][~node];
            bits >>= 1;
        } while (node < 0);
        return node;
    }

    void rebuild() noexcept;
    void build_code() noexcept;
    void fill_first_bits() noexcept;

    int size_;
    bool decoding_;
    int root_;               // the last internal node made, 1 - size
    std::int32_t countdown_; // symbols still to code before the next rebuild
    std::int32_t period_;    // symbols between rebuilds
    // Grows by the symbols coded at each rebuild and by the halved counts,
    // never decreasing: once past 64 * size every rebuild halves the counts.
    // Kept with 32-bit wrap-around, like the signed counter it stands for.
    std::uint32_t running_total_;
    std::array<std::uint32_t, max_alphabet_size> freq_{};
    std::array<std::uint32_t, max_alphabet_size> codeword_{};
    std::array<std::uint8_t, max_alphabet_size> code_length_{};
    // Internal node m (-1 to 1 - size) is stored at ~m; entries below 0 name
    // internal nodes, the others symbols.
    std::array<std::array<std::int8_t, max_alphabet_size>, 2> child_{};
    // By the first table_bits bits of the input: (code length << 8) | symbol
    // for codewords no longer, else the internal node (below 0) those bits
    // reach. Rebuilt with the code.
    std::array<std::int16_t, table_size> first_bits_{};
};

} // namespace vrk
