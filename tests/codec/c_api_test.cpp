// The C ABI, called as a C program calls it: statuses instead of
// exceptions, NULL arguments refused, the caller's buffer checked before
// anything is written, and the same bytes and samples as the C++ layer over
// it, which in turn hands back the exceptions of the caller's own functions.
#include <vrk/vrk.h>
#include <vrk/vrk.hpp>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

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

// A path the library returned, released when it goes.
struct OutPath {
    char* data = nullptr;
    ~OutPath() { vrk_free(data); }
};

vrk_options c_options(int fast, int graphics, int loss_factor, int threads) {
    vrk_options options;
    vrk_options_init(&options);
    options.fast = fast;
    options.graphics = graphics;
    options.loss_factor = loss_factor;
    options.threads = threads;
    return options;
}

vrk_decode_options c_decode_options(std::uint64_t max_pixels, int threads) {
    vrk_decode_options options;
    vrk_decode_options_init(&options);
    options.max_pixels = max_pixels;
    options.threads = threads;
    return options;
}

TEST(CApi, StatusesNamesAndMessagesAreTheCppErrorCodes) {
    const struct {
        const char* name;
        const char* message;
    } statuses[] = {{"ok", "ok"},
                    {"unsupported_image", "Image header or type not supported or invalid"},
                    {"cannot_open_input", "Cannot open input file"},
                    {"cannot_open_output", "Cannot open output file"},
                    {"cannot_read", "Cannot read from file"},
                    {"cannot_write", "Cannot write to file"},
                    {"invalid_compressed_file", "Invalid compressed file"},
                    {"invalid_dimension", "Invalid image dimension (<32)"},
                    {"invalid_parameters", "Invalid image parameters"},
                    {"incorrect_crc", "Incorrect image CRC"},
                    {"image_too_large", "image is larger than specified dimension"},
                    {"cannot_close_image", "Cannot close image file"},
                    {"out_of_memory", "not enough memory"},
                    {"limit_exceeded", "Image exceeds the decoding limit"},
                    {"output_exists", "Output file exists"},
                    {"invalid_argument", "Invalid argument"},
                    {"buffer_too_small", "Buffer too small"}};
    for (int code = 0; code <= VRK_BUFFER_TOO_SMALL; ++code) {
        EXPECT_STREQ(vrk_status_name(static_cast<vrk_status>(code)), statuses[code].name) << code;
        EXPECT_STREQ(vrk_status_message(static_cast<vrk_status>(code)), statuses[code].message) << code;
        EXPECT_STREQ(message_of(static_cast<ErrorCode>(code)), statuses[code].message) << code;
        EXPECT_STREQ(Error(static_cast<ErrorCode>(code)).what(), statuses[code].message) << code;
    }
    for (int outside : {17, 31}) {
        EXPECT_EQ(vrk_status_name(static_cast<vrk_status>(outside)), nullptr) << outside;
        EXPECT_STREQ(vrk_status_message(static_cast<vrk_status>(outside)), "unknown error") << outside;
    }
    EXPECT_STREQ(vrk_version(), version());
    unsigned major = 0, minor = 0, patch = 0;
    char after = 0;
    EXPECT_EQ(std::sscanf(vrk_version(), "%u.%u.%u%c", &major, &minor, &patch, &after), 3) << vrk_version();
}

