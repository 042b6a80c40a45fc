// The arithmetic coder on its own: carries and long pending runs forced on
// purpose, and every way the finish of a stream can end.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <vector>

#include "entropy/arithmetic_coder.hpp"
#include "entropy/arithmetic_model.hpp"

namespace vrk {
namespace {

constexpr int alphabet = 22;

// Decodes `symbols.size()` symbols from a buffer whose bytes outside the
// stream (the last `stream_size` positions) are garbage.
std::vector<int> decode(const std::vector<std::uint8_t>& coded, std::size_t stream_size, std::size_t count,
                        std::mt19937& random) {
    std::vector<std::uint8_t> buffer(coded.size());
    for (auto& b : buffer) b = static_cast<std::uint8_t>(random());
    std::copy(coded.end() - static_cast<std::ptrdiff_t>(stream_size), coded.end(),
              buffer.end() - static_cast<std::ptrdiff_t>(stream_size));
    ArithmeticModel model(alphabet);
    ArithmeticDecoder decoder(buffer.data(), buffer.size());
    std::vector<int> symbols;
    for (std::size_t i = 0; i < count; ++i) symbols.push_back(decoder.decode(model));
    return symbols;
}

// The index whose subinterval holds the biased boundary 2^31, so that the
// interval keeps straddling it and the encoder keeps positions pending.
int index_straddling_boundary(const ArithmeticEncoder& encoder, const ArithmeticModel& model) {
    const std::uint32_t r = (encoder.high() - encoder.low()) / model.total();
    for (int x = 0; x < model.size(); ++x)
        if (encoder.low() + r * model.cum(x) <= 0x80000000u) return x;
    return model.size() - 1;
}

std::size_t longest_run_of(const std::vector<std::uint8_t>& bytes, std::size_t from, std::uint8_t value) {
    std::size_t best = 0;
    std::size_t run = 0;
    for (std::size_t i = from; i < bytes.size(); ++i) {
        run = bytes[i] == value ? run + 1 : 0;
        best = std::max(best, run);
    }
    return best;
}

TEST(ArithmeticCoder, LongPendingRunsSettleWithAndWithoutCarry) {
    std::mt19937 random(11);
    for (const bool carry : {true, false}) {
        std::vector<std::uint8_t> buffer(4096, 0);
        ArithmeticModel model(alphabet);
        ArithmeticEncoder encoder(buffer.data(), buffer.size());
        std::vector<int> symbols;
        std::uint32_t most_pending = 0;
        for (int i = 0; i < 300; ++i) {
            const int symbol = model.symbol_at(index_straddling_boundary(encoder, model));
            symbols.push_back(symbol);
            encoder.encode(model, symbol);
            most_pending = std::max(most_pending, encoder.pending());
        }
        // The top (index 0) lies above the boundary and carries into the
        // pending positions; the bottom lies below it.
        for (int i = 0; i < 40; ++i) {
            const int symbol = model.symbol_at(carry ? 0 : model.size() - 1);
            symbols.push_back(symbol);
            encoder.encode(model, symbol);
        }
        encoder.finish();
        EXPECT_GE(most_pending, 100u);
        const std::size_t stream = buffer.size() - encoder.back();
        EXPECT_GE(longest_run_of(buffer, encoder.back(), carry ? 0x00 : 0xFF), 100u) << carry;
        EXPECT_EQ(decode(buffer, stream, symbols.size(), random), symbols) << carry;
    }
}

TEST(ArithmeticCoder, EveryFinishCaseDecodes) {
    // The finish picks the point (high >> 1) + (low >> 1). Its low 16 bits at
    // 0xFFFE or 0xFFFF leave positions pending after the first or second of
    // the three passes (they are written); its low byte at 0xFE or 0xFF
    // otherwise leaves only the third pass's position pending (dropped).
    enum Case { plain, third_pass_pending, early_pending, pending_from_symbols, case_count };
    std::vector<int> seen(case_count, 0);
    std::mt19937 random(5);
    std::uint64_t trials = 0;
    while (*std::min_element(seen.begin(), seen.end()) < 20 && trials < 4000000) {
        ++trials;
        std::vector<std::uint8_t> buffer(64, 0);
        ArithmeticModel model(alphabet);
        ArithmeticEncoder encoder(buffer.data(), buffer.size());
        std::vector<int> symbols(1 + random() % 40);
        for (int& s : symbols) {
            s = static_cast<int>(random() % alphabet);
            encoder.encode(model, s);
        }
        const std::uint32_t point = (encoder.high() >> 1) + (encoder.low() >> 1);
        Case c = plain;
        if ((point & 0xFFFF) >= 0xFFFE)
            c = early_pending;
        else if ((point & 0xFF) >= 0xFE)
            c = third_pass_pending;
        else if (encoder.pending() > 0)
            c = pending_from_symbols;
        const std::size_t before = buffer.size() - encoder.back() + encoder.pending();
        encoder.finish();
        const std::size_t stream = buffer.size() - encoder.back();
        // Three passes, one position each; only a third-pass-only pending one is dropped.
        ASSERT_EQ(stream, before + (c == third_pass_pending ? 2 : 3)) << trials;
        ASSERT_EQ(decode(buffer, stream, symbols.size(), random), symbols) << trials;
        ++seen[c];
    }
    for (int c = 0; c < case_count; ++c) EXPECT_GE(seen[c], 20) << "case " << c;
}

} // namespace
} // namespace vrk
