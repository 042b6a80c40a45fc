// The raw-bit stream on its own: appends of every width up to 56 bits (a
// long codeword with wide extra bits) read back exactly, and the writer's
// whole-word stores stay within the 8 bytes it may use past the stream.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

#include "entropy/raw_bit_stream.hpp"

namespace vrk {
namespace {

TEST(RawBitStream, PatternsOfEveryWidthReadBack) {
    std::mt19937_64 random(3);
    struct Put {
        std::uint64_t pattern;
        int count;
    };
    std::vector<Put> puts;
    std::size_t total_bits = 0;
    for (int i = 0; i < 4000; ++i) {
        const int count = static_cast<int>(random() % 57); // 0 to 56
        const std::uint64_t pattern = count == 0 ? 0 : random() >> (64 - count);
        puts.push_back({pattern, count});
        total_bits += static_cast<std::size_t>(count);
    }
    const std::size_t stream_bytes = total_bits / 8 + 1;
    constexpr std::uint8_t canary = 0xA5;
    std::vector<std::uint8_t> buffer(stream_bytes + 8 + 16, canary);
    RawBitWriter writer(buffer.data());
    for (const Put& p : puts) writer.put(p.pattern, p.count);
    writer.flush();
    ASSERT_EQ(writer.bytes(), stream_bytes);
    // Scratch stores reach at most 8 bytes beyond the stream.
    for (std::size_t i = stream_bytes + 8; i < buffer.size(); ++i) ASSERT_EQ(buffer[i], canary) << i;

    RawBitReader reader(buffer.data(), stream_bytes);
    for (std::size_t i = 0; i < puts.size(); ++i) {
        reader.refill();
        // Wider than take() allows: two halves.
        const int low = puts[i].count < 32 ? puts[i].count : 32;
        std::uint64_t got = reader.take(low);
        got |= std::uint64_t{reader.take(puts[i].count - low)} << low;
        ASSERT_EQ(got, puts[i].pattern) << "put " << i << " of " << puts[i].count << " bits";
    }
}

} // namespace
} // namespace vrk
