// The C API, called as a C program calls it: statuses instead of
// exceptions, NULL arguments refused, the caller's buffer checked before
// anything is written, and the same bytes and samples as the C++ API.
#include <vrk/vrk.h>
#include <vrk/vrk.hpp>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "pixel_support.hpp"

namespace vrk::test {
namespace {

// A buffer the library returned, released when it goes.
struct Output {
    std::uint8_t* data = nullptr;
    std::size_t size = 0;
    ~Output() { vrk_free(data); }
    std::vector<std::uint8_t> bytes() const { return {data, data + size}; }
};

TEST(CApi, StatusesAndTheirMessagesAreTheCppErrorCodes) {
    const char* const messages[] = {"ok",
                                    "Image header or type not supported or invalid",
                                    "Cannot open input file",
                                    "Cannot open output file",
                                    "Cannot read from file",
                                    "Cannot write to file",
                                    "Invalid compressed file",
                                    "Invalid image dimension (<32)",
                                    "Invalid image parameters",
                                    "Incorrect image CRC",
                                    "image is larger than specified dimension",
                                    "Cannot close image file",
                                    "not enough memory",
                                    "Image exceeds the decoding limit",
                                    "Output file exists",
                                    "Invalid argument",
                                    "Buffer too small"};
    for (int code = 0; code <= VRK_BUFFER_TOO_SMALL; ++code) {
        EXPECT_STREQ(vrk_status_message(static_cast<vrk_status>(code)), messages[code]) << code;
        EXPECT_STREQ(message_of(static_cast<ErrorCode>(code)), messages[code]) << code;
    }
    EXPECT_STREQ(vrk_status_message(static_cast<vrk_status>(17)), "unknown error");
    EXPECT_STREQ(vrk_status_message(static_cast<vrk_status>(-1)), "unknown error");
    EXPECT_STREQ(vrk_version(), version());
    unsigned major = 0, minor = 0, patch = 0;
    char after = 0;
    EXPECT_EQ(std::sscanf(vrk_version(), "%u.%u.%u%c", &major, &minor, &patch, &after), 3) << vrk_version();
}

TEST(CApi, EncodeInspectAndDecodeMatchTheCppApi) {
    struct Case {
        int bytes_per_pixel, bits;
        vrk_options options;
    } cases[] = {{1, 8, {0, 0, 0, 0}}, {2, 12, {1, 0, 3, 1}}, {2, 16, {0, 1, 0, 0}}, {3, 8, {1, 1, 2, 0}}};
    for (const Case& c : cases) {
        const TestImage image = make_image(45, 38, c.bytes_per_pixel, c.bits, Pattern::photo, 6);
        const Samples samples = samples_of(image);
        const Options options{c.options.fast != 0, c.options.graphics != 0, c.options.loss_factor, c.options.threads};
        const std::vector<std::uint8_t> expected = encode(view_of(image, samples), options);
        const std::uint32_t channels = channels_of(image);
        const void* pixels = c.bits > 8 ? static_cast<const void*>(samples.s16.data()) : samples.s8.data();
        Output out;
        ASSERT_EQ(vrk_encode(pixels, 0, 45, 38, channels, c.bits, &c.options, &out.data, &out.size), VRK_OK);
        EXPECT_TRUE(out.bytes() == expected) << c.bits;

        vrk_info info;
        ASSERT_EQ(vrk_inspect(out.data, out.size, &info), VRK_OK);
        const Info cpp = inspect(expected);
        EXPECT_EQ(info.width, 45u);
        EXPECT_EQ(info.height, 38u);
        EXPECT_EQ(info.channels, channels);
        EXPECT_EQ(info.bits_per_sample, static_cast<std::uint32_t>(c.bits));
        EXPECT_EQ(info.bytes_per_sample, c.bits > 8 ? 2u : 1u);
        EXPECT_EQ(info.loss_factor, static_cast<std::uint32_t>(c.options.loss_factor));
        EXPECT_EQ(info.fast, c.options.fast);
        EXPECT_EQ(info.graphics, c.options.graphics);
        EXPECT_EQ(info.format, channels == 3 ? VRK_FORMAT_PPM : VRK_FORMAT_PGM);
        EXPECT_EQ(info.header, out.data + 12) << "points into the caller's data";
        EXPECT_TRUE(std::vector<std::uint8_t>(info.header, info.header + info.header_size) == cpp.header);

        // Packed with NULL options, and strided with a limit that the image just meets.
        const Samples decoded = samples_of(decode(expected));
        const std::size_t row_bytes = 45u * channels * info.bytes_per_sample, packed = row_bytes * 38;
        std::vector<std::uint16_t> storage(packed); // 2-byte aligned, large enough for either depth
        auto* buffer = reinterpret_cast<std::uint8_t*>(storage.data());
        ASSERT_EQ(vrk_decode(out.data, out.size, buffer, 0, packed, nullptr), VRK_OK);
        const std::uint8_t* wanted = c.bits > 8 ? reinterpret_cast<const std::uint8_t*>(decoded.s16.data()) : decoded.s8.data();
        EXPECT_EQ(std::memcmp(buffer, wanted, packed), 0) << c.bits;
        std::vector<std::uint16_t> wide_storage(packed);
        auto* wide = reinterpret_cast<std::uint8_t*>(wide_storage.data());
        const std::size_t stride = row_bytes + 4;
        const vrk_decode_options just_enough{45 * 38, 1};
        ASSERT_EQ(vrk_decode(out.data, out.size, wide, stride, 37 * stride + row_bytes, &just_enough), VRK_OK);
        for (std::size_t y = 0; y < 38; ++y)
            EXPECT_EQ(std::memcmp(wide + y * stride, wanted + y * row_bytes, row_bytes), 0) << c.bits << " row " << y;
    }
}

TEST(CApi, DecodeChecksTheBufferBeforeWritingAnything) {
    const TestImage image = make_image(40, 32, 2, 10, Pattern::photo);
    const Samples samples = samples_of(image);
    const std::vector<std::uint8_t> file = encode(view_of(image, samples));
    const std::size_t packed = 40 * 32 * 2;
    struct Case {
        const char* name;
        std::size_t offset, stride, capacity;
        vrk_decode_options options;
        vrk_status status;
    } cases[] = {
        {"one byte short", 0, 0, packed - 1, {0, 0}, VRK_BUFFER_TOO_SMALL},
        {"stride below a row", 0, 78, packed, {0, 0}, VRK_BUFFER_TOO_SMALL},
        {"strided, one byte short", 0, 84, 31 * 84 + 79, {0, 0}, VRK_BUFFER_TOO_SMALL},
        {"odd stride", 0, 81, packed * 2, {0, 0}, VRK_INVALID_ARGUMENT},
        {"odd address", 1, 0, packed, {0, 0}, VRK_INVALID_ARGUMENT},
        {"over the limit", 0, 0, packed, {40 * 32 - 1, 0}, VRK_LIMIT_EXCEEDED},
        {"negative threads", 0, 0, packed, {0, -1}, VRK_INVALID_ARGUMENT},
    };
    for (const Case& c : cases) {
        std::vector<std::uint16_t> storage(packed + 8, 0x5A5A);
        auto* buffer = reinterpret_cast<std::uint8_t*>(storage.data());
        EXPECT_EQ(vrk_decode(file.data(), file.size(), buffer + c.offset, c.stride, c.capacity, &c.options), c.status)
            << c.name;
        EXPECT_TRUE(std::all_of(storage.begin(), storage.end(), [](std::uint16_t s) { return s == 0x5A5A; })) << c.name;
    }
    std::vector<std::uint8_t> cut(file.begin(), file.end() - 3);
    std::vector<std::uint16_t> out(packed / 2);
    EXPECT_EQ(vrk_decode(cut.data(), cut.size(), out.data(), 0, packed, nullptr), VRK_CANNOT_READ);
    cut[0] ^= 0xFF;
    vrk_info info;
    EXPECT_EQ(vrk_inspect(cut.data(), cut.size(), &info), VRK_INVALID_COMPRESSED_FILE);
    EXPECT_EQ(vrk_inspect(file.data(), 11, &info), VRK_CANNOT_READ);
}

TEST(CApi, RefusesNullPointersAndBadShapes) {
    const TestImage image = make_image(40, 32, 1, 8, Pattern::photo);
    const std::vector<std::uint8_t> file = encode(view_of(image, samples_of(image)));
    const std::vector<std::uint8_t> pgm = image.pnm_file();
    std::vector<std::uint8_t> buffer(40 * 32);
    vrk_info info;
    Output out;
    out.size = 99;
    // Outputs are NULL and 0 after any failure.
    const auto refused = [&](vrk_status status, vrk_status expected, const char* what) {
        EXPECT_EQ(status, expected) << what;
        EXPECT_EQ(out.data, nullptr) << what;
        EXPECT_EQ(out.size, 0u) << what;
    };
    EXPECT_EQ(vrk_inspect(nullptr, 0, &info), VRK_INVALID_ARGUMENT);
    EXPECT_EQ(vrk_inspect(file.data(), file.size(), nullptr), VRK_INVALID_ARGUMENT);
    EXPECT_EQ(vrk_decode(nullptr, 0, buffer.data(), 0, buffer.size(), nullptr), VRK_INVALID_ARGUMENT);
    EXPECT_EQ(vrk_decode(file.data(), file.size(), nullptr, 0, buffer.size(), nullptr), VRK_INVALID_ARGUMENT);
    refused(vrk_encode(nullptr, 0, 40, 32, 1, 8, nullptr, &out.data, &out.size), VRK_INVALID_ARGUMENT, "no pixels");
    EXPECT_EQ(vrk_encode(buffer.data(), 0, 40, 32, 1, 8, nullptr, nullptr, &out.size), VRK_INVALID_ARGUMENT);
    EXPECT_EQ(vrk_encode(buffer.data(), 0, 40, 32, 1, 8, nullptr, &out.data, nullptr), VRK_INVALID_ARGUMENT);
    refused(vrk_compress_image(nullptr, 0, VRK_FORMAT_PGM, nullptr, &out.data, &out.size), VRK_INVALID_ARGUMENT,
            "no file");
    refused(vrk_compress_raw(nullptr, 0, 40, 32, 1, nullptr, &out.data, &out.size), VRK_INVALID_ARGUMENT, "no samples");
    refused(vrk_restore_image(nullptr, 0, nullptr, &out.data, &out.size), VRK_INVALID_ARGUMENT, "no data");
    EXPECT_EQ(vrk_restore_image(file.data(), file.size(), nullptr, nullptr, &out.size), VRK_INVALID_ARGUMENT);

    refused(vrk_encode(buffer.data(), 0, 40, 32, 2, 8, nullptr, &out.data, &out.size), VRK_INVALID_ARGUMENT,
            "two channels");
    refused(vrk_encode(buffer.data(), 0, 40, 32, 3, 12, nullptr, &out.data, &out.size), VRK_INVALID_ARGUMENT,
            "deep colour");
    refused(vrk_encode(buffer.data(), 0, 40, 31, 1, 8, nullptr, &out.data, &out.size), VRK_INVALID_DIMENSION,
            "31 rows");
    refused(vrk_encode(buffer.data(), 0, 0xFFFFFFFFu, 32, 1, 8, nullptr, &out.data, &out.size),
            VRK_INVALID_PARAMETERS, "width beyond int");
    refused(vrk_encode(buffer.data(), 39, 40, 32, 1, 8, nullptr, &out.data, &out.size), VRK_INVALID_ARGUMENT,
            "stride below a row");
    std::vector<std::uint16_t> deep(40 * 32);
    const auto* deep_bytes = reinterpret_cast<const std::uint8_t*>(deep.data());
    refused(vrk_encode(deep_bytes + 1, 0, 32, 32, 1, 12, nullptr, &out.data, &out.size), VRK_INVALID_ARGUMENT,
            "odd address for 16-bit samples");
    refused(vrk_encode(deep_bytes, 65, 32, 32, 1, 12, nullptr, &out.data, &out.size), VRK_INVALID_ARGUMENT,
            "odd stride for 16-bit samples");
    const vrk_options too_lossy{0, 0, 13, 0};
    refused(vrk_encode(buffer.data(), 0, 40, 32, 1, 8, &too_lossy, &out.data, &out.size), VRK_INVALID_PARAMETERS,
            "loss factor 13");
    refused(vrk_compress_image(pgm.data(), pgm.size(), VRK_FORMAT_RAW, nullptr, &out.data, &out.size),
            VRK_INVALID_ARGUMENT, "raw without a layout");
    refused(vrk_compress_image(pgm.data(), pgm.size(), static_cast<vrk_format>(5), nullptr, &out.data, &out.size),
            VRK_INVALID_ARGUMENT, "format 5");
    refused(vrk_restore_image(file.data(), file.size() - 1, nullptr, &out.data, &out.size), VRK_CANNOT_READ, "cut");
}

TEST(CApi, ImageFilesMatchTheCppApi) {
    const TestImage image = make_image(40, 40, 2, 16, Pattern::photo);
    const std::vector<std::uint8_t> pgm = image.pnm_file();
    const vrk_options options{1, 1, 0, 0};
    Output compressed, restored, raw;
    ASSERT_EQ(vrk_compress_image(pgm.data(), pgm.size(), VRK_FORMAT_PGM, &options, &compressed.data, &compressed.size),
              VRK_OK);
    EXPECT_TRUE(compressed.bytes() == compress_image(pgm, ImageFormat::pgm, {true, true, 0, 0}));
    vrk_format format = VRK_FORMAT_RAW;
    ASSERT_EQ(vrk_restore_image(compressed.data, compressed.size, &format, &restored.data, &restored.size), VRK_OK);
    EXPECT_EQ(format, VRK_FORMAT_PGM);
    EXPECT_TRUE(restored.bytes() == pgm);
    // Height 0: as high as wide.
    ASSERT_EQ(vrk_compress_raw(image.pixels.data(), image.pixels.size(), 40, 0, 2, nullptr, &raw.data, &raw.size), VRK_OK);
    EXPECT_TRUE(raw.bytes() == compress_image(image.pixels, ImageFormat::raw, {}, {40, 40, 2}));
    EXPECT_TRUE(restore_image(raw.bytes()).file == image.pixels);
}

} // namespace
} // namespace vrk::test