TEST(CApi, EncodeInspectAndDecodeMatchTheCppApi) {
    struct Case {
        int bytes_per_pixel, bits;
        Options options;
    } cases[] = {{1, 8, {false, false, 0, 0}},
                 {2, 12, {true, false, 3, 1}},
                 {2, 16, {false, true, 0, 0}},
                 {3, 8, {true, true, 2, 0}}};
    for (const Case& c : cases) {
        const TestImage image = make_image(45, 38, c.bytes_per_pixel, c.bits, Pattern::photo, 6);
        const Samples samples = samples_of(image);
        const vrk_options options =
            c_options(c.options.fast, c.options.graphics, c.options.loss_factor, c.options.threads);
        const std::vector<std::uint8_t> expected = encode(view_of(image, samples), c.options);
        const std::uint32_t channels = channels_of(image);
        const void* pixels = c.bits > 8 ? static_cast<const void*>(samples.s16.data()) : samples.s8.data();
        const std::size_t pixel_bytes = samples.s8.size() + 2 * samples.s16.size();
        Output out;
        ASSERT_EQ(vrk_encode(pixels, pixel_bytes, 0, 45, 38, channels, c.bits, &options, &out.data, &out.size), VRK_OK);
        EXPECT_TRUE(out.bytes() == expected) << c.bits;
        // One byte short of the last row.
        Output refused;
        EXPECT_EQ(
            vrk_encode(pixels, pixel_bytes - 1, 0, 45, 38, channels, c.bits, &options, &refused.data, &refused.size),
            VRK_INVALID_ARGUMENT);

        vrk_info info;
        vrk_info_init(&info);
        ASSERT_EQ(vrk_inspect(out.data, out.size, &info), VRK_OK);
        const Info cpp = inspect(expected);
        EXPECT_EQ(info.width, 45u);
        EXPECT_EQ(info.height, 38u);
        EXPECT_EQ(info.channels, channels);
        EXPECT_EQ(info.bits_per_sample, static_cast<std::uint32_t>(c.bits));
        EXPECT_EQ(info.bytes_per_sample, c.bits > 8 ? 2u : 1u);
        EXPECT_EQ(info.loss_factor, static_cast<std::uint32_t>(c.options.loss_factor));
        EXPECT_EQ(info.fast, c.options.fast ? 1 : 0);
        EXPECT_EQ(info.graphics, c.options.graphics ? 1 : 0);
        EXPECT_EQ(info.format, channels == 3 ? VRK_FORMAT_PPM : VRK_FORMAT_PGM);
        EXPECT_EQ(info.header, out.data + 12) << "points into the caller's data";
        EXPECT_TRUE(std::vector<std::uint8_t>(info.header, info.header + info.header_size) == cpp.header);

        // Packed with NULL options, and strided with a limit that the image just meets.
        const Samples decoded = samples_of(decode(expected));
        const std::size_t row_bytes = 45u * channels * info.bytes_per_sample, packed = row_bytes * 38;
        std::vector<std::uint16_t> storage(packed); // 2-byte aligned, large enough for either depth
        auto* buffer = reinterpret_cast<std::uint8_t*>(storage.data());
        ASSERT_EQ(vrk_decode(out.data, out.size, buffer, 0, packed, nullptr), VRK_OK);
        const std::uint8_t* wanted =
            c.bits > 8 ? reinterpret_cast<const std::uint8_t*>(decoded.s16.data()) : decoded.s8.data();
        EXPECT_EQ(std::memcmp(buffer, wanted, packed), 0) << c.bits;
        std::vector<std::uint16_t> wide_storage(packed);
        auto* wide = reinterpret_cast<std::uint8_t*>(wide_storage.data());
        const std::size_t stride = row_bytes + 4;
        const vrk_decode_options just_enough = c_decode_options(45 * 38, 1);
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
        std::uint64_t max_pixels;
        int threads;
        vrk_status status;
    } cases[] = {
        {"one byte short", 0, 0, packed - 1, 0, 0, VRK_BUFFER_TOO_SMALL},
        {"stride below a row", 0, 78, packed, 0, 0, VRK_BUFFER_TOO_SMALL},
        {"strided, one byte short", 0, 84, 31 * 84 + 79, 0, 0, VRK_BUFFER_TOO_SMALL},
        {"odd stride", 0, 81, packed * 2, 0, 0, VRK_INVALID_ARGUMENT},
        {"odd address", 1, 0, packed, 0, 0, VRK_INVALID_ARGUMENT},
        {"over the limit", 0, 0, packed, 40 * 32 - 1, 0, VRK_LIMIT_EXCEEDED},
        {"negative threads", 0, 0, packed, 0, -1, VRK_INVALID_ARGUMENT},
    };
    for (const Case& c : cases) {
        std::vector<std::uint16_t> storage(packed + 8, 0x5A5A);
        auto* buffer = reinterpret_cast<std::uint8_t*>(storage.data());
        const vrk_decode_options options = c_decode_options(c.max_pixels, c.threads);
        EXPECT_EQ(vrk_decode(file.data(), file.size(), buffer + c.offset, c.stride, c.capacity, &options), c.status)
            << c.name;
        EXPECT_TRUE(std::all_of(storage.begin(), storage.end(), [](std::uint16_t s) { return s == 0x5A5A; })) << c.name;
    }
    std::vector<std::uint8_t> cut(file.begin(), file.end() - 3);
    std::vector<std::uint16_t> out(packed / 2);
    EXPECT_EQ(vrk_decode(cut.data(), cut.size(), out.data(), 0, packed, nullptr), VRK_CANNOT_READ);
    cut[0] ^= 0xFF;
    vrk_info info;
    vrk_info_init(&info);
    EXPECT_EQ(vrk_inspect(cut.data(), cut.size(), &info), VRK_INVALID_COMPRESSED_FILE);
    EXPECT_EQ(vrk_inspect(file.data(), 11, &info), VRK_CANNOT_READ);
}

