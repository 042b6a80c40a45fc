// The strip driver of both engines: the end of the image file, closing the
// files, and the same bytes and the same errors on one stage thread or two.
#include "codec/strip_driver.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <type_traits>
#include <vector>

#include "graphics/graphics_engine.hpp"
#include "support/expect_error.hpp"
#include "support/strip_harness.hpp"
#include "support/test_images.hpp"
#include "wavelet/wavelet_engine.hpp"

namespace vrk::test {
namespace {

using Bytes = std::vector<std::uint8_t>;

// A memory source or sink whose close reports a failure.
class SourceFailingToClose final : public ByteSource {
public:
    explicit SourceFailingToClose(std::span<const std::uint8_t> bytes) : inner_(bytes) {}
    std::size_t read(std::uint8_t* d, std::size_t n) override { return inner_.read(d, n); }
    void rewind() override { inner_.rewind(); }
    bool close() override { return false; }

private:
    MemorySource inner_;
};

class SinkFailingToClose final : public ByteSink {
public:
    std::size_t write(const std::uint8_t* s, std::size_t n) override { return inner_.write(s, n); }
    bool close() override { return false; }

private:
    MemorySink inner_;
};

// A memory sink that takes `limit` bytes, then refuses.
class SinkFailingAfter final : public ByteSink {
public:
    explicit SinkFailingAfter(std::size_t limit) : limit_(limit) {}
    std::size_t write(const std::uint8_t* s, std::size_t n) override {
        const std::size_t taken = std::min(n, limit_ - std::min(limit_, bytes.size()));
        bytes.insert(bytes.end(), s, s + taken);
        return taken;
    }
    Bytes bytes;

private:
    std::size_t limit_;
};

template <class Engine>
class StripDriverTest : public testing::Test {
protected:
    // A colour image of 100 rows: four strips, the last one short.
    StripDriverTest()
        : image_(make_image(37, 100, 3, 8, Pattern::blocks, 3)),
          header_(header_of(image_, {.graphics = std::is_same_v<Engine, GraphicsEngine>})) {}

    const ImageParameters& parameters() const { return header_.image; }
    Bytes records() const { return encode_strips<Engine>(parameters(), image_.pixels).records; }

    TestImage image_;
    ImageHeader header_;
};

using Engines = testing::Types<WaveletEngine, GraphicsEngine>;
TYPED_TEST_SUITE(StripDriverTest, Engines);

TYPED_TEST(StripDriverTest, TwoStageThreadsWriteTheSameBytes) {
    const EncodedStrips one = encode_strips<TypeParam>(this->parameters(), this->image_.pixels, CRC_SEED, 1);
    const EncodedStrips two = encode_strips<TypeParam>(this->parameters(), this->image_.pixels, CRC_SEED, 2);
    EXPECT_EQ(two.crc, one.crc);
    EXPECT_TRUE(two.records == one.records);
    const DecodedStrips decoded = decode_strips<TypeParam>(this->parameters(), one.records, CRC_SEED, 2);
    EXPECT_EQ(decoded.crc, one.crc);
    EXPECT_TRUE(decoded.pixels == this->image_.pixels);
}

TYPED_TEST(StripDriverTest, ImageFileMustEndWithTheLastStrip) {
    for (const int threads : {1, 2}) {
        Bytes surplus = this->image_.pixels;
        surplus.push_back('\n');
        EXPECT_ERROR(ErrorCode::image_too_large,
                     [&] { encode_strips<TypeParam>(this->parameters(), surplus, CRC_SEED, threads); })
            << threads << " threads";
        const Bytes one_short(this->image_.pixels.begin(), this->image_.pixels.end() - 1);
        EXPECT_ERROR(ErrorCode::cannot_read,
                     [&] { encode_strips<TypeParam>(this->parameters(), one_short, CRC_SEED, threads); })
            << threads << " threads";
    }
}

TYPED_TEST(StripDriverTest, FilesThatFailToCloseAreReported) {
    SourceFailingToClose image_file(this->image_.pixels);
    MemorySink compressed;
    EXPECT_ERROR(ErrorCode::cannot_close_image,
                 [&] { encode_strips_into<TypeParam>(this->parameters(), image_file, compressed); });

    const Bytes records = this->records();
    MemorySource source(records);
    SinkFailingToClose restored;
    EXPECT_ERROR(ErrorCode::cannot_close_image,
                 [&] { decode_strips_into<TypeParam>(this->parameters(), source, restored); });
}

// An error on two threads is the one the sequential run meets first, and
// everything written before it is written alike.
TYPED_TEST(StripDriverTest, ErrorsAndPartialOutputDoNotDependOnThreads) {
    const Bytes records = this->records();
    for (const std::size_t cut : {std::size_t{10}, records.size() / 3, records.size() - 5}) {
        Bytes written[2];
        for (const int threads : {1, 2}) {
            MemorySource source{std::span(records).first(cut)};
            SinkFailingAfter restored(SIZE_MAX);
            EXPECT_ERROR(
                ErrorCode::cannot_read,
                [&] { decode_strips_into<TypeParam>(this->parameters(), source, restored, CRC_SEED, threads); })
                << "cut at " << cut << ", " << threads << " threads";
            written[threads - 1] = restored.bytes;
        }
        EXPECT_TRUE(written[0] == written[1]) << "cut at " << cut;
    }
    for (const std::size_t limit : {std::size_t{0}, this->image_.pixels.size() / 2}) {
        Bytes written[2];
        for (const int threads : {1, 2}) {
            MemorySource source(records);
            SinkFailingAfter restored(limit);
            EXPECT_ERROR(
                ErrorCode::cannot_write,
                [&] { decode_strips_into<TypeParam>(this->parameters(), source, restored, CRC_SEED, threads); })
                << "limit " << limit << ", " << threads << " threads";
            written[threads - 1] = restored.bytes;
        }
        EXPECT_TRUE(written[0] == written[1]) << "limit " << limit;
    }
    for (const std::size_t limit : {std::size_t{0}, records.size() / 2}) {
        Bytes written[2];
        for (const int threads : {1, 2}) {
            MemorySource image_file(this->image_.pixels);
            SinkFailingAfter compressed(limit);
            EXPECT_ERROR(
                ErrorCode::cannot_write,
                [&] { encode_strips_into<TypeParam>(this->parameters(), image_file, compressed, CRC_SEED, threads); })
                << "limit " << limit << ", " << threads << " threads";
            written[threads - 1] = compressed.bytes;
        }
        EXPECT_TRUE(written[0] == written[1]) << "limit " << limit;
    }
}

} // namespace
} // namespace vrk::test
