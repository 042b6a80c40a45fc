// The vrk compressor and decompressor as GDAL finds them: the plugin loaded
// through GDAL_DRIVER_PATH, the codec called through the CPL registry.
#include <vrk/vrk.h>

#include <cpl_compressor.h>
#include <cpl_error.h>
#include <cpl_string.h>
#include <cpl_vsi.h>
#include <gdal.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

struct Shape {
    const char* name;
    uint32_t width, height, channels, bits;
    size_t sample_bytes() const { return bits > 8 ? 2 : 1; }
    size_t bytes() const { return size_t{width} * height * channels * sample_bytes(); }
};

// Grey 8 bits, grey 12 bits, colour; sides that are not multiples of a strip or block.
const Shape shapes[] = {{"grey8", 45, 37, 1, 8}, {"grey12", 64, 33, 1, 12}, {"colour", 40, 52, 3, 8}};

// A smooth ramp with noise, from a fixed seed: the bytes of one chunk.
std::vector<uint8_t> make_pixels(const Shape& shape, uint32_t seed) {
    std::mt19937 random(seed);
    const uint32_t top = (1u << shape.bits) - 1;
    std::vector<uint8_t> bytes(shape.bytes());
    const size_t samples = size_t{shape.width} * shape.height * shape.channels;
    for (size_t i = 0; i < samples; ++i) {
        const uint32_t x = i / shape.channels % shape.width, y = i / shape.channels / shape.width;
        const uint32_t value = ((x * 7 + y * 5) * (top / 400 + 1) + random() % 16) % (top + 1);
        if (shape.sample_bytes() == 2) {
            const auto sample = static_cast<uint16_t>(value);
            std::memcpy(&bytes[2 * i], &sample, 2);
        } else {
            bytes[i] = static_cast<uint8_t>(value);
        }
    }
    return bytes;
}

std::vector<uint8_t> encode(const Shape& shape, const std::vector<uint8_t>& pixels) {
    uint8_t* out = nullptr;
    size_t size = 0;
    EXPECT_EQ(vrk_encode(pixels.data(), pixels.size(), 0, shape.width, shape.height, shape.channels, shape.bits,
                         nullptr, &out, &size),
              VRK_OK);
    std::vector<uint8_t> encoded(out, out + size);
    vrk_free(out);
    return encoded;
}

class Codec : public testing::Test {
protected:
    static void SetUpTestSuite() { GDALAllRegister(); }
    void SetUp() override {
        CPLPushErrorHandler(CPLQuietErrorHandler);
        CPLErrorReset();
        decompressor = CPLGetDecompressor("vrk");
        compressor = CPLGetCompressor("vrk");
        ASSERT_NE(decompressor, nullptr) << "the plugin did not register its decompressor (GDAL_DRIVER_PATH?)";
        ASSERT_NE(compressor, nullptr) << "the plugin did not register its compressor";
    }
    void TearDown() override { CPLPopErrorHandler(); }

    bool decode(const std::vector<uint8_t>& data, void** out, size_t* out_size) const {
        return decompressor->pfnFunc(data.data(), data.size(), out, out_size, nullptr, decompressor->user_data);
    }
    bool encode_through(const std::vector<uint8_t>& pixels, const CPLStringList& options, void** out,
                        size_t* out_size) const {
        return compressor->pfnFunc(pixels.data(), pixels.size(), out, out_size, options.List(), compressor->user_data);
    }

    const CPLCompressor* decompressor = nullptr;
    const CPLCompressor* compressor = nullptr;
};

// Each output mode of cpl_compressor.h, for each kind of image.
TEST_F(Codec, DecodesInEveryOutputMode) {
    for (const Shape& shape : shapes) {
        SCOPED_TRACE(shape.name);
        const auto pixels = make_pixels(shape, 11);
        const auto encoded = encode(shape, pixels);

        size_t size = 0; // no buffer: the size needed
        ASSERT_TRUE(decode(encoded, nullptr, &size));
        EXPECT_EQ(size, pixels.size());

        std::vector<uint8_t> exact(pixels.size()); // the caller's buffer, exactly large enough
        void* out = exact.data();
        size = exact.size();
        ASSERT_TRUE(decode(encoded, &out, &size));
        EXPECT_EQ(size, pixels.size());
        EXPECT_EQ(exact, pixels);

        std::vector<uint8_t> larger(pixels.size() + 100, 0xA5); // larger: the size used, the rest untouched
        out = larger.data();
        size = larger.size();
        ASSERT_TRUE(decode(encoded, &out, &size));
        EXPECT_EQ(size, pixels.size());
        EXPECT_TRUE(std::equal(pixels.begin(), pixels.end(), larger.begin()));
        EXPECT_EQ(larger.back(), 0xA5);

        out = nullptr; // allocated by the codec, released with VSIFree
        size = 0;
        ASSERT_TRUE(decode(encoded, &out, &size));
        ASSERT_NE(out, nullptr);
        ASSERT_EQ(size, pixels.size());
        EXPECT_EQ(std::memcmp(out, pixels.data(), size), 0);
        VSIFree(out);
    }
}

