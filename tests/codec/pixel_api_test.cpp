// The pixel API against the vrk binary: encode makes the command's bytes,
// decode gives the samples of the file the command restores, and damaged
// files give an error, never other samples.
#include <vrk/vrk.hpp>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <random>

#include "pixel_support.hpp"

namespace vrk::test {
namespace {

struct Depth {
    const char* name;
    int bytes_per_pixel;
    int bits_per_sample;
};
constexpr Depth depths[] = {{"grey8", 1, 8}, {"grey9", 2, 9}, {"grey12", 2, 12}, {"grey16", 2, 16}, {"colour", 3, 8}};
constexpr Options modes[] = {{false, false, 0, 0}, {true, false, 0, 0}, {false, true, 0, 0}, {true, true, 0, 0}};

std::string describe(const Depth& depth, const Options& options) {
    return std::string(depth.name) + " '" + switch_of(options) + "' L" + std::to_string(options.loss_factor);
}

// The view over a copy of the samples with `pad` extra samples of noise after each row.
struct PaddedView {
    Samples samples;
    ImageView view;
};
PaddedView padded(const TestImage& image, const Samples& packed, std::size_t pad) {
    const std::size_t row = static_cast<std::size_t>(image.width) * channels_of(image);
    PaddedView result;
    for (int y = 0; y < image.height; ++y) {
        if (packed.s16.empty()) {
            result.samples.s8.insert(result.samples.s8.end(), packed.s8.begin() + y * row,
                                     packed.s8.begin() + (y + 1) * row);
            if (y + 1 < image.height) result.samples.s8.insert(result.samples.s8.end(), pad, 0xEE);
        } else {
            result.samples.s16.insert(result.samples.s16.end(), packed.s16.begin() + y * row,
                                      packed.s16.begin() + (y + 1) * row);
            if (y + 1 < image.height) result.samples.s16.insert(result.samples.s16.end(), pad, 0xFFFF);
        }
    }
    result.view = view_of(image, result.samples);
    result.view.samples8 = result.samples.s8;
    result.view.samples16 = result.samples.s16;
    result.view.row_stride = row + pad;
    return result;
}

TEST(Encode, MatchesTheCommandOnThePnmFileOfTheSamples) {
    const std::pair<int, int> shapes[] = {{32, 32}, {45, 70}, {64, 33}, {33, 97}, {100, 41}};
    const int losses[] = {0, 3, 0, 12, 0, 1, 5};
    ScratchDir dir;
    int n = 0;
    for (const Depth& depth : depths) {
        for (Options options : modes) {
            options.loss_factor = losses[n % 7];
            const auto [width, height] = shapes[n % 5];
            const TestImage image = make_image(width, height, depth.bytes_per_pixel, depth.bits_per_sample,
                                               n % 3 == 0 ? Pattern::text : Pattern::photo, 100 + n);
            ++n;
            const std::vector<std::string> loss_argument =
                options.loss_factor ? std::vector<std::string>{std::to_string(options.loss_factor)}
                                    : std::vector<std::string>{};
            const std::vector<std::uint8_t> expected = command_compress(
                dir, depth.bytes_per_pixel == 3 ? "image.ppm" : "image.pgm", image.pnm_file(), options, loss_argument);
            const Samples samples = samples_of(image);
            EXPECT_TRUE(encode(view_of(image, samples), options) == expected) << describe(depth, options);
            // Rows apart by more than their length, with the last row ending the span.
            const PaddedView strided = padded(image, samples, 5);
            EXPECT_TRUE(encode(strided.view, options) == expected) << describe(depth, options) << " strided";

            std::vector<std::uint8_t> streamed;
            const std::size_t row = static_cast<std::size_t>(width) * channels_of(image);
            RowSource rows{width, height, channels_of(image), depth.bits_per_sample, [&](int y) {
                               const std::size_t start = static_cast<std::size_t>(y) * row;
                               return depth.bytes_per_pixel == 2 ? Row{{}, std::span(samples.s16).subspan(start, row)}
                                                                 : Row{std::span(samples.s8).subspan(start, row), {}};
                           }};
            const std::uint64_t written = encode_stream(
                rows,
                [&](std::span<const std::uint8_t> bytes) {
                    streamed.insert(streamed.end(), bytes.begin(), bytes.end());
                },
                options);
            EXPECT_EQ(written, streamed.size());
            EXPECT_TRUE(streamed == expected) << describe(depth, options) << " streamed";
        }
    }
}

// An image file of every format the command takes, with what decoding its .vrk file must report.
struct FormatCase {
    const char* name;
    const char* file_name;
    ImageFormat format;
    int width, height, channels, bits, bytes_per_sample;
    std::vector<std::string> raw_arguments; // width height bytes/pixel, for .raw
    std::size_t header_size;
    std::vector<std::uint8_t> file;
};

std::vector<std::uint8_t> big_endian_words(std::initializer_list<std::uint32_t> words) {
    std::vector<std::uint8_t> bytes;
    for (std::uint32_t word : words)
        for (int shift = 24; shift >= 0; shift -= 8) bytes.push_back(static_cast<std::uint8_t>(word >> shift));
    return bytes;
}

std::vector<FormatCase> format_cases() {
    std::vector<FormatCase> cases;
    auto add = [&](FormatCase c, const std::vector<std::uint8_t>& header, const TestImage& image) {
        c.header_size = header.size();
        c.file = header;
        c.file.insert(c.file.end(), image.pixels.begin(), image.pixels.end());
        cases.push_back(std::move(c));
    };
    const TestImage grey8 = make_image(45, 40, 1, 8, Pattern::photo, 1);
    const TestImage grey16 = make_image(40, 37, 2, 16, Pattern::photo, 2);
    const TestImage grey12 = make_image(37, 45, 2, 12, Pattern::text, 3);
    const TestImage colour = make_image(33, 50, 3, 8, Pattern::photo, 4);
    add({"raw8", "image.raw", ImageFormat::raw, 45, 40, 1, 8, 1, {"45", "40", "1"}, 0, {}}, {}, grey8);
    add({"raw16", "image.raw", ImageFormat::raw, 40, 37, 1, 16, 2, {"40", "37", "2"}, 0, {}}, {}, grey16);
    add({"raw24", "image.raw", ImageFormat::raw, 33, 50, 3, 8, 1, {"33", "50", "3"}, 0, {}}, {}, colour);
    // An 8-bit Sun raster of odd width: its rows are width bytes, without padding, and it decodes to map indices.
    std::vector<std::uint8_t> ras8 = big_endian_words({0x59A66A95u, 45, 40, 8, 45 * 40, 1, 1, 768});
    for (int i = 0; i < 768; ++i) ras8.push_back(static_cast<std::uint8_t>(i * 7));
    add({"ras8", "image.ras", ImageFormat::sun_raster, 45, 40, 1, 8, 1, {}, 0, {}}, ras8, grey8);
    // A 24-bit one decodes in its stored order, blue first.
    add({"ras24", "image.ras", ImageFormat::sun_raster, 33, 50, 3, 8, 1, {}, 0, {}},
        big_endian_words({0x59A66A95u, 33, 50, 24, 33 * 50 * 3, 1, 0, 0}), colour);
    add({"pgm8", "image.pgm", ImageFormat::pgm, 45, 40, 1, 8, 1, {}, 0, {}}, bytes_of("P5\n# scanned\n45 40\n255\n"),
        grey8);
    add({"pgm12", "image.pgm", ImageFormat::pgm, 37, 45, 1, 12, 2, {}, 0, {}}, bytes_of("P5 37 45 4095\n"), grey12);
    add({"ppm", "image.ppm", ImageFormat::ppm, 33, 50, 3, 8, 1, {}, 0, {}}, bytes_of("P6\n33 50\n255\n"), colour);
    return cases;
}

TEST(Decode, EveryFormatAndModeGivesTheSamplesOfTheFileTheCommandRestores) {
    ScratchDir dir;
    for (const FormatCase& c : format_cases()) {
        for (Options options : modes) {
            for (int loss : {0, options.graphics ? 3 : 6}) {
                options.loss_factor = loss;
                std::vector<std::string> extra = c.raw_arguments;
                if (loss != 0) extra.push_back(std::to_string(loss));
                const std::string what = std::string(c.name) + " '" + switch_of(options) + "' L" + std::to_string(loss);
                const std::vector<std::uint8_t> compressed = command_compress(dir, c.file_name, c.file, options, extra);
                const std::vector<std::uint8_t> restored = command_restore(dir, compressed, c.file_name);
                ASSERT_EQ(restored.size(), c.file.size()) << what;
                const Samples expected = samples_of_file_bytes(
                    restored.data() + c.header_size, restored.size() - c.header_size, c.bytes_per_sample == 2);

                const Image image = decode(compressed);
                EXPECT_TRUE(samples_of(image) == expected) << what;
                const Info& info = image.info;
                EXPECT_EQ(info.format, c.format) << what;
                EXPECT_EQ(info.width, c.width) << what;
                EXPECT_EQ(info.height, c.height) << what;
                EXPECT_EQ(info.channels, c.channels) << what;
                EXPECT_EQ(info.bits_per_sample, c.bits) << what;
                EXPECT_EQ(info.bytes_per_sample, c.bytes_per_sample) << what;
                EXPECT_EQ(info.loss_factor, loss) << what;
                EXPECT_EQ(info.fast, options.fast) << what;
                EXPECT_EQ(info.graphics, options.graphics) << what;
                EXPECT_TRUE(info.header == std::vector<std::uint8_t>(c.file.begin(), c.file.begin() + c.header_size))
                    << what;

                const Info inspected = inspect(compressed);
                EXPECT_TRUE(inspected.width == info.width && inspected.height == info.height &&
                            inspected.channels == info.channels && inspected.bits_per_sample == info.bits_per_sample &&
                            inspected.bytes_per_sample == info.bytes_per_sample &&
                            inspected.loss_factor == info.loss_factor && inspected.fast == info.fast &&
                            inspected.graphics == info.graphics && inspected.format == info.format &&
                            inspected.header == info.header)
                    << what;

                Samples into;
                into.s8.resize(expected.s8.size());
                into.s16.resize(expected.s16.size());
                if (c.bytes_per_sample == 2)
                    decode_into(compressed, std::span<std::uint16_t>(into.s16));
                else
                    decode_into(compressed, std::span<std::uint8_t>(into.s8));
                EXPECT_TRUE(into == expected) << what << " decode_into";
            }
        }
    }
}

TEST(Decode, LosslessIsExactAndNearLosslessStaysWithinTheLossFactor) {
    for (const Depth& depth : depths) {
        for (Pattern pattern : {Pattern::photo, Pattern::noise, Pattern::checkerboard}) {
            const TestImage image = make_image(47, 66, depth.bytes_per_pixel, depth.bits_per_sample, pattern, 8);
            const Samples samples = samples_of(image);
            for (const Options& mode : modes)
                EXPECT_TRUE(samples_of(decode(encode(view_of(image, samples), mode))) == samples)
                    << describe(depth, mode);
            for (int loss : {1, 2, 5, 12}) {
                for (bool fast : {false, true}) {
                    const Options options{fast, true, loss, 0};
                    const Samples decoded = samples_of(decode(encode(view_of(image, samples), options)));
                    ASSERT_EQ(decoded.s8.size() + decoded.s16.size(), samples.s8.size() + samples.s16.size());
                    int worst = 0;
                    for (std::size_t i = 0; i < samples.s8.size(); ++i)
                        worst = std::max(worst, std::abs(samples.s8[i] - decoded.s8[i]));
                    for (std::size_t i = 0; i < samples.s16.size(); ++i)
                        worst = std::max(worst, std::abs(samples.s16[i] - decoded.s16[i]));
                    EXPECT_LE(worst, loss) << describe(depth, options);
                }
            }
        }
    }
}

TEST(Encode, RefusesViewsItCannotRead) {
    const TestImage grey = make_image(40, 36, 1, 8, Pattern::photo);
    const TestImage deep = make_image(40, 36, 2, 12, Pattern::photo);
    const Samples grey_samples = samples_of(grey), deep_samples = samples_of(deep);
    const ImageView grey_view = view_of(grey, grey_samples), deep_view = view_of(deep, deep_samples);
    std::vector<std::uint16_t> too_deep = deep_samples.s16;
    too_deep[777] = 4096;
    const std::vector<std::uint8_t> small(31 * 65535);
    // `rows`: the stream gets the same refusal; it takes rows, not a buffer, so the buffer checks do not apply.
    struct Case {
        const char* name;
        ImageView view;
        Options options;
        ErrorCode code;
        bool rows = true;
    } cases[] = {
        {"two channels", {40, 18, 2, 8, grey_samples.s8, {}, 0}, {}, ErrorCode::invalid_argument},
        {"deep colour", {40, 12, 3, 12, {}, deep_samples.s16, 0}, {}, ErrorCode::invalid_argument},
        {"7 bits", {40, 36, 1, 7, grey_samples.s8, {}, 0}, {}, ErrorCode::invalid_argument},
        {"17 bits", {40, 36, 1, 17, {}, deep_samples.s16, 0}, {}, ErrorCode::invalid_argument},
        {"8 bits in samples16", {40, 36, 1, 8, {}, deep_samples.s16, 0}, {}, ErrorCode::invalid_argument},
        {"12 bits in samples8", {40, 36, 1, 12, grey_samples.s8, {}, 0}, {}, ErrorCode::invalid_argument},
        {"one sample short",
         {40, 36, 1, 8, std::span(grey_samples.s8).first(40 * 36 - 1), {}, 0},
         {},
         ErrorCode::invalid_argument,
         false},
        {"stride below a row", {40, 36, 1, 8, grey_samples.s8, {}, 39}, {}, ErrorCode::invalid_argument, false},
        {"stride past the span", {40, 36, 1, 8, grey_samples.s8, {}, 41}, {}, ErrorCode::invalid_argument, false},
        {"huge stride", {40, 36, 1, 8, grey_samples.s8, {}, SIZE_MAX / 2}, {}, ErrorCode::invalid_argument, false},
        {"negative threads", grey_view, {false, false, 0, -1}, ErrorCode::invalid_argument},
        {"31 columns", {31, 36, 1, 8, grey_samples.s8, {}, 0}, {}, ErrorCode::invalid_dimension},
        {"31 rows", {40, 31, 1, 8, grey_samples.s8, {}, 0}, {}, ErrorCode::invalid_dimension},
        {"negative width", {-40, 36, 1, 8, grey_samples.s8, {}, 0}, {}, ErrorCode::invalid_dimension},
        {"65536 columns", {65536, 32, 1, 8, small, {}, 0}, {}, ErrorCode::invalid_parameters},
        {"loss factor 13", grey_view, {false, false, 13, 0}, ErrorCode::invalid_parameters},
        {"loss factor -1", grey_view, {false, true, -1, 0}, ErrorCode::invalid_parameters},
        {"sample above 12 bits", {40, 36, 1, 12, {}, too_deep, 0}, {}, ErrorCode::invalid_parameters},
        {"sample above 12 bits, lossless graphics",
         {40, 36, 1, 12, {}, too_deep, 0},
         {false, true, 0, 0},
         ErrorCode::invalid_parameters},
        {"fits", deep_view, {}, ErrorCode::ok},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(code_of([&] { encode(c.view, c.options); }), c.code) << c.name;
        if (!c.rows) continue;
        const ImageView& v = c.view;
        const std::size_t row = static_cast<std::size_t>(std::max(v.width, 0)) * std::max(v.channels, 0);
        const RowSource rows{v.width, v.height, v.channels, v.bits_per_sample, [&](int y) {
                                 const std::size_t start = static_cast<std::size_t>(y) * row;
                                 return Row{v.samples8.subspan(std::min(start, v.samples8.size())),
                                            v.samples16.subspan(std::min(start, v.samples16.size()))};
                             }};
        EXPECT_EQ(code_of([&] {
                      encode_stream(
                          rows, [](std::span<const std::uint8_t>) {}, c.options);
                  }),
                  c.code)
            << c.name << " streamed";
    }
}

// A compressed 16-bit image and its samples, for the checks of the decode calls' arguments.
struct Compressed {
    TestImage image = make_image(40, 34, 2, 12, Pattern::photo, 5);
    Samples samples = samples_of(image);
    std::vector<std::uint8_t> file = encode(view_of(image, samples));
};

TEST(DecodeInto, ChecksTheBufferBeforeWritingAnything) {
    const Compressed c;
    const std::size_t row = 40, packed = 40 * 34;
    struct Case {
        const char* name;
        std::size_t size;
        std::size_t stride;
        ErrorCode code;
    } cases[] = {
        {"packed, one sample short", packed - 1, 0, ErrorCode::buffer_too_small},
        {"empty", 0, 0, ErrorCode::buffer_too_small},
        {"stride below a row", packed, row - 1, ErrorCode::buffer_too_small},
        {"strided, one sample short", 33 * 45 + row - 1, 45, ErrorCode::buffer_too_small},
        {"stride beyond memory", packed, SIZE_MAX / 8, ErrorCode::buffer_too_small},
        {"packed, exact", packed, 0, ErrorCode::ok},
        {"strided, last row ends the buffer", 33 * 45 + row, 45, ErrorCode::ok},
    };
    for (const Case& k : cases) {
        std::vector<std::uint16_t> buffer(k.size + 3, 0xABCD);
        EXPECT_EQ(code_of([&] { decode_into(c.file, std::span(buffer).first(k.size), k.stride); }), k.code) << k.name;
        if (k.code != ErrorCode::ok) {
            EXPECT_TRUE(std::all_of(buffer.begin(), buffer.end(), [](std::uint16_t s) { return s == 0xABCD; }))
                << k.name << ": written";
            continue;
        }
        const std::size_t stride = k.stride ? k.stride : row;
        for (std::size_t i = 0; i < buffer.size(); ++i) {
            const bool in_image = i < 34 * stride && i % stride < row;
            const std::uint16_t expected = in_image ? c.samples.s16[i / stride * row + i % stride] : 0xABCD;
            ASSERT_EQ(buffer[i], expected) << k.name << " at " << i;
        }
    }
    std::vector<std::uint8_t> bytes(2 * packed, 0x5A);
    EXPECT_EQ(code_of([&] { decode_into(c.file, std::span<std::uint8_t>(bytes)); }), ErrorCode::invalid_argument);
    EXPECT_TRUE(std::all_of(bytes.begin(), bytes.end(), [](std::uint8_t b) { return b == 0x5A; }));
    const TestImage grey_image = make_image(32, 32, 1, 8, Pattern::photo);
    const std::vector<std::uint8_t> grey = encode(view_of(grey_image, samples_of(grey_image)));
    std::vector<std::uint16_t> wide(32 * 32);
    EXPECT_EQ(code_of([&] { decode_into(grey, std::span<std::uint16_t>(wide)); }), ErrorCode::invalid_argument);
}

TEST(Decode, MaxPixelsAndThreadsAreCheckedAfterTheHeaders) {
    const Compressed c;
    std::vector<std::uint16_t> buffer(40 * 34);
    const auto each_decode = [&](const DecodeOptions& options) {
        std::vector<ErrorCode> codes;
        codes.push_back(code_of([&] { decode(c.file, options); }));
        codes.push_back(code_of([&] { decode_into(c.file, std::span(buffer), 0, options); }));
        std::size_t position = 0;
        codes.push_back(code_of([&] {
            decode_stream(
                [&](std::span<std::uint8_t> out) {
                    const std::size_t n = std::min(out.size(), c.file.size() - position);
                    std::copy_n(c.file.begin() + static_cast<std::ptrdiff_t>(position), n, out.begin());
                    position += n;
                    return n;
                },
                [](int, const Row&) {}, options);
        }));
        return codes;
    };
    using Codes = std::vector<ErrorCode>;
    EXPECT_EQ(each_decode({40 * 34 - 1, 0}), Codes(3, ErrorCode::limit_exceeded));
    EXPECT_EQ(each_decode({40 * 34, 0}), Codes(3, ErrorCode::ok));
    EXPECT_EQ(each_decode({0, 1}), Codes(3, ErrorCode::ok));
    EXPECT_EQ(each_decode({0, -1}), Codes(3, ErrorCode::invalid_argument));
    // A damaged header is reported as such, whatever the limit.
    std::vector<std::uint8_t> bad = c.file;
    bad[0] ^= 1;
    EXPECT_EQ(code_of([&] { decode(bad, {1, 0}); }), ErrorCode::invalid_compressed_file);
}

TEST(Inspect, RefusesWhatDecodingRefusesInTheHeadersWithTheSameError) {
    const Compressed c;
    int refused = 0;
    for (std::size_t position = 0; position < 12; ++position) {
        for (int value = 0; value < 256; ++value) {
            std::vector<std::uint8_t> file = c.file;
            file[position] = static_cast<std::uint8_t>(value);
            const ErrorCode inspected = code_of([&] { inspect(file); });
            if (inspected == ErrorCode::ok) continue;
            ++refused;
            ASSERT_EQ(code_of([&] { decode(file); }), inspected) << "byte " << position << " = " << value;
        }
    }
    EXPECT_GT(refused, 1000); // magic, format, depth, sizes and mode bits were all tried
    for (std::size_t length = 0; length < 12 + c.image.pnm_header_size(); ++length)
        EXPECT_EQ(code_of([&] { inspect(std::span(c.file).first(length)); }), ErrorCode::cannot_read) << length;
    EXPECT_EQ(code_of([&] { inspect(std::span(c.file).first(12 + c.image.pnm_header_size())); }), ErrorCode::ok);
}

// Damaged files through the pixel calls: every outcome is an error or the samples of the intact file.
struct DamageCase {
    const char* name;
    int bytes_per_pixel, bits;
    Options options;
};
const DamageCase damage_cases[] = {
    {"normal_grey16", 2, 16, {false, false, 0, 0}},
    {"fast_colour_lossy", 3, 8, {true, false, 4, 0}},
    {"graphics_grey8", 1, 8, {false, true, 0, 0}},
    {"fastgraphics_grey12_lossy", 2, 12, {true, true, 2, 0}},
};

// The samples each pixel decode call gives: decode, decode_into, and decode_stream fed 7 bytes at a time.
constexpr const char* decode_calls[] = {"decode", "decode_into", "decode_stream"};
Samples decode_with(int call, const std::vector<std::uint8_t>& file, const Info& info) {
    Samples samples;
    const std::size_t count = static_cast<std::size_t>(info.width) * info.height * info.channels;
    if (call == 0) return samples_of(decode(file));
    if (call == 1) {
        if (info.bytes_per_sample == 2) {
            samples.s16.resize(count);
            decode_into(file, std::span<std::uint16_t>(samples.s16));
        } else {
            samples.s8.resize(count);
            decode_into(file, std::span<std::uint8_t>(samples.s8));
        }
        return samples;
    }
    std::size_t position = 0;
    decode_stream(
        [&](std::span<std::uint8_t> out) {
            const std::size_t n = std::min<std::size_t>({out.size(), file.size() - position, 7});
            std::copy_n(file.begin() + static_cast<std::ptrdiff_t>(position), n, out.begin());
            position += n;
            return n;
        },
        [&](int, const Row& row) {
            samples.s8.insert(samples.s8.end(), row.samples8.begin(), row.samples8.end());
            samples.s16.insert(samples.s16.end(), row.samples16.begin(), row.samples16.end());
        });
    return samples;
}

TEST(Decode, DamagedFilesGiveAnErrorNeverOtherSamples) {
    for (const DamageCase& d : damage_cases) {
        const TestImage image = make_image(40, 36, d.bytes_per_pixel, d.bits, Pattern::photo, 17);
        const Samples samples = samples_of(image);
        const std::vector<std::uint8_t> file = encode(view_of(image, samples), d.options);
        const Info info = inspect(file);
        const Samples intact = decode_with(0, file, info);
        if (d.options.loss_factor == 0) {
            EXPECT_TRUE(intact == samples) << d.name;
        }
        for (int call = 0; call < 3; ++call) {
            const std::string what = std::string(d.name) + " " + decode_calls[call];
            ASSERT_TRUE(decode_with(call, file, info) == intact) << what;
            for (std::size_t length = 0; length < file.size(); ++length) {
                const std::vector<std::uint8_t> cut(file.begin(), file.begin() + static_cast<std::ptrdiff_t>(length));
                ASSERT_EQ(code_of([&] { decode_with(call, cut, info); }), ErrorCode::cannot_read)
                    << what << " cut at " << length;
            }
            std::mt19937 random(77);
            for (std::size_t position = 0; position < file.size(); ++position) {
                std::vector<std::uint8_t> damaged = file;
                damaged[position] ^= static_cast<std::uint8_t>(1 + random() % 255);
                try {
                    ASSERT_TRUE(decode_with(call, damaged, info) == intact) << what << " byte " << position;
                } catch (const Error& error) {
                    ASSERT_NE(error.code(), ErrorCode::out_of_memory) << what << " byte " << position;
                }
            }
        }
    }
}

} // namespace
} // namespace vrk::test
