// Two stages on two threads, on every conformance vector: damaged files and
// failing image files or sinks end with the same error and the same partial
// output as one thread; and the stages of neighbouring strips really overlap.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <set>
#include <utility>

#include "codec/codec.hpp"
#include "codec/compressed_stream.hpp"
#include "codec/strip_driver.hpp"
#include "core/byte_io.hpp"
#include "formats/image_file_codec.hpp"
#include "formats/image_formats.hpp"
#include "graphics/graphics_engine.hpp"
#include "support/conformance_cases.hpp"
#include "support/expect_error.hpp"
#include "support/files.hpp"
#include "support/test_images.hpp"
#include "wavelet/wavelet_engine.hpp"

namespace vrk {
namespace {

using test::Bytes;

// What a run left: the bytes written and the error it ended with, if any.
struct Outcome {
    Bytes output;
    std::optional<ErrorCode> error;
    bool operator==(const Outcome&) const = default;
};

// A sink that takes `limit` bytes and then refuses the rest.
class LimitedSink final : public ByteSink {
public:
    explicit LimitedSink(std::size_t limit) : limit_(limit) {}
    std::size_t write(const std::uint8_t* source, std::size_t n) override {
        const std::size_t taken = std::min(n, limit_ - bytes.size());
        bytes.insert(bytes.end(), source, source + taken);
        return taken;
    }
    Bytes bytes;

private:
    std::size_t limit_;
};

Outcome decode_with(std::span<const std::uint8_t> compressed, int threads) {
    Outcome outcome;
    MemorySink sink;
    outcome.error = test::error_of([&] {
        MemorySource source(compressed);
        CompressedReader reader(source);
        ImageParameters image;
        const std::uint32_t header_crc = reader.read_headers(image);
        decode_image_file(image, header_crc, reader, sink, threads);
    });
    outcome.output = sink.bytes();
    return outcome;
}

Outcome encode_with(const test::ConformanceCase& c, std::span<const std::uint8_t> input, int threads,
                    std::size_t sink_limit = SIZE_MAX) {
    Outcome outcome;
    LimitedSink sink(sink_limit);
    outcome.error = test::error_of([&] {
        MemorySource source(input);
        ImageParameters image;
        image.mode_flags = c.image.mode_flags;
        image.loss_factor = c.image.loss_factor;
        const RawShape raw{c.image.width, c.image.height, c.image.bytes_per_pixel, c.image.loss_factor};
        const std::uint32_t header_crc = read_image_parameters(source, c.format(), raw, image);
        CompressedWriter writer(sink);
        writer.write_headers(image);
        encode_image_file(image, header_crc, source, writer, threads);
    });
    outcome.output = std::move(sink.bytes);
    return outcome;
}

class EveryVector : public testing::TestWithParam<test::ConformanceCase> {};

// Cuts and changed bytes in the strip records: two threads end exactly as one
// does, with the same error and the same partial image written.
TEST_P(EveryVector, DamageEndsTheSameWayOnTwoThreads) {
    const test::ConformanceCase& c = GetParam();
    const std::size_t size = c.compressed.size();
    const std::size_t records = size - c.strip_records().size();
    std::set<std::size_t> cuts = {records + 1, (records + size) / 2, size - 5, size - 1};
    for (const std::size_t cut : cuts) {
        const std::span<const std::uint8_t> part(c.compressed.data(), cut);
        const Outcome one = decode_with(part, 1);
        EXPECT_TRUE(one.error.has_value());
        EXPECT_EQ(decode_with(part, 2), one) << "cut at " << cut;
    }
    for (const std::size_t position : {records + 2, (records + size) / 3, (records + size) / 2, size - 8}) {
        Bytes damaged = c.compressed;
        damaged[position] ^= 0x5A;
        EXPECT_EQ(decode_with(damaged, 2), decode_with(damaged, 1)) << "byte " << position << " changed";
    }
}

// An image file that ends early, one with a byte too many, and a compressed
// file that cannot be written in full: the same error and partial output.
TEST_P(EveryVector, EncodingFailuresEndTheSameWayOnTwoThreads) {
    const test::ConformanceCase& c = GetParam();
    const std::span<const std::uint8_t> input(c.input);
    Bytes longer = c.input;
    longer.push_back(0);
    const std::vector<std::pair<std::span<const std::uint8_t>, std::size_t>> runs = {
        {input.first(input.size() - 1), SIZE_MAX},
        {input.first(input.size() - c.input_pixels().size() / 2), SIZE_MAX},
        {longer, SIZE_MAX},
        {input, c.compressed.size() / 2},
        {input, c.compressed.size() - 3},
    };
    for (const auto& [bytes, limit] : runs) {
        const Outcome one = encode_with(c, bytes, 1, limit);
        EXPECT_TRUE(one.error.has_value());
        EXPECT_EQ(encode_with(c, bytes, 2, limit), one) << bytes.size() << " input bytes, sink limit " << limit;
    }
}

INSTANTIATE_TEST_SUITE_P(Conformance, EveryVector, testing::ValuesIn(test::conformance_cases()),
                         [](const auto& info) { return test::test_name_of(info.param); });

// Holds the run at the start of stage `waiting` for strip k until stage
// `expected` has begun strip k + 1: with one thread that never happens and
// the wait times out, so the run proves the stages overlap.
class OverlapWitness final : public StageObserver {
public:
    OverlapWitness(int waiting, int expected) : waiting_(waiting), expected_(expected) {}

