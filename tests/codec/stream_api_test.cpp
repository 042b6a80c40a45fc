// The stream API: the same bytes and samples as the pixel API, whatever
// pieces the caller's functions deal in, and the caller's functions checked.
#include <vrk/vrk.hpp>

#include <gtest/gtest.h>

#include <algorithm>
#include <stdexcept>

#include "pixel_support.hpp"

namespace vrk::test {
namespace {

// A read function over `bytes` giving at most `chunks[i % n]` bytes on the i-th call.
ReadFunction reader(const std::vector<std::uint8_t>& bytes, std::size_t& position, std::vector<std::size_t> chunks) {
    return [&bytes, &position, chunks, call = std::size_t{0}](std::span<std::uint8_t> out) mutable {
        const std::size_t n = std::min({out.size(), bytes.size() - position, chunks[call++ % chunks.size()]});
        std::copy_n(bytes.begin() + static_cast<std::ptrdiff_t>(position), n, out.begin());
        position += n;
        return n;
    };
}

TEST(DecodeStream, GivesDecodesRowsInOrderWhateverTheReadSizes) {
    for (int bytes_per_pixel : {1, 2, 3}) {
        const TestImage image = make_image(53, 70, bytes_per_pixel, bytes_per_pixel == 2 ? 10 : 8, Pattern::photo, 3);
        const Samples samples = samples_of(image);
        const std::vector<std::uint8_t> file = encode(view_of(image, samples), {true, false, 2, 0});
        const Image decoded = decode(file);
        const std::size_t row = static_cast<std::size_t>(53) * channels_of(image);
        for (const std::vector<std::size_t>& chunks : {std::vector<std::size_t>{1}, {3, 1000, 17}, {SIZE_MAX}}) {
            std::size_t position = 0;
            Samples streamed;
            int next = 0;
            const Info info = decode_stream(reader(file, position, chunks), [&](int y, const Row& r) {
                EXPECT_EQ(y, next++);
                EXPECT_EQ(r.samples8.size() + r.samples16.size(), row);
                EXPECT_TRUE(bytes_per_pixel == 2 ? r.samples8.empty() : r.samples16.empty());
                streamed.s8.insert(streamed.s8.end(), r.samples8.begin(), r.samples8.end());
                streamed.s16.insert(streamed.s16.end(), r.samples16.begin(), r.samples16.end());
            });
            EXPECT_EQ(next, 70);
            EXPECT_TRUE(streamed == samples_of(decoded)) << bytes_per_pixel << " " << chunks[0];
            EXPECT_EQ(info.width, 53);
            EXPECT_TRUE(info.header == decoded.info.header);
            EXPECT_EQ(position, file.size()) << "reads exactly the compressed file";
        }
    }
}

TEST(EncodeStream, AsksForEachRowOnceInOrderAndWritesWhatEncodeMakes) {
    const TestImage image = make_image(40, 90, 2, 16, Pattern::photo, 4);
    const Samples samples = samples_of(image);
    std::vector<int> asked;
    std::vector<std::uint16_t> row_copy; // valid only until the next call, as the contract allows
    const RowSource rows{40, 90, 1, 16, [&](int y) {
                             asked.push_back(y);
                             row_copy.assign(samples.s16.begin() + y * 40, samples.s16.begin() + (y + 1) * 40);
                             return Row{{}, row_copy};
                         }};
    std::vector<std::uint8_t> out;
    const std::uint64_t written =
        encode_stream(rows, [&](std::span<const std::uint8_t> b) { out.insert(out.end(), b.begin(), b.end()); });
    EXPECT_TRUE(out == encode(view_of(image, samples)));
    EXPECT_EQ(written, out.size());
    std::vector<int> in_order(90);
    for (int y = 0; y < 90; ++y) in_order[y] = y;
    EXPECT_EQ(asked, in_order);
}

TEST(StreamFunctions, AreChecked) {
    const TestImage image = make_image(40, 40, 1, 8, Pattern::photo);
    const Samples samples = samples_of(image);
    const std::vector<std::uint8_t> file = encode(view_of(image, samples));
    const auto ignore_rows = [](int, const Row&) {};
    const auto ignore_bytes = [](std::span<const std::uint8_t>) {};
    std::size_t position = 0;
    EXPECT_EQ(code_of([&] { decode_stream({}, ignore_rows); }), ErrorCode::invalid_argument);
    EXPECT_EQ(code_of([&] { decode_stream(reader(file, position, {64}), {}); }), ErrorCode::invalid_argument);
    EXPECT_EQ(position, 0u) << "nothing read before the arguments are checked";
    EXPECT_EQ(code_of([&] { decode_stream([](std::span<std::uint8_t> out) { return out.size() + 1; }, ignore_rows); }),
              ErrorCode::invalid_argument)
        << "a read function claiming more than its span";
    const std::vector<std::uint8_t> cut(file.begin(), file.end() - 1);
    position = 0;
    EXPECT_EQ(code_of([&] { decode_stream(reader(cut, position, {100}), ignore_rows); }), ErrorCode::cannot_read);

    const auto row_of = [&](int y) {
        return Row{std::span(samples.s8).subspan(static_cast<std::size_t>(y) * 40, 40), {}};
    };
    EXPECT_EQ(code_of([&] { encode_stream({40, 40, 1, 8, {}}, ignore_bytes); }), ErrorCode::invalid_argument);
    EXPECT_EQ(code_of([&] { encode_stream({40, 40, 1, 8, row_of}, {}); }), ErrorCode::invalid_argument);
    EXPECT_EQ(code_of([&] {
                  encode_stream({40, 40, 1, 8,
                                 [&](int y) {
                                     return y == 20 ? Row{row_of(y).samples8.first(39), {}} : row_of(y);
                                 }},
                                ignore_bytes);
              }),
              ErrorCode::invalid_argument)
        << "a short row";
    EXPECT_EQ(code_of([&] {
                  encode_stream({40, 40, 1, 8, [](int) { return Row{}; }}, ignore_bytes);
              }),
              ErrorCode::invalid_argument)
        << "an empty row";

    // The caller's own exceptions pass through unchanged.
    position = 0;
    EXPECT_THROW(decode_stream(reader(file, position, {64}),
                               [](int y, const Row&) {
                                   if (y == 3) throw std::runtime_error("stop");
                               }),
                 std::runtime_error);
    EXPECT_THROW(
        encode_stream({40, 40, 1, 8, row_of}, [](std::span<const std::uint8_t>) { throw std::range_error("full"); }),
        std::range_error);
}

} // namespace
} // namespace vrk::test
