// The strip record, the trailing check word and the coder's errors: what a
// run writes around the streams, and how damaged or cut records are met.
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <random>
#include <vector>

#include "coder_harness.hpp"
#include "entropy/entropy_coder.hpp"
#include "frontend/byte_io.hpp"
#include <vrk/vrk.hpp>

namespace vrk {
namespace {

using namespace testing_support;

template <class F>
ErrorCode error_of(F&& f) {
    try {
        f();
    } catch (const Error& e) {
        return e.code();
    }
    ADD_FAILURE() << "no error";
    return ErrorCode::unsupported_image;
}

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

struct Strip {
    std::vector<Call> calls;
    StripArray values;
};

// A small run of three strips with mixed values, and its compressed bytes.
std::vector<Strip> small_run(int seed) {
    std::mt19937 random(static_cast<std::uint32_t>(seed));
    std::vector<Strip> strips;
    for (int s = 0; s < 3; ++s) {
        Strip strip{s == 1 ? plane_calls(8, 16) : wavelet_calls(16, 16), StripArray(s == 1 ? 8 : 16, 16)};
        for (auto& v : strip.values.values) v = static_cast<std::int32_t>(random() % 41) - 20;
        strips.push_back(std::move(strip));
    }
    return strips;
}

std::vector<std::uint8_t> encode(std::vector<Strip>& strips, bool fast, int bits_per_sample = 8) {
    MemorySink sink;
    EntropyCoder coder(sink, fast, bits_per_sample);
    for (Strip& strip : strips) {
        std::vector<std::uint8_t> buffer(
            EntropyCoder::code_buffer_capacity(strip.values.values.size(), bits_per_sample));
        coder.begin_strip(buffer.data(), buffer.size());
        strip.values.code(coder, strip.calls);
        coder.finish_strip();
    }
    coder.write_check_word(0x11223344);
    return sink.take();
}

// Decodes a run shaped like `strips` from `bytes`; returns the strips decoded.
std::vector<Strip> decode(const std::vector<std::uint8_t>& bytes, const std::vector<Strip>& shape, bool fast,
                          std::uint32_t* check_word = nullptr, int bits_per_sample = 8) {
    MemorySource source(bytes);
    EntropyCoder decoder(source, fast, bits_per_sample);
    std::vector<Strip> decoded;
    for (const Strip& s : shape) {
        Strip strip{s.calls, StripArray(s.values.height, s.values.width)};
        std::vector<std::uint8_t> buffer(
            EntropyCoder::code_buffer_capacity(strip.values.values.size(), bits_per_sample));
        decoder.begin_strip(buffer.data(), buffer.size());
        strip.values.code(decoder, strip.calls);
        decoder.finish_strip();
        decoded.push_back(std::move(strip));
    }
    const std::uint32_t word = decoder.read_check_word();
    if (check_word != nullptr) *check_word = word;
    return decoded;
}

TEST(StripRecord, ZeroStripHasOneRawByte) {
    MemorySink sink;
    EntropyCoder coder(sink, false, 8);
    StripArray strip(8, 8);
    std::vector<std::uint8_t> buffer(EntropyCoder::code_buffer_capacity(64, 8));
    coder.begin_strip(buffer.data(), buffer.size());
    strip.code(coder, plane_calls(8, 8));
    coder.finish_strip();
    const std::vector<std::uint8_t>& record = sink.bytes();
    ASSERT_GE(record.size(), 3u);
    EXPECT_EQ(record[0], 0x01); // A = 1: the flush byte alone
    EXPECT_EQ(record[2], 0x00); // ... which is 0
    EXPECT_EQ(record.size(), 3u + record[1]);
    EXPECT_GT(record[1], 0);
}

TEST(StripRecord, FastModeRecordsHaveNoArithmeticStream) {
    std::vector<Strip> strips = small_run(3);
    const std::vector<std::uint8_t> bytes = encode(strips, true);
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
    std::vector<Strip> strips = small_run(4);
    for (const bool fast : {false, true}) {
        const std::vector<std::uint8_t> bytes = encode(strips, fast);
        ASSERT_GE(bytes.size(), 4u);
        EXPECT_EQ(std::vector<std::uint8_t>(bytes.end() - 4, bytes.end()),
                  (std::vector<std::uint8_t>{0x44, 0x33, 0x22, 0x11}));
        std::uint32_t word = 0;
        const std::vector<Strip> decoded = decode(bytes, strips, fast, &word);
        EXPECT_EQ(word, 0x11223344u);
        for (std::size_t s = 0; s < strips.size(); ++s)
            EXPECT_EQ(decoded[s].values.values, strips[s].values.values);
    }
    MemorySink sink;
    EntropyCoder coder(sink, false, 8);
    EXPECT_EQ(coder.write_check_word(1), 4);
}

TEST(CheckWord, ReadingClosesTheSourceWithoutCheckingIt) {
    ClosingSource source({1, 2, 3, 4, 5});
    EntropyCoder decoder(source, false, 8);
    EXPECT_EQ(decoder.read_check_word(), 0x04030201u);
    EXPECT_TRUE(source.closed);
}

TEST(CoderErrors, WriteAndCloseFailures) {
    {
        FailingSink sink(100, false);
        EntropyCoder coder(sink, false, 8);
        EXPECT_EQ(error_of([&] { coder.write_check_word(7); }), ErrorCode::cannot_write);
    }
    {
        FailingSink sink(2, true);
        EntropyCoder coder(sink, false, 8);
        EXPECT_EQ(error_of([&] { coder.write_check_word(7); }), ErrorCode::cannot_write);
    }
    // A strip record cut by a failing write, at every length.
    for (std::size_t limit = 0; limit < 12; ++limit) {
        FailingSink sink(limit, true);
        EntropyCoder coder(sink, true, 8);
        StripArray strip(8, 8);
        for (auto& v : strip.values) v = 5;
        std::vector<std::uint8_t> buffer(EntropyCoder::code_buffer_capacity(64, 8));
        coder.begin_strip(buffer.data(), buffer.size());
        strip.code(coder, plane_calls(8, 8));
        EXPECT_EQ(error_of([&] { coder.finish_strip(); }), ErrorCode::cannot_write) << limit;
    }
}

TEST(CoderErrors, RefusesWhatCannotBeCoded) {
    EXPECT_EQ(error_of([] {
                  MemorySink sink;
                  EntropyCoder coder(sink, false, 17);
              }),
              ErrorCode::invalid_parameters);
    for (const bool fast : {false, true}) {
        // 32768 is the largest magnitude of 8-bit samples' alphabet.
        for (const std::int32_t bad : {32769, -32769, std::numeric_limits<std::int32_t>::min()}) {
            MemorySink sink;
            EntropyCoder coder(sink, fast, 8);
            StripArray strip(4, 8);
            strip.at(0, 0) = -32768;
            strip.at(3, 7) = bad;
            std::vector<std::uint8_t> buffer(EntropyCoder::code_buffer_capacity(32, 8));
            coder.begin_strip(buffer.data(), buffer.size());
            EXPECT_EQ(error_of([&] { strip.code(coder, plane_calls(4, 8)); }), ErrorCode::invalid_parameters);
        }
        // A band of fewer than three columns, or an orientation that names no band.
        MemorySink sink;
        EntropyCoder coder(sink, fast, 8);
        StripArray strip(4, 8);
        std::vector<std::uint8_t> buffer(EntropyCoder::code_buffer_capacity(32, 8));
        coder.begin_strip(buffer.data(), buffer.size());
        EXPECT_EQ(error_of([&] { strip.code(coder, {{0, 4, 2}}); }), ErrorCode::invalid_parameters);
        EXPECT_EQ(error_of([&] { strip.code(coder, {{1, 2, 2}}); }), ErrorCode::invalid_parameters);
        EXPECT_EQ(error_of([&] { strip.code(coder, {{4, 2, 4}}); }), ErrorCode::invalid_parameters);
    }
}

TEST(CoderErrors, RefusesABufferTooSmallForTheStrip) {
    for (const bool fast : {false, true}) {
        MemorySink sink;
        EntropyCoder coder(sink, fast, 8);
        StripArray strip(32, 32);
        // Half the capacity: the coder must refuse before writing outside it.
        std::vector<std::uint8_t> buffer(EntropyCoder::code_buffer_capacity(32 * 32, 8) / 2);
        coder.begin_strip(buffer.data(), buffer.size());
        EXPECT_EQ(error_of([&] { strip.code(coder, plane_calls(32, 32)); }), ErrorCode::out_of_memory);
        // Too small even for the flush and the finish of an empty strip.
        std::vector<std::uint8_t> tiny(4);
        coder.begin_strip(tiny.data(), tiny.size());
        EXPECT_EQ(error_of([&] { coder.finish_strip(); }), ErrorCode::out_of_memory);
    }
}

TEST(DamagedRecords, LengthsBeyondTheBufferAreInvalid) {
    const std::size_t capacity = EntropyCoder::code_buffer_capacity(64, 8);
    for (const bool fast : {false, true}) {
        // A = capacity - 2 (two-byte code), B = 3.
        const auto a = static_cast<std::uint32_t>(capacity - 2);
        std::vector<std::uint8_t> bytes = {static_cast<std::uint8_t>(0x40 | (a >> 8)), static_cast<std::uint8_t>(a),
                                           0x03};
        bytes.resize(bytes.size() + capacity + 8, 0);
        MemorySource source(bytes);
        EntropyCoder decoder(source, fast, 8);
        std::vector<std::uint8_t> buffer(capacity);
        EXPECT_EQ(error_of([&] { decoder.begin_strip(buffer.data(), buffer.size()); }),
                  ErrorCode::invalid_compressed_file);
    }
}

TEST(DamagedRecords, EveryCutIsAReadError) {
    for (const bool fast : {false, true}) {
        std::vector<Strip> strips = small_run(5);
        const std::vector<std::uint8_t> bytes = encode(strips, fast);
        for (std::size_t cut = 0; cut < bytes.size(); ++cut) {
            const std::vector<std::uint8_t> head(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(cut));
            EXPECT_EQ(error_of([&] { decode(head, strips, fast); }), ErrorCode::cannot_read) << cut;
        }
    }
}

TEST(DamagedRecords, GarbageDecodesSafely) {
    // Damage never reads or writes out of bounds (checked by the sanitizer
    // build) and never hangs: it ends in wrong values or a clean error.
    std::mt19937 random(99);
    for (int trial = 0; trial < 200; ++trial) {
        const bool fast = trial % 2 == 1;
        const int bits = trial % 4 < 2 ? 8 : 16;
        std::vector<Strip> strips = small_run(trial);
        std::vector<std::uint8_t> bytes = encode(strips, fast, bits);
        if (trial % 3 == 0) {
            // Flip a few bits anywhere.
            for (int f = 0; f < 4; ++f) bytes[random() % bytes.size()] ^= static_cast<std::uint8_t>(1u << (random() % 8));
        } else {
            // Records of random bytes with plausible lengths (A + B up to the capacity).
            bytes.clear();
            for (const Strip& strip : strips) {
                const std::size_t capacity = EntropyCoder::code_buffer_capacity(strip.values.values.size(), bits);
                const std::size_t a = random() % std::min<std::size_t>(capacity, 16000);
                const std::size_t b = fast ? 0 : random() % std::min<std::size_t>(capacity - a + 1, 60);
                bytes.push_back(static_cast<std::uint8_t>(0x40 | (a >> 8)));
                bytes.push_back(static_cast<std::uint8_t>(a));
                bytes.push_back(static_cast<std::uint8_t>(b));
                for (std::size_t i = 0; i < a + b; ++i) bytes.push_back(static_cast<std::uint8_t>(random()));
            }
            for (int i = 0; i < 4; ++i) bytes.push_back(0);
        }
        try {
            decode(bytes, strips, fast, nullptr, bits);
        } catch (const Error&) {
        }
    }
}

} // namespace
} // namespace vrk
