// What the pixel and stream calls allocate, measured by replacing the global
// operator new and delete of this test program: streams run in constant
// memory, max_pixels refuses before the codec's buffers exist, and decode
// grows its output only as rows arrive.
#include <vrk/vrk.hpp>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <new>

#include "pixel_support.hpp"

namespace {

// Live bytes and their peak; every block carries its size in front of it.
std::atomic<std::size_t> live_bytes{0};
std::atomic<std::size_t> peak_bytes{0};
constexpr std::size_t block_header = 16; // keeps the malloc alignment

void* counted_new(std::size_t size) {
    void* block = std::malloc(size + block_header);
    if (block == nullptr) throw std::bad_alloc();
    *static_cast<std::size_t*>(block) = size;
    const std::size_t now = live_bytes += size;
    for (std::size_t peak = peak_bytes; now > peak && !peak_bytes.compare_exchange_weak(peak, now);) {
    }
    return static_cast<char*>(block) + block_header;
}

void counted_delete(void* p) noexcept {
    if (p == nullptr) return;
    void* block = static_cast<char*>(p) - block_header;
    live_bytes -= *static_cast<std::size_t*>(block);
    std::free(block);
}

// The most bytes live at once while `body` runs, beyond those live before it.
template <class Body>
std::size_t peak_during(Body&& body) {
    const std::size_t before = live_bytes;
    peak_bytes = before;
    body();
    return peak_bytes - before;
}

} // namespace

void* operator new(std::size_t size) { return counted_new(size); }
void* operator new[](std::size_t size) { return counted_new(size); }
void operator delete(void* p) noexcept { counted_delete(p); }
void operator delete[](void* p) noexcept { counted_delete(p); }
void operator delete(void* p, std::size_t) noexcept { counted_delete(p); }
void operator delete[](void* p, std::size_t) noexcept { counted_delete(p); }

namespace vrk::test {
namespace {

constexpr std::size_t MiB = 1 << 20;

// Row y of a synthetic 64 x 65535 image, made on demand.
void make_row(int y, int channels, int bits, std::vector<std::uint8_t>& s8, std::vector<std::uint16_t>& s16) {
    const int row = 64 * channels;
    for (int i = 0; i < row; ++i) {
        const unsigned value = static_cast<unsigned>((i * 37 + y * 11) ^ (y >> 3)) % (1u << bits);
        if (bits > 8)
            s16[static_cast<std::size_t>(i)] = static_cast<std::uint16_t>(value);
        else
            s8[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(value);
    }
}

TEST(Memory, StreamsOfA64By65535ImageRunInConstantMemory) {
    struct Case {
        const char* name;
        int channels, bits;
        Options options;
    } cases[] = {{"grey16", 1, 16, {}}, {"colour", 3, 8, {true, true, 0, 0}}};
    for (const Case& c : cases) {
        const std::size_t image_bytes = 64u * 65535u * c.channels * (c.bits > 8 ? 2 : 1); // 8 or 12 MiB
        std::vector<std::uint8_t> s8(64 * 3);
        std::vector<std::uint16_t> s16(64);
        std::FILE* file = std::tmpfile();
        ASSERT_NE(file, nullptr);
        const RowSource rows{64, 65535, c.channels, c.bits, [&](int y) {
                                 make_row(y, c.channels, c.bits, s8, s16);
                                 return c.bits > 8 ? Row{{}, s16} : Row{std::span(s8).first(64u * c.channels), {}};
                             }};
        std::uint64_t written = 0;
        const std::size_t encode_peak = peak_during([&] {
            written = encode_stream(
                rows, [&](std::span<const std::uint8_t> b) { std::fwrite(b.data(), 1, b.size(), file); }, c.options);
        });
        EXPECT_LT(encode_peak, 2 * MiB) << c.name << ": the image is " << image_bytes << " bytes";
        ASSERT_GT(written, 0u);

        std::rewind(file);
        std::vector<std::uint8_t> e8(64 * 3);
        std::vector<std::uint16_t> e16(64);
        int rows_seen = 0, rows_wrong = 0;
        const std::size_t decode_peak = peak_during([&] {
            decode_stream([&](std::span<std::uint8_t> out) { return std::fread(out.data(), 1, out.size(), file); },
                          [&](int y, const Row& row) {
                              make_row(y, c.channels, c.bits, e8, e16);
                              const bool same =
                                  c.bits > 8 ? std::equal(row.samples16.begin(), row.samples16.end(), e16.begin())
                                             : std::equal(row.samples8.begin(), row.samples8.end(), e8.begin());
                              rows_wrong += same ? 0 : 1;
                              ++rows_seen;
                          });
        });
        std::fclose(file);
        EXPECT_LT(decode_peak, 2 * MiB) << c.name;
        EXPECT_EQ(rows_seen, 65535) << c.name;
        EXPECT_EQ(rows_wrong, 0) << c.name;
    }
}

TEST(Memory, MaxPixelsRefusesBeforeTheCodecAllocates) {
    const TestImage image = make_image(8192, 32, 2, 16, Pattern::photo);
    const Samples samples = samples_of(image);
    const std::vector<std::uint8_t> file = encode(view_of(image, samples));
    const DecodeOptions limit{8192 * 32 - 1, 0};
    std::vector<std::uint16_t> buffer(samples.s16.size());
    // Without the limit, decoding needs megabytes; with it, the headers are all that is read.
    EXPECT_GT(peak_during([&] { decode_into(file, std::span(buffer)); }), MiB);
    const std::size_t refused = peak_during([&] {
        EXPECT_EQ(code_of([&] { decode(file, limit); }), ErrorCode::limit_exceeded);
        EXPECT_EQ(code_of([&] { decode_into(file, std::span(buffer), 0, limit); }), ErrorCode::limit_exceeded);
        std::size_t position = 0;
        EXPECT_EQ(code_of([&] {
                      decode_stream(
                          [&](std::span<std::uint8_t> out) {
                              const std::size_t n = std::min(out.size(), file.size() - position);
                              std::copy_n(file.begin() + static_cast<std::ptrdiff_t>(position), n, out.begin());
                              position += n;
                              return n;
                          },
                          [](int, const Row&) {}, limit);
                  }),
                  ErrorCode::limit_exceeded);
    });
    EXPECT_LT(refused, 4096u);
}

TEST(Memory, DecodeGrowsItsOutputAsRowsArrive) {
    // A tall image whose samples would take 8 MiB, cut after its headers and after a few strips.
    std::vector<std::uint16_t> row(64);
    const RowSource rows{64, 65535, 1, 16, [&](int y) {
                             std::vector<std::uint8_t> unused;
                             make_row(y, 1, 16, unused, row);
                             return Row{{}, row};
                         }};
    std::vector<std::uint8_t> file;
    encode_stream(rows, [&](std::span<const std::uint8_t> b) { file.insert(file.end(), b.begin(), b.end()); });
    const std::size_t header = 12 + std::string("P5\n64 65535\n65535\n").size();
    for (std::size_t length : {header, header + 4000}) {
        const std::span<const std::uint8_t> cut(file.data(), length);
        const std::size_t peak = peak_during([&] { EXPECT_EQ(code_of([&] { decode(cut); }), ErrorCode::cannot_read); });
        EXPECT_LT(peak, MiB) << "cut at " << length;
    }
}

} // namespace
} // namespace vrk::test