TEST(CApi, RefusesNullPointersAndBadShapes) {
    const TestImage image = make_image(40, 32, 1, 8, Pattern::photo);
    const std::vector<std::uint8_t> file = encode(view_of(image, samples_of(image)));
    const std::vector<std::uint8_t> pgm = image.pnm_file();
    std::vector<std::uint8_t> buffer(40 * 32);
    const std::size_t size = buffer.size();
    vrk_info info;
    vrk_info_init(&info);
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
    refused(vrk_encode(nullptr, size, 0, 40, 32, 1, 8, nullptr, &out.data, &out.size), VRK_INVALID_ARGUMENT,
            "no pixels");
    EXPECT_EQ(vrk_encode(buffer.data(), size, 0, 40, 32, 1, 8, nullptr, nullptr, &out.size), VRK_INVALID_ARGUMENT);
    EXPECT_EQ(vrk_encode(buffer.data(), size, 0, 40, 32, 1, 8, nullptr, &out.data, nullptr), VRK_INVALID_ARGUMENT);
    refused(vrk_compress_image(nullptr, 0, VRK_FORMAT_PGM, nullptr, &out.data, &out.size), VRK_INVALID_ARGUMENT,
            "no file");
    refused(vrk_compress_raw(nullptr, 0, 40, 32, 1, nullptr, &out.data, &out.size), VRK_INVALID_ARGUMENT, "no samples");
    refused(vrk_restore_image(nullptr, 0, nullptr, nullptr, &out.data, &out.size), VRK_INVALID_ARGUMENT, "no data");
    EXPECT_EQ(vrk_restore_image(file.data(), file.size(), nullptr, nullptr, nullptr, &out.size), VRK_INVALID_ARGUMENT);

    refused(vrk_encode(buffer.data(), size, 0, 40, 32, 2, 8, nullptr, &out.data, &out.size), VRK_INVALID_ARGUMENT,
            "two channels");
    refused(vrk_encode(buffer.data(), size, 0, 40, 32, 3, 12, nullptr, &out.data, &out.size), VRK_INVALID_ARGUMENT,
            "deep colour");
    refused(vrk_encode(buffer.data(), size, 0, 40, 31, 1, 8, nullptr, &out.data, &out.size), VRK_INVALID_DIMENSION,
            "31 rows");
    refused(vrk_encode(buffer.data(), size, 0, 0xFFFFFFFFu, 32, 1, 8, nullptr, &out.data, &out.size),
            VRK_INVALID_PARAMETERS, "width beyond int");
    refused(vrk_encode(buffer.data(), size, 39, 40, 32, 1, 8, nullptr, &out.data, &out.size), VRK_INVALID_ARGUMENT,
            "stride below a row");
    std::vector<std::uint16_t> deep(40 * 32);
    const auto* deep_bytes = reinterpret_cast<const std::uint8_t*>(deep.data());
    refused(vrk_encode(deep_bytes + 1, 2 * 32 * 32, 0, 32, 32, 1, 12, nullptr, &out.data, &out.size),
            VRK_INVALID_ARGUMENT, "odd address for 16-bit samples");
    refused(vrk_encode(deep_bytes, 2 * 40 * 32, 65, 32, 32, 1, 12, nullptr, &out.data, &out.size), VRK_INVALID_ARGUMENT,
            "odd stride for 16-bit samples");
    const vrk_options too_lossy = c_options(0, 0, 13, 0);
    refused(vrk_encode(buffer.data(), size, 0, 40, 32, 1, 8, &too_lossy, &out.data, &out.size), VRK_INVALID_PARAMETERS,
            "loss factor 13");
    refused(vrk_compress_image(pgm.data(), pgm.size(), VRK_FORMAT_RAW, nullptr, &out.data, &out.size),
            VRK_INVALID_ARGUMENT, "raw without a layout");
    refused(vrk_compress_image(pgm.data(), pgm.size(), static_cast<vrk_format>(5), nullptr, &out.data, &out.size),
            VRK_INVALID_ARGUMENT, "format 5");
    refused(vrk_restore_image(file.data(), file.size() - 1, nullptr, nullptr, &out.data, &out.size), VRK_CANNOT_READ,
            "cut");
    OutPath path;
    EXPECT_EQ(vrk_compress_file(nullptr, nullptr, 0, 0, 1, 0, &path.data), VRK_INVALID_ARGUMENT);
    EXPECT_EQ(vrk_restore_file(nullptr, 0, nullptr, &path.data), VRK_INVALID_ARGUMENT);
    EXPECT_EQ(path.data, nullptr);
}