TEST_F(Codec, ReportsTheSizeNeededWhenTheBufferIsTooSmall) {
    const Shape& shape = shapes[1];
    const auto encoded = encode(shape, make_pixels(shape, 12));
    std::vector<uint8_t> small(shape.bytes() - 1, 0x5A);
    void* out = small.data();
    size_t size = small.size();
    EXPECT_FALSE(decode(encoded, &out, &size));
    EXPECT_EQ(size, shape.bytes());
    EXPECT_EQ(small, std::vector<uint8_t>(shape.bytes() - 1, 0x5A)) << "nothing is written to a small buffer";
}

// Cut and changed chunks: false with a GDAL error, or (a change the format
// cannot see) the image's size; never a crash or a write past the buffer.
TEST_F(Codec, DamagedChunksFailCleanly) {
    for (const Shape& shape : shapes) {
        SCOPED_TRACE(shape.name);
        const auto encoded = encode(shape, make_pixels(shape, 13));
        std::vector<std::vector<uint8_t>> damaged;
        for (size_t length : {size_t{0}, size_t{1}, size_t{8}, size_t{20}, encoded.size() / 2, encoded.size() - 1})
            damaged.emplace_back(encoded.begin(), encoded.begin() + length);
        std::mt19937 random(14);
        for (int i = 0; i < 60; ++i) {
            auto changed = encoded;
            // Most changes in the headers, where sizes and shapes live.
            const size_t at = i < 30 ? random() % std::min<size_t>(32, changed.size()) : random() % changed.size();
            changed[at] ^= static_cast<uint8_t>(1 + random() % 255);
            damaged.push_back(std::move(changed));
        }
        for (const auto& chunk : damaged) {
            std::vector<uint8_t> buffer(shape.bytes() + 64, 0xC3);
            void* out = buffer.data();
            size_t size = shape.bytes();
            CPLErrorReset();
            if (decode(chunk, &out, &size)) {
                EXPECT_EQ(size, shape.bytes());
            } else if (size == shape.bytes()) {
                EXPECT_EQ(CPLGetLastErrorType(), CE_Failure);
                EXPECT_EQ(std::string(CPLGetLastErrorMsg()).rfind("vrk: cannot decode the chunk", 0), 0u)
                    << CPLGetLastErrorMsg();
            }
            EXPECT_TRUE(std::all_of(buffer.end() - 64, buffer.end(), [](uint8_t b) { return b == 0xC3; }));

            void* allocated = nullptr; // the allocating mode, too, frees what it took
            size = 0;
            if (decode(chunk, &allocated, &size))
                VSIFree(allocated);
            else
                EXPECT_EQ(allocated, nullptr);
        }
    }
}

// GDAL's Zarr driver passes the compressor the array's codec config only: without a shape it refuses.
TEST_F(Codec, CompressingWithoutTheShapeIsRefused) {
    const Shape& shape = shapes[0];
    const auto pixels = make_pixels(shape, 15);
    CPLStringList options;
    options.SetNameValue("id", "vrk");
    options.SetNameValue("loss_factor", "0");
    void* out = nullptr;
    size_t size = 0;
    EXPECT_FALSE(encode_through(pixels, options, &out, &size));
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(CPLGetLastErrorType(), CE_Failure);
    EXPECT_NE(std::string(CPLGetLastErrorMsg()).find("WIDTH and HEIGHT"), std::string::npos) << CPLGetLastErrorMsg();
}

