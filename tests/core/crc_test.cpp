#include "core/crc.hpp"

#include <gtest/gtest.h>

#include <array>
#include <cstring>

namespace vrk {
namespace {

std::uint32_t crc_of(std::uint32_t seed, const char* text) {
    return crc_update(seed, reinterpret_cast<const std::uint8_t*>(text), std::strlen(text));
}

TEST(Crc, TableEntriesAreTheReflectedPolynomialsMultiples) {
    EXPECT_EQ(crc_table[0], 0u);
    EXPECT_EQ(crc_table[1], 0xEC1A5A3Eu);
    EXPECT_EQ(crc_table[128], 0xC0A0A0D5u);
    EXPECT_EQ(crc_table[255], 0x5BF63615u);
    // Entry i is the XOR of the basis words of its set bits.
    constexpr std::array<std::uint32_t, 8> basis = {0xEC1A5A3E, 0x5975F5D7, 0xB2EBEBAE, 0xE49696F7,
                                                    0x486C6C45, 0x90D8D88A, 0xA0F0F0BF, 0xC0A0A0D5};
    for (int i = 0; i < 256; ++i) {
        std::uint32_t expected = 0;
        for (int k = 0; k < 8; ++k)
            if (i & (1 << k)) expected ^= basis[k];
        EXPECT_EQ(crc_table[i], expected) << "entry " << i;
    }
}

TEST(Crc, KnownValues) {
    EXPECT_EQ(crc_of(0, "abc"), 0x4AD7D751u);
    EXPECT_EQ(crc_of(CRC_SEED, "abc"), 0xCC227CD5u);
}

TEST(Crc, HeaderCrcOfRawImage) {
    const std::uint8_t header[12] = {0xF4, 0x1B, 0x05, 0x00, 0x00, 0x40, 0x00, 0x40, 0x00, 0x00, 0x00, 0x00};
    EXPECT_EQ(crc_update(CRC_SEED, header, 12), 0xEEA7B7FCu);
}

TEST(Crc, HeaderCrcOfPgmImage) {
    const std::uint32_t after_image_header = crc_of(CRC_SEED, "P5\n512 480\n255\n");
    EXPECT_EQ(after_image_header, 0xE37A6933u);
    const std::uint8_t header[12] = {0xF4, 0x1B, 0x0D, 0x00, 0x01, 0xE0, 0x02, 0x00, 0x00, 0x0F, 0x00, 0x00};
    EXPECT_EQ(crc_update(after_image_header, header, 12), 0x3AC20FC0u);
}

// Long runs go eight bytes at a time through the sliced tables; every length
// and start offset must give the one-byte-at-a-time CRC.
TEST(Crc, SlicedUpdateMatchesBytewise) {
    std::array<std::uint8_t, 96> bytes{};
    std::uint32_t state = 12345;
    for (std::uint8_t& b : bytes) b = static_cast<std::uint8_t>((state = state * 1103515245u + 12345u) >> 23);
    for (std::size_t start = 0; start < 8; ++start)
        for (std::size_t count = 0; start + count <= bytes.size(); ++count) {
            std::uint32_t expected = CRC_SEED;
            for (std::size_t i = start; i < start + count; ++i)
                expected = crc_table[(expected ^ bytes[i]) & 0xFF] ^ (expected >> 8);
            ASSERT_EQ(crc_update(CRC_SEED, bytes.data() + start, count), expected) << start << " " << count;
        }
}

TEST(Crc, UpdatesChainAcrossCalls) { EXPECT_EQ(crc_of(crc_of(CRC_SEED, "ab"), "c"), crc_of(CRC_SEED, "abc")); }

} // namespace
} // namespace vrk
