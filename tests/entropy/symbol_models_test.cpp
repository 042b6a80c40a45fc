// The two adaptive models: the sorted counts of the arithmetic coder and the
// rebuilt prefix codes of the fast coder, with their decoding shortcuts.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <vector>

#include "entropy/arithmetic_decoding_model.hpp"
#include "entropy/arithmetic_model.hpp"
#include "entropy/prefix_model.hpp"
#include "entropy/total_division.hpp"

namespace vrk {
namespace {

// The count at index i as the coder sees it: the width of its share of the
// cumulative counts.
std::uint32_t count_at(const ArithmeticModel& m, int i) { return m.cum(i - 1) - m.cum(i); }

// Checks the invariants every update must keep.
void expect_consistent(const ArithmeticModel& m) {
    ASSERT_EQ(m.cum(m.size() - 1), 0u);
    for (int i = m.size() - 1; i >= 0; --i) {
        ASSERT_GE(m.cum(i - 1), m.cum(i) + 1) << i; // every count at least 1
        if (i > 0) {
            ASSERT_GE(count_at(m, i - 1), count_at(m, i)) << i;
        }
        ASSERT_EQ(m.index_of(m.symbol_at(i)), i) << i;
    }
    ASSERT_EQ(m.total(), m.cum(-1));
    ASSERT_LE(m.total(), ArithmeticModel::max_total);
}

TEST(ArithmeticModel, FreshModel) {
    const ArithmeticModel m(22);
    EXPECT_EQ(m.total(), 22u);
    EXPECT_EQ(m.cum(0), 21u);
    EXPECT_EQ(m.cum(21), 0u);
    for (int s = 0; s < 22; ++s) EXPECT_EQ(m.index_of(s), s);
    expect_consistent(m);
}

TEST(ArithmeticModel, CodedSymbolMovesToTheFrontOfItsRun) {
    ArithmeticModel m(22);
    m.update(m.index_of(5)); // all counts equal: symbol 5 goes to index 0
    EXPECT_EQ(m.index_of(5), 0);
    EXPECT_EQ(m.symbol_at(5), 0);
    EXPECT_EQ(count_at(m, 0), 2u);
    m.update(m.index_of(5)); // stays in front
    EXPECT_EQ(m.index_of(5), 0);
    EXPECT_EQ(count_at(m, 0), 3u);
    m.update(m.index_of(9)); // ahead of every other count of 1, behind 5
    EXPECT_EQ(m.index_of(9), 1);
    EXPECT_EQ(m.symbol_at(9), 1);
    m.update(m.index_of(17)); // 17 at index 17 joins the run of 1s starting at 2
    EXPECT_EQ(m.index_of(17), 2);
    EXPECT_EQ(m.symbol_at(17), 2);
    EXPECT_EQ(m.total(), 26u);
    expect_consistent(m);
}

TEST(ArithmeticModel, RescalesWhenTheTotalHasReached4095) {
    ArithmeticModel m(22);
    m.update(m.index_of(1));
    m.update(m.index_of(1)); // symbol 1: count 3
    while (m.total() < ArithmeticModel::max_total) m.update(m.index_of(0));
    const std::uint32_t zeros = count_at(m, m.index_of(0));
    EXPECT_EQ(zeros, 4095u - 3u - 20u);
    m.update(m.index_of(0)); // halves first (rounding up), then counts
    EXPECT_EQ(count_at(m, m.index_of(0)), (zeros + 1) / 2 + 1);
    EXPECT_EQ(count_at(m, m.index_of(1)), 2u);
    EXPECT_EQ(count_at(m, m.index_of(2)), 1u);
    EXPECT_EQ(m.total(), (zeros + 1) / 2 + 1 + 2 + 20);
    expect_consistent(m);
}

void expect_same_state(const ArithmeticModel& a, const ArithmeticDecodingModel& b) {
    ASSERT_EQ(a.total(), b.total());
    for (int i = 0; i < a.size(); ++i) {
        ASSERT_EQ(count_at(a, i), b.count(i)) << i;
        ASSERT_EQ(a.symbol_at(i), b.symbol_at(i)) << i;
    }
}

// The encoder's model and the decoder's copy must reach the same state after
// every symbol, through runs, moves and rescales.
TEST(ArithmeticModel, SkewedUpdatesKeepTheInvariantsInBothModels) {
    ArithmeticModel m(30);
    ArithmeticDecodingModel decoding(30);
    std::uint32_t x = 12345;
    for (int i = 0; i < 20000; ++i) {
        x = x * 1103515245u + 12345u;
        const int symbol = std::min(29, static_cast<int>(__builtin_ctz((x >> 8) | 0x80000000u)));
        const int index = m.index_of(symbol);
        ASSERT_EQ(decoding.symbol_at(index), symbol);
        m.update(index);
        decoding.update(index);
        ASSERT_NO_FATAL_FAILURE(expect_same_state(m, decoding)) << "after symbol " << i;
        if (i % 997 == 0) expect_consistent(m);
    }
    expect_consistent(m);
}

// The decoder's search by products finds what the division would give, also
// for points beyond the total (damaged input).
TEST(ArithmeticModel, ScaledSearchMatchesTheDividedOne) {
    ArithmeticModel m(22);
    ArithmeticDecodingModel decoding(22);
    for (int i = 0; i < 500; ++i) {
        const int index = m.index_of(i % 7 == 0 ? 3 : i % 3);
        m.update(index);
        decoding.update(index);
    }
    for (const std::uint32_t scale : {1u, 1024u, 1048575u}) {
        for (std::uint32_t t = 0; t <= m.total() + 2; ++t) {
            int expected = 0;
            while (m.cum(expected) > t) ++expected;
            for (const std::uint32_t point : {t * scale, t * scale + scale - 1}) {
                const auto found = decoding.find_scaled(scale, point);
                ASSERT_EQ(found.index, expected) << scale << " " << point;
                ASSERT_EQ(found.above, m.cum(expected)) << scale << " " << point;
            }
        }
    }
}

TEST(TotalDivision, MatchesDivisionForEveryTotal) {
    for (std::uint32_t d = 2; d <= max_divided_total; ++d) {
        for (const std::uint32_t n :
             {0u, 1u, d - 1, d, d + 1, 0x400000u * 7 + 5, 0x7FFFFFFFu, 0xFFFFFFFFu - d, 0xFFFFFFFFu}) {
            ASSERT_EQ(divide_by_total(n, d), n / d) << n << " / " << d;
            ASSERT_EQ(multiply_high_split(n, detail::total_reciprocals[d]), n / d) << n << " / " << d;
        }
        const std::uint32_t top = 0xFFFFFFFFu / d * d; // the largest multiple, and just below it
        ASSERT_EQ(divide_by_total(top, d), top / d) << d;
        ASSERT_EQ(divide_by_total(top - 1, d), (top - 1) / d) << d;
        ASSERT_EQ(multiply_high_split(top - 1, detail::total_reciprocals[d]), (top - 1) / d) << d;
    }
}

// Every codeword decodes to its own symbol whatever bits follow it, the
// lengths fill the code exactly, and no codeword has bits beyond its length.
void expect_complete_prefix_code(const PrefixModel& m) {
    double kraft = 0;
    for (int s = 0; s < m.size(); ++s) {
        const int length = m.code_length(s);
        ASSERT_GE(length, 1);
        ASSERT_LT(length, m.size());
        ASSERT_EQ(m.codeword(s) >> length, 0u) << s;
        for (const std::uint64_t after : {std::uint64_t{0}, ~std::uint64_t{0}, std::uint64_t{0x5A5A5A5A5A5A5A5A}}) {
            const PrefixModel::Decoded d = m.decode(m.codeword(s) | after << length);
            ASSERT_EQ(d.symbol, s) << s;
            ASSERT_EQ(d.length, length) << s;
        }
        kraft += 1.0 / static_cast<double>(1u << length);
    }
    EXPECT_DOUBLE_EQ(kraft, 1.0);
}

// The whole code, to see when a rebuild has changed it.
std::vector<std::uint64_t> code_of(const PrefixModel& m) {
    std::vector<std::uint64_t> code;
    for (int s = 0; s < m.size(); ++s) code.push_back(std::uint64_t{m.codeword(s)} << 8 | m.code_length(s));
    return code;
}

// Records the symbol with the longest codeword until the code changes and
// returns how many records that took. A period's worth of records heaped on
// that symbol always shortens its codeword at the next rebuild, so this is
// the number of symbols coded up to that rebuild.
int records_until_the_code_changes(PrefixModel& m) {
    int longest = 0;
    for (int s = 1; s < m.size(); ++s)
        if (m.code_length(s) > m.code_length(longest)) longest = s;
    const std::vector<std::uint64_t> before = code_of(m);
    int records = 0;
    do {
        m.record(longest);
        ++records;
    } while (code_of(m) == before && records < 100000);
    return records;
}

TEST(PrefixModel, FirstCodeForTwentyTwoSymbols) {
    const PrefixModel m(22);
    std::vector<int> lengths;
    for (int s = 0; s < 22; ++s) lengths.push_back(m.code_length(s));
    EXPECT_EQ(std::count(lengths.begin(), lengths.end(), 4), 10);
    EXPECT_EQ(std::count(lengths.begin(), lengths.end(), 5), 12);
    expect_complete_prefix_code(m);
    // The heap's tie rules fix which symbols get the short codewords (the
    // fast-mode vectors of the conformance suite depend on this assignment).
    const std::vector<int> expected_lengths = {5, 4, 4, 5, 4, 4, 5, 5, 5, 4, 4, 4, 5, 4, 4, 5, 5, 5, 5, 5, 4, 5};
    EXPECT_EQ(lengths, expected_lengths);
}

// Geometric counts give codewords longer than the decoder's table, which
// must then continue down the tree from the right node. Every code the
// model passes through must decode, not only the last.
TEST(PrefixModel, CodewordsLongerThanTheTableDecode) {
    for (const int size : {22, 30}) {
        PrefixModel m(size);
        int longest = 0;
        for (unsigned i = 1; i <= 12000; ++i) {
            m.record(std::min(size - 1, static_cast<int>(__builtin_ctz(i | 0x10000u))));
            ASSERT_NO_FATAL_FAILURE(expect_complete_prefix_code(m)) << size << " after " << i;
            for (int s = 0; s < size; ++s) longest = std::max(longest, m.code_length(s));
        }
        EXPECT_GT(longest, PrefixModel::table_bits) << size;
    }
}

// Symbols coded between rebuilds of a 22-symbol model, from its start.
constexpr std::array<int, 14> periods_of_22 = {11, 16, 24, 36, 54, 81, 121, 181, 271, 406, 609, 913, 913, 913};

TEST(PrefixModel, PeriodsGrowByHalfUpToTheirCap) {
    struct Case {
        int size;
        std::vector<int> periods;
    };
    const std::vector<Case> cases = {
        {22, std::vector<int>(periods_of_22.begin(), periods_of_22.end())},
        {23, {12, 18, 27, 40, 60, 90, 135, 202, 303, 454, 681, 1021, 1021, 1021}}, // an odd size rounds up
        {30, {15, 22, 33, 49, 73, 109, 163, 244, 366, 549, 823, 1234, 1234, 1234}},
    };
    for (const Case& c : cases) {
        PrefixModel m(c.size);
        std::vector<int> periods;
        while (periods.size() < c.periods.size()) periods.push_back(records_until_the_code_changes(m));
        EXPECT_EQ(periods, c.periods) << c.size;
    }
}

// Which rebuilds halve the counts, seen through the code. Symbol 0 is coded
// throughout; before each rebuild a copy of the model codes symbol 1 thirteen
// times instead. Its count of 14 earns a 2-bit codeword under the dominant
// symbol 0, ahead of the 20 symbols still at count 1; halved to 7 it falls
// to 3 bits among them (were counts of 1 halved to 0, it would keep 2 bits).
// The running total passes 64 * 22 at the 11th rebuild; from then on every
// rebuild halves, though the counts soon sum far below that.
TEST(PrefixModel, HalvingStartsPast64nAndNeverStops) {
    PrefixModel m(22);
    std::vector<int> probed_lengths;
    for (const int period : periods_of_22) {
        PrefixModel probe = m;
        for (int i = 0; i < period; ++i) probe.record(i < 13 ? 1 : 0);
        probed_lengths.push_back(probe.code_length(1));
        for (int i = 0; i < period; ++i) m.record(0);
    }
    const std::vector<int> expected = {2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 3, 3, 3, 3};
    EXPECT_EQ(probed_lengths, expected);
    EXPECT_EQ(m.code_length(0), 1);
    expect_complete_prefix_code(m);
}

} // namespace
} // namespace vrk