TEST(CApi, ImageFilesMatchTheCppApi) {
    const TestImage image = make_image(40, 40, 2, 16, Pattern::photo);
    const std::vector<std::uint8_t> pgm = image.pnm_file();
    const vrk_options options = c_options(1, 1, 0, 0);
    Output compressed, restored, raw;
    ASSERT_EQ(vrk_compress_image(pgm.data(), pgm.size(), VRK_FORMAT_PGM, &options, &compressed.data, &compressed.size),
              VRK_OK);
    EXPECT_TRUE(compressed.bytes() == compress_image(pgm, ImageFormat::pgm, {true, true, 0, 0}));
    vrk_format format = VRK_FORMAT_RAW;
    const vrk_decode_options just_enough = c_decode_options(40 * 40, 2);
    ASSERT_EQ(
        vrk_restore_image(compressed.data, compressed.size, &just_enough, &format, &restored.data, &restored.size),
        VRK_OK);
    EXPECT_EQ(format, VRK_FORMAT_PGM);
    EXPECT_TRUE(restored.bytes() == pgm);
    Output refused;
    const vrk_decode_options limit = c_decode_options(40 * 40 - 1, 0);
    EXPECT_EQ(vrk_restore_image(compressed.data, compressed.size, &limit, &format, &refused.data, &refused.size),
              VRK_LIMIT_EXCEEDED);
    EXPECT_EQ(code_of([&] { restore_image(compressed.bytes(), {40 * 40 - 1, 0}); }), ErrorCode::limit_exceeded);
    // Height 0: as high as wide.
    ASSERT_EQ(vrk_compress_raw(image.pixels.data(), image.pixels.size(), 40, 0, 2, nullptr, &raw.data, &raw.size),
              VRK_OK);
    EXPECT_TRUE(raw.bytes() == compress_image(image.pixels, ImageFormat::raw, {}, {40, 40, 2}));
    EXPECT_TRUE(restore_image(raw.bytes()).file == image.pixels);
}

TEST(CApi, FilesOnDiskAsTheCppLayerWritesThem) {
    namespace fs = std::filesystem;
    ScratchDir dir;
    const TestImage image = make_image(48, 40, 2, 16, Pattern::photo);
    write_file(dir / "scan.raw", image.pixels);
    const std::string input = (dir / "scan.raw").string();
    const vrk_options lossy = c_options(0, 0, 3, 0);
    {
        OutPath path;
        ASSERT_EQ(vrk_compress_file(input.c_str(), &lossy, 48, 40, 2, 0, &path.data), VRK_OK);
        EXPECT_STREQ(path.data, (dir / "scan.vrk").string().c_str());
    }
    const Bytes compressed = read_file(dir / "scan.vrk");
    EXPECT_TRUE(compressed == compress_image(image.pixels, ImageFormat::raw, {.loss_factor = 3}, {48, 40, 2}));
    OutPath refused;
    EXPECT_EQ(vrk_compress_file(input.c_str(), &lossy, 48, 40, 2, 0, &refused.data), VRK_OUTPUT_EXISTS);
    EXPECT_EQ(refused.data, nullptr);
    EXPECT_EQ(vrk_compress_file(input.c_str(), &lossy, 48, 40, 2, 1, nullptr), VRK_OK) << "out_path may be NULL";

    fs::remove(dir / "scan.raw");
    const std::string vrk_file = (dir / "scan.vrk").string();
    const vrk_decode_options limit = c_decode_options(48 * 40 - 1, 0);
    EXPECT_EQ(vrk_restore_file(vrk_file.c_str(), 0, &limit, &refused.data), VRK_LIMIT_EXCEEDED);
    EXPECT_EQ(code_of([&] { restore_file(vrk_file, false, {48 * 40 - 1, 0}); }), ErrorCode::limit_exceeded);
    {
        OutPath path;
        ASSERT_EQ(vrk_restore_file(vrk_file.c_str(), 0, nullptr, &path.data), VRK_OK);
        EXPECT_STREQ(path.data, input.c_str());
    }
    EXPECT_EQ(vrk_restore_file(vrk_file.c_str(), 0, nullptr, nullptr), VRK_OUTPUT_EXISTS);
    EXPECT_EQ(restore_file(vrk_file, true, {48 * 40, 1}), input);
    EXPECT_TRUE(read_file(input) == restore_image(compressed).file);
}

