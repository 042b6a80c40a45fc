#include "entropy/prefix_model.hpp"

namespace vrk {

PrefixModel::PrefixModel(int size, bool decoding) noexcept
    : size_(size), decoding_(decoding), root_(1 - size), countdown_((size + 1) >> 1), period_((size + 1) >> 1),
      running_total_(static_cast<std::uint32_t>(size)) {
    for (int s = 0; s < size; ++s) freq_[s] = 1;
    build_code();
}

void PrefixModel::rebuild() noexcept {
    running_total_ += static_cast<std::uint32_t>(period_);
    if (static_cast<std::int32_t>(running_total_) > 64 * size_) {
        for (int s = 0; s < size_; ++s) {
            freq_[s] = (freq_[s] + 1) >> 1;
            running_total_ += freq_[s];
        }
    }
    if (period_ < 32 * size_) period_ = (period_ * 3) >> 1;
    countdown_ = period_;
    build_code();
}

namespace {

struct HeapEntry {
    int node;
    std::uint64_t weight;
};

// Sifts `item` down from `hole` in the min-heap at positions 1 to size. The
// left child wins a tie between children, and the item stops above children
// of equal weight: the code's tie-breaking is part of the format.
void sift_down(HeapEntry* heap, int size, int hole, HeapEntry item) noexcept {
    int c = 2 * hole;
    while (c <= size) {
        if (c < size && heap[c].weight > heap[c + 1].weight) ++c;
        if (heap[c].weight >= item.weight) break;
        heap[hole] = heap[c];
        hole = c;
        c *= 2;
    }
    heap[hole] = item;
}

} // namespace

void PrefixModel::build_code() noexcept {
    const int n = size_;
    std::array<HeapEntry, max_alphabet_size + 1> heap{};
    for (int i = 1; i <= n; ++i) heap[i] = {i - 1, freq_[i - 1]};
    int size = n;
    for (int k = n / 2; k >= 1; --k) sift_down(heap.data(), size, k, heap[k]);

    // Merge the two lightest entries n - 1 times: the lightest becomes branch
    // 0 of a new internal node, the next lightest branch 1.
    int m = 0;
    for (;;) {
        --m;
        child_[0][~m] = static_cast<std::int8_t>(heap[1].node);
        const std::uint64_t lightest = heap[1].weight;
        --size;
        if (size == 1) {
            child_[1][~m] = static_cast<std::int8_t>(heap[2].node);
            break;
        }
        sift_down(heap.data(), size, 1, heap[size + 1]);
        child_[1][~m] = static_cast<std::int8_t>(heap[1].node);
        sift_down(heap.data(), size, 1, HeapEntry{m, lightest + heap[1].weight});
    }

    // Depth-first walk from the root, branch 0 before branch 1. bits holds the
    // branches taken so far, bit d for depth d; bits below the current depth
    // are the path, bits above it are kept 0.
    std::array<int, max_alphabet_size> node_at{};
    node_at[0] = root_;
    std::uint32_t bits = 0;
    int d = 0;
    for (;;) {
        const int branch = static_cast<int>((bits >> d) & 1);
        const int next = child_[branch][~node_at[d]];
        if (next < 0) {
            node_at[++d] = next;
            continue;
        }
        codeword_[next] = bits;
        code_length_[next] = static_cast<std::uint8_t>(d + 1);
        if (branch == 0) {
            bits |= 1u << d;
            continue;
        }
        // Climb to the nearest depth still on branch 0 and take its branch 1.
        do {
            bits &= ~(1u << d);
            --d;
        } while (d >= 0 && ((bits >> d) & 1) != 0);
        if (d < 0) break;
        bits |= 1u << d;
    }
    if (decoding_) fill_first_bits();
}

void PrefixModel::fill_first_bits() noexcept {
    for (int s = 0; s < size_; ++s) {
        const int length = code_length_[s];
        if (length <= table_bits) {
            // Every entry whose low `length` bits are the codeword.
            const auto entry = static_cast<std::int16_t>(length << 8 | s);
            for (std::uint32_t p = codeword_[s]; p < table_size; p += 1u << length) first_bits_[p] = entry;
            continue;
        }
        // A longer codeword: the node its first table_bits bits reach (the
        // same for all codewords that share those bits).
        std::uint32_t bits = codeword_[s];
        int node = root_;
        for (int i = 0; i < table_bits; ++i, bits >>= 1) node = child_[bits & 1][~node];
        first_bits_[codeword_[s] & (table_size - 1)] = static_cast<std::int16_t>(node);
    }
}

} // namespace vrk
