// The strip record, the trailing check word and the coder's errors: what a
// run writes around the streams, and how damaged or cut records are met.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <limits>
#include <random>
#include <vector>

#include "core/byte_io.hpp"
#include "entropy/coder_harness.hpp"
#include "entropy/entropy_coder.hpp"
#include "support/expect_error.hpp"

namespace vrk::test {
namespace {

// A sink that takes `limit` bytes, then fails; its close can fail too.
class FailingSink final : public ByteSink {
public:
    FailingSink(std::size_t limit, bool close_ok) : limit_(limit), close_ok_(close_ok) {}
    std::size_t write(const std::uint8_t*, std::size_t n) override {
        const std::size_t taken = std::min(n, limit_ - std::min(limit_, written_));
        written_ += taken;
        return taken;
    }
    bool close() override { return close_ok_; }

private:
    std::size_t limit_;
    bool close_ok_;
    std::size_t written_ = 0;
};

class ClosingSource final : public ByteSource {
public:
    explicit ClosingSource(std::vector<std::uint8_t> bytes) : bytes_(std::move(bytes)), inner_(bytes_) {}
    std::size_t read(std::uint8_t* d, std::size_t n) override { return inner_.read(d, n); }
    void rewind() override { inner_.rewind(); }
    bool close() override {
        closed = true;
        return false; // reading the check word ignores the result
    }
    bool closed = false;

private:
    std::vector<std::uint8_t> bytes_;
    MemorySource inner_;
};

constexpr EntropyCoder::StripLimits limits_8x8{8, 64};

// A small run of three strips with mixed values.
std::vector<CodedStrip> small_run(std::uint32_t seed) {
    std::mt19937 random(seed);
    std::vector<CodedStrip> strips;
    for (int s = 0; s < 3; ++s) {
        CodedStrip strip{s == 1 ? plane_calls(8, 16) : wavelet_calls(16, 16), StripArray(s == 1 ? 8 : 16, 16)};
        for (auto& v : strip.values.values) v = static_cast<std::int32_t>(random() % 41) - 20;
        strips.push_back(std::move(strip));
    }
    return strips;
}

TEST(StripRecord, ZeroStripHasOneRawByte) {
    std::vector<CodedStrip> strip{{plane_calls(8, 8), StripArray(8, 8)}};
    std::vector<std::uint8_t> record = encode_run(strip, false, 8, 0).bytes;
    record.resize(record.size() - 4); // the check word
    ASSERT_GE(record.size(), 3u);
    EXPECT_EQ(record[0], 0x01); // A = 1: the flush byte alone
    EXPECT_EQ(record[2], 0x00); // ... which is 0
    EXPECT_EQ(record.size(), 3u + record[1]);
    EXPECT_GT(record[1], 0);
}

TEST(StripRecord, FastModeRecordsHaveNoArithmeticStream) {
    std::vector<CodedStrip> strips = small_run(3);
    const std::vector<std::uint8_t> bytes = encode_run(strips, true, 8, 0).bytes;
    std::size_t at = 0;
    for (std::size_t s = 0; s < strips.size(); ++s) {
        ASSERT_LT(at + 2, bytes.size());
        std::uint32_t a = bytes[at];
        std::size_t header = 1;
        if (a >= 64) {
            ASSERT_LT(a, 128u); // these strips are shorter than 16384 bytes
            a = (a - 64) << 8 | bytes[at + 1];
            header = 2;
        }
        EXPECT_EQ(bytes[at + header], 0x00) << "strip " << s; // B = 0
        at += header + 1 + a;
    }
    EXPECT_EQ(at + 4, bytes.size());
}

TEST(CheckWord, WrittenLittleEndianAndCounted) {
    std::vector<CodedStrip> strips = small_run(4);
    for (const bool fast : {false, true}) {
        const EncodedRun encoded = encode_run(strips, fast, 8, 0x11223344);
        ASSERT_GE(encoded.bytes.size(), 4u);
        EXPECT_EQ(encoded.written, encoded.bytes.size());
        EXPECT_EQ(std::vector<std::uint8_t>(encoded.bytes.end() - 4, encoded.bytes.end()),
                  (std::vector<std::uint8_t>{0x44, 0x33, 0x22, 0x11}));
        const DecodedRun decoded = decode_run(encoded.bytes, strips, fast, 8);
        EXPECT_EQ(decoded.check_word, 0x11223344u);
        EXPECT_TRUE(decoded.read_everything);
        for (std::size_t s = 0; s < strips.size(); ++s)
            EXPECT_EQ(decoded.strips[s].values.values, strips[s].values.values);
    }
    MemorySink sink;
    EXPECT_EQ(CompressedWriter(sink).finish(1), 4u);
}

TEST(CheckWord, ReadingComparesAndClosesTheSourceWithoutCheckingIt) {
    ClosingSource matching({1, 2, 3, 4, 5});
    EXPECT_NO_THROW(CompressedReader(matching).finish(0x04030201u));
    EXPECT_TRUE(matching.closed);
    ClosingSource other({1, 2, 3, 4});
    EXPECT_ERROR(ErrorCode::incorrect_crc, [&] { CompressedReader(other).finish(0x04030200u); });
}

TEST(CoderErrors, WriteAndCloseFailures) {
    {
        FailingSink sink(100, false);
        EXPECT_ERROR(ErrorCode::cannot_write, [&] { CompressedWriter(sink).finish(7); });
    }
    {
        FailingSink sink(2, true);
        EXPECT_ERROR(ErrorCode::cannot_write, [&] { CompressedWriter(sink).finish(7); });
    }
    // A strip record cut by a failing write, at every length.
    for (std::size_t limit = 0; limit < 12; ++limit) {
        FailingSink sink(limit, true);
        CompressedWriter writer(sink);
        EntropyCoder coder(EntropyCoder::Direction::encode, true, 8, limits_8x8);
        StripArray strip(8, 8);
        std::fill(strip.values.begin(), strip.values.end(), 5);
        coder.begin_strip();
        strip.code(coder, plane_calls(8, 8));
        EXPECT_ERROR(ErrorCode::cannot_write, [&] { writer.write_strip(coder.finish_strip()); }) << limit;
    }
}

TEST(CoderErrors, RefusesValuesBeyondTheAlphabet) {
    for (const bool fast : {false, true}) {
        // 32768 is the largest magnitude of 8-bit samples' alphabet.
        for (const std::int32_t bad : {32769, -32769, std::numeric_limits<std::int32_t>::min()}) {
            EntropyCoder coder(EntropyCoder::Direction::encode, fast, 8, {8, 32});
            StripArray strip(4, 8);
            strip.at(0, 0) = -32768;
            strip.at(3, 7) = bad;
            coder.begin_strip();
            EXPECT_ERROR(ErrorCode::invalid_parameters, [&] { strip.code(coder, plane_calls(4, 8)); }) << bad;
        }
    }
    // The splitter refuses them in its pass, before the coder sees the sets.
    ValueSplitter splitter(8, 32);
    StripArray strip(4, 8);
    strip.add_bytes();
    strip.at(2, 5) = 32769;
    splitter.begin_strip();
    EXPECT_ERROR(ErrorCode::invalid_parameters, [&] { strip.code(splitter, plane_calls(4, 8)); });
}

TEST(DamagedRecords, LengthsBeyondTheBufferAreInvalid) {
    const std::size_t capacity = EntropyCoder::code_buffer_capacity(limits_8x8.max_values, 8);
    for (const bool fast : {false, true}) {
        // A = capacity - 2 (two-byte code), B = 3.
        const auto a = static_cast<std::uint32_t>(capacity - 2);
        std::vector<std::uint8_t> bytes = {static_cast<std::uint8_t>(0x40 | (a >> 8)), static_cast<std::uint8_t>(a),
                                           0x03};
        bytes.resize(bytes.size() + capacity + 8, 0);
        MemorySource source(bytes);
        EntropyCoder decoder(EntropyCoder::Direction::decode, fast, 8, limits_8x8);
        EXPECT_ERROR(ErrorCode::invalid_compressed_file,
                     [&] { CompressedReader(source).read_strip(decoder.code_buffer()); });
    }
}

TEST(DamagedRecords, EveryCutIsAReadError) {
    for (const bool fast : {false, true}) {
        std::vector<CodedStrip> strips = small_run(5);
        const std::vector<std::uint8_t> bytes = encode_run(strips, fast, 8, 0).bytes;
        for (std::size_t cut = 0; cut < bytes.size(); ++cut)
            EXPECT_ERROR(ErrorCode::cannot_read, [&] { decode_run(std::span(bytes).first(cut), strips, fast, 8); })
                << cut;
    }
}

// Records of random bytes whose lengths fit the code buffer: the decoders
// meet arbitrary streams. Nothing reads or writes out of bounds (the
// sanitizer build checks) and nothing fails: the coder reads exactly the
// records' lengths, so the check word after them comes out whole.
TEST(DamagedRecords, GarbageInWellFramedRecordsKeepsTheFraming) {
    std::mt19937 random(99);
    for (int trial = 0; trial < 200; ++trial) {
        const bool fast = trial % 2 == 1;
        const int bits = trial % 4 < 2 ? 8 : 16;
        const std::vector<CodedStrip> strips = small_run(static_cast<std::uint32_t>(trial));
        const std::size_t capacity = EntropyCoder::code_buffer_capacity(limits_for(strips).max_values, bits);
        std::vector<std::uint8_t> bytes;
        for (std::size_t s = 0; s < strips.size(); ++s) {
            const std::size_t a = random() % std::min<std::size_t>(capacity, 16000);
            const std::size_t b = fast ? 0 : random() % std::min<std::size_t>(capacity - a + 1, 60);
            bytes.push_back(static_cast<std::uint8_t>(0x40 | (a >> 8)));
            bytes.push_back(static_cast<std::uint8_t>(a));
            bytes.push_back(static_cast<std::uint8_t>(b));
            for (std::size_t i = 0; i < a + b; ++i) bytes.push_back(static_cast<std::uint8_t>(random()));
        }
        bytes.insert(bytes.end(), {0xEF, 0xBE, 0xAD, 0xDE});
        DecodedRun decoded;
        ASSERT_NO_THROW(decoded = decode_run(bytes, strips, fast, bits)) << "trial " << trial;
        EXPECT_EQ(decoded.check_word, 0xDEADBEEFu) << "trial " << trial;
        EXPECT_TRUE(decoded.read_everything) << "trial " << trial;
    }
}

} // namespace
} // namespace vrk::test