    void begins(int stage, int item) override {
        std::unique_lock lock(mutex_);
        if (stage == expected_) {
            started_ = std::max(started_, item);
            changed_.notify_all();
        }
        if (stage == waiting_ && item + 1 < strips_) {
            if (changed_.wait_for(lock, std::chrono::seconds(5), [&] { return started_ >= item + 1; }))
                ++overlapped_;
            else
                ++missed_;
        }
    }
    void ends(int, int) override {}

    int strips_ = 0;
    int overlapped_ = 0;
    int missed_ = 0;

private:
    int waiting_;
    int expected_;
    int started_ = -1;
    std::mutex mutex_;
    std::condition_variable changed_;
};

template <class Engine>
void expect_overlap(bool graphics) {
    const test::TestImage picture = test::make_image(80, 200, 3, 8, test::Pattern::photo, 5);
    ImageParameters image;
    image.width = picture.width;
    image.height = picture.height;
    image.bytes_per_pixel = 3;
    image.format = ImageFormat::ppm;
    image.mode_flags = graphics ? mode_graphics : 0;

    // Encoding: stage 0 is the pixel stage; it starts strip k + 1 while the
    // entropy stage (stage 1) codes strip k.
    MemorySink compressed;
    {
        OverlapWitness witness(1, 0);
        witness.strips_ = 7;
        EntropyCoder coder(EntropyCoder::Direction::encode, false, 8, strip_limits<Engine>(image));
        StripDriver<Engine> driver(image, 2, {}, &witness);
        MemorySource pixels(picture.pixels);
        ImageFileSource samples(image, pixels);
        CompressedWriter out(compressed);
        out.finish(driver.encode(CRC_SEED, samples, coder, out));
        EXPECT_EQ(witness.overlapped_, 6);
        EXPECT_EQ(witness.missed_, 0);
    }
    // Decoding: stage 0 is the entropy stage; it decodes strip k + 1 while the
    // pixel stage (stage 1) rebuilds strip k.
    {
        OverlapWitness witness(1, 0);
        witness.strips_ = 7;
        MemorySource source(compressed.bytes());
        EntropyCoder coder(EntropyCoder::Direction::decode, false, 8, strip_limits<Engine>(image));
        StripDriver<Engine> driver(image, 2, {}, &witness);
        MemorySink pixels;
        ImageFileSink samples(image, pixels);
        CompressedReader in(source);
        EXPECT_NO_THROW(in.finish(driver.decode(CRC_SEED, in, coder, samples)));
        EXPECT_EQ(pixels.bytes(), picture.pixels);
        EXPECT_EQ(witness.overlapped_, 6);
        EXPECT_EQ(witness.missed_, 0);
    }
}

TEST(StageOverlap, WaveletStripsOverlapBothWays) { expect_overlap<WaveletEngine>(false); }
TEST(StageOverlap, GraphicsStripsOverlapBothWays) { expect_overlap<GraphicsEngine>(true); }

TEST(StageThreads, AutomaticMeansTwoStagesOnTwoCores) {
    EXPECT_EQ(stage_threads(1), 1);
    EXPECT_EQ(stage_threads(2), 2);
    EXPECT_EQ(stage_threads(64), 2);
    EXPECT_EQ(stage_threads(0), std::thread::hardware_concurrency() >= 2 ? 2 : 1);
}

} // namespace
} // namespace vrk