// With the shape, the compressor takes the numcodecs config as GDAL passes it (JSON values as text)
// and makes the bytes vrk_encode makes; the decompressor gives the pixels back.
TEST_F(Codec, CompressesWithTheShapeAndTheCodecConfig) {
    struct Case {
        const Shape& shape;
        std::vector<std::pair<const char*, const char*>> config;
        vrk_options options;
        uint32_t bits;
    };
    const Case cases[] = {
        {shapes[0], {{"id", "vrk"}, {"graphics", "true"}, {"fast", "false"}, {"loss_factor", "0"}}, {0, 0, 1, 0, 0}, 8},
        {shapes[1], {{"bits_per_sample", ""}, {"fast", "true"}, {"threads", "1"}}, {0, 1, 0, 0, 1}, 12},
        {shapes[1], {{"bits_per_sample", "16"}, {"loss_factor", "3"}}, {0, 0, 0, 3, 0}, 16},
        {shapes[2], {{"CHANNELS", "3"}, {"graphics", "false"}}, {0, 0, 0, 0, 0}, 8},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.shape.name) + " with " + c.config.front().first);
        const auto pixels = make_pixels(c.shape, 16);
        CPLStringList options;
        options.SetNameValue("WIDTH", std::to_string(c.shape.width).c_str());
        options.SetNameValue("HEIGHT", std::to_string(c.shape.height).c_str());
        for (const auto& [key, value] : c.config) options.SetNameValue(key, value);

        vrk_options expected_options = c.options;
        expected_options.struct_size = sizeof expected_options;
        uint8_t* expected = nullptr;
        size_t expected_size = 0;
        ASSERT_EQ(vrk_encode(pixels.data(), pixels.size(), 0, c.shape.width, c.shape.height, c.shape.channels, c.bits,
                             &expected_options, &expected, &expected_size),
                  VRK_OK);
        const std::vector<uint8_t> want(expected, expected + expected_size);
        vrk_free(expected);

        size_t size = 0;
        ASSERT_TRUE(encode_through(pixels, options, nullptr, &size)) << CPLGetLastErrorMsg();
        EXPECT_EQ(size, want.size());
        std::vector<uint8_t> buffer(want.size() - 1);
        void* out = buffer.data();
        size = buffer.size();
        EXPECT_FALSE(encode_through(pixels, options, &out, &size));
        EXPECT_EQ(size, want.size());
        out = nullptr;
        ASSERT_TRUE(encode_through(pixels, options, &out, &size)) << CPLGetLastErrorMsg();
        const std::vector<uint8_t> got(static_cast<uint8_t*>(out), static_cast<uint8_t*>(out) + size);
        VSIFree(out);
        EXPECT_EQ(got, want);

        if (c.options.loss_factor == 0) {
            std::vector<uint8_t> decoded(pixels.size());
            void* into = decoded.data();
            size = decoded.size();
            ASSERT_TRUE(decode(got, &into, &size));
            EXPECT_EQ(decoded, pixels);
        }
    }
}

TEST_F(Codec, RefusesOptionsAndChunksItCannotRead) {
    const Shape& shape = shapes[1];
    const auto pixels = make_pixels(shape, 17);
    const std::string width = std::to_string(shape.width), height = std::to_string(shape.height);
    const std::vector<std::vector<std::pair<const char*, const char*>>> cases = {
        {{"loss_factor", "abc"}},   // not a number
        {{"graphics", "maybe"}},    // not a flag
        {{"loss_factor", "13"}},    // out of range: the library refuses it
        {{"bits_per_sample", "8"}}, // 2-byte samples need 9..16
        {{"HEIGHT", "34"}},         // the chunk is not that shape
        {{"WIDTH", "-1"}},          // not a count
        {{"CHANNELS", "3"}},        // colour needs 8 bits; the size does not match either
    };
    for (const auto& overrides : cases) {
        SCOPED_TRACE(std::string(overrides.front().first) + "=" + overrides.front().second);
        CPLStringList options;
        options.SetNameValue("WIDTH", width.c_str());
        options.SetNameValue("HEIGHT", height.c_str());
        for (const auto& [key, value] : overrides) options.SetNameValue(key, value);
        void* out = nullptr;
        size_t size = 0;
        CPLErrorReset();
        EXPECT_FALSE(encode_through(pixels, options, &out, &size));
        EXPECT_EQ(out, nullptr);
        EXPECT_EQ(CPLGetLastErrorType(), CE_Failure);
        EXPECT_EQ(std::string(CPLGetLastErrorMsg()).rfind("vrk: ", 0), 0u) << CPLGetLastErrorMsg();
    }
}

} // namespace
