// The arithmetic coder on its own: carries and long pending runs forced on
// purpose, and every way the finish of a stream can end.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <vector>

#include "entropy/arithmetic_coder.hpp"
#include "entropy/arithmetic_decoding_model.hpp"
#include "entropy/arithmetic_model.hpp"

namespace vrk {
namespace {

constexpr int alphabet = 22;

// Decodes `count` symbols from a buffer whose bytes outside the
// stream (the last `stream_size` positions) are garbage.
std::vector<int> decode(const std::vector<std::uint8_t>& coded, std::size_t stream_size, std::size_t count,
                        std::mt19937& random) {
    std::vector<std::uint8_t> buffer(coded.size());
    for (auto& b : buffer) b = static_cast<std::uint8_t>(random());
    std::copy(coded.end() - static_cast<std::ptrdiff_t>(stream_size), coded.end(),
              buffer.end() - static_cast<std::ptrdiff_t>(stream_size));
    ArithmeticDecodingModel model(alphabet);
    ArithmeticDecoder decoder(buffer.data(), buffer.size());
    std::vector<int> symbols;
    for (std::size_t i = 0; i < count; ++i) symbols.push_back(decoder.decode(model));
    return symbols;
}

// Symbols whose interval keeps straddling a byte boundary: those a decoder
// reads from the stream 0x80 0x00 0x00 ..., the point right on it. Coding
// them, the encoder can settle no byte and must hold ever more positions.
std::vector<int> symbols_around_a_byte_boundary(std::size_t count) {
    const std::uint8_t point[] = {0x00, 0x00, 0x00, 0x80}; // read from the back; 0 beyond
    ArithmeticDecodingModel model(alphabet);
    ArithmeticDecoder decoder(point, sizeof point);
    std::vector<int> symbols;
    for (std::size_t i = 0; i < count; ++i) symbols.push_back(decoder.decode(model));
    return symbols;
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
        std::vector<int> symbols = symbols_around_a_byte_boundary(300);
        for (const int symbol : symbols) encoder.encode(model, symbol);
        EXPECT_EQ(encoder.back(), buffer.size()) << "a byte was settled while the interval straddled a boundary";
        EXPECT_GE(encoder.pending(), 100u);
        // The top (index 0) lies above the boundary and carries into the
        // pending positions; the bottom lies below it.
        for (int i = 0; i < 40; ++i) {
            const int symbol = model.symbol_at(carry ? 0 : model.size() - 1);
            symbols.push_back(symbol);
            encoder.encode(model, symbol);
        }
        encoder.finish();
        const std::size_t stream = buffer.size() - encoder.back();
        EXPECT_GE(longest_run_of(buffer, encoder.back(), carry ? 0x00 : 0xFF), 100u) << carry;
        EXPECT_EQ(decode(buffer, stream, symbols.size(), random), symbols) << carry;
    }
}

// Each way the finish can go, pinned byte for byte. It picks a point in the
// middle of the interval and makes three passes: the pending positions of
// the symbols are written first (the held byte, + 1 after a carry), then the
// point's top three bytes, except that a position only the third pass left
// pending is dropped; positions that the first or second pass left pending
// are written.
TEST(ArithmeticCoder, FinishWritesEveryCaseByteForByte) {
    struct Case {
        const char* what;
        std::vector<int> symbols;
        std::vector<std::uint8_t> stream; // first byte first
    };
    const Case cases[] = {
        {"three plain passes", {0}, {0xFA, 0x2E, 0x8B}},
        {"third pass pending, dropped", {0, 2}, {0xFE, 0x3A}},
        {"second pass pending, written", {5, 2, 2, 9}, {0xC4, 0x3C, 0xB5, 0xFF}},
        {"first pass pending, written", {16}, {0x3F, 0xFF, 0xFF}},
        {"symbols pending, carry", {0, 0, 21}, {0xFF, 0x02, 0x5C, 0x58}},
        {"symbols pending, no carry", {0, 4, 20}, {0xFC, 0xFE, 0xFC, 0xE6}},
        {"symbols pending, carry, third pass dropped", {3, 0, 0, 9}, {0xDB, 0x01, 0x02}},
        {"symbols pending, no carry, third pass dropped", {3, 5, 5, 9}, {0xD9, 0xFD, 0xF9}},
    };
    std::mt19937 random(3);
    for (const Case& c : cases) {
        std::vector<std::uint8_t> buffer(16, 0);
        ArithmeticModel model(alphabet);
        ArithmeticEncoder encoder(buffer.data(), buffer.size());
        for (const int symbol : c.symbols) encoder.encode(model, symbol);
        encoder.finish();
        const auto written = static_cast<std::ptrdiff_t>(buffer.size() - encoder.back());
        const std::vector<std::uint8_t> stream(buffer.rbegin(), buffer.rbegin() + written);
        EXPECT_EQ(stream, c.stream) << c.what;
        EXPECT_EQ(decode(buffer, stream.size(), c.symbols.size(), random), c.symbols) << c.what;
    }
}

// Whatever the symbols, the finish adds its three positions, or two when the
// third pass's is dropped, and the stream decodes whatever lies beyond it.
TEST(ArithmeticCoder, EveryFinishDecodes) {
    std::mt19937 random(5);
    for (int trial = 0; trial < 20000; ++trial) {
        std::vector<std::uint8_t> buffer(64, 0);
        ArithmeticModel model(alphabet);
        ArithmeticEncoder encoder(buffer.data(), buffer.size());
        std::vector<int> symbols(1 + random() % 40);
        for (int& s : symbols) {
            s = static_cast<int>(random() % alphabet);
            encoder.encode(model, s);
        }
        const std::size_t before = buffer.size() - encoder.back() + encoder.pending();
        encoder.finish();
        const std::size_t stream = buffer.size() - encoder.back();
        ASSERT_TRUE(stream == before + 2 || stream == before + 3) << trial;
        ASSERT_EQ(decode(buffer, stream, symbols.size(), random), symbols) << trial;
    }
}

} // namespace
} // namespace vrk