// The caller's exception, thrown from its own function in the middle of a
// stream call (on a stage thread of the library's or not): what reaches the
// caller is that exception, not the status the C call stopped with.
TEST(CApi, CallbackExceptionsComeBackThroughTheCppLayerUnchanged) {
    struct Thrown {
        std::string where;
    };
    const TestImage image = make_image(40, 100, 1, 8, Pattern::photo);
    const Samples samples = samples_of(image);
    const std::vector<std::uint8_t> file = encode(view_of(image, samples));
    const auto row_of = [&](int y) {
        return Row{std::span(samples.s8).subspan(static_cast<std::size_t>(y) * 40, 40), {}};
    };
    const auto ignore_bytes = [](std::span<const std::uint8_t>) {};
    const auto ignore_rows = [](int, const Row&) {};
    const auto reader = [&](std::size_t& position, int fail_at_call) {
        return [&file, &position, fail_at_call, call = 0](std::span<std::uint8_t> out) mutable {
            if (call++ == fail_at_call) throw Thrown{"read"};
            const std::size_t n = std::min({out.size(), file.size() - position, std::size_t{50}});
            std::copy_n(file.begin() + static_cast<std::ptrdiff_t>(position), n, out.begin());
            position += n;
            return n;
        };
    };
    // The thrown exception's description, or "returned".
    const auto outcome = [](auto&& body) -> std::string {
        try {
            body();
        } catch (const Thrown& thrown) {
            return "Thrown " + thrown.where;
        } catch (const Error& error) {
            return std::string("Error ") + vrk_status_name(static_cast<vrk_status>(error.code()));
        }
        return "returned";
    };
    for (int threads : {1, 2}) {
        const Options options{.threads = threads};
        const DecodeOptions decode_options{.threads = threads};
        std::size_t position = 0;
        EXPECT_EQ(outcome([&] {
                      decode_stream(
                          reader(position, 20),
                          [](int y, const Row&) {
                              if (y == 70) throw Thrown{"row"};
                          },
                          decode_options);
                  }),
                  "Thrown read")
            << threads;
        position = 0;
        EXPECT_EQ(outcome([&] {
                      decode_stream(
                          reader(position, -1),
                          [](int y, const Row&) {
                              if (y == 50) throw Thrown{"row"};
                          },
                          decode_options);
                  }),
                  "Thrown row")
            << threads;
        position = 0;
        EXPECT_EQ(outcome([&] {
                      decode_stream(
                          reader(position, -1),
                          [](int y, const Row&) {
                              if (y == 50) throw Error(ErrorCode::incorrect_crc);
                          },
                          decode_options);
                  }),
                  "Error incorrect_crc")
            << threads;
        EXPECT_EQ(outcome([&] {
                      encode_stream({40, 100, 1, 8,
                                     [&](int y) {
                                         if (y == 60) throw Error(ErrorCode::limit_exceeded);
                                         return row_of(y);
                                     }},
                                    ignore_bytes, options);
                  }),
                  "Error limit_exceeded")
            << threads;
        EXPECT_EQ(outcome([&] {
                      int calls = 0;
                      encode_stream(
                          {40, 100, 1, 8, row_of},
                          [&](std::span<const std::uint8_t>) {
                              if (++calls == 3) throw Thrown{"write"};
                          },
                          options);
                  }),
                  "Thrown write")
            << threads;
        position = 0;
        EXPECT_EQ(outcome([&] { decode_stream(reader(position, -1), ignore_rows, decode_options); }), "returned");
    }
}

} // namespace
} // namespace vrk::test
