// Damaged and hostile input: every outcome is the exact image or one of the
// listed errors, never a crash, a hang, another error, or a wrong image
// reported as success.
#include <vrk/vrk.hpp>

#include <gtest/gtest.h>

#include <random>
#include <string>

#include "support/expect_error.hpp"
#include "support/files.hpp"
#include "support/test_images.hpp"

namespace vrk::test {
namespace {

struct Case {
    const char* name;
    bool fast;
    bool graphics;
    int bytes_per_pixel;
    int bits_per_sample;
    int loss_factor;
};

// Every engine, coder and depth, lossless and lossy, on images of at most 64 x 64.
const Case cases[] = {
    {"normal_grey8", false, false, 1, 8, 0},          {"fast_grey8", true, false, 1, 8, 0},
    {"graphics_grey8", false, true, 1, 8, 0},         {"fastgraphics_grey8", true, true, 1, 8, 0},
    {"normal_grey12", false, false, 2, 12, 0},        {"fast_grey16", true, false, 2, 16, 0},
    {"graphics_grey16", false, true, 2, 16, 0},       {"fastgraphics_grey12", true, true, 2, 12, 0},
    {"normal_colour", false, false, 3, 8, 0},         {"fast_colour", true, false, 3, 8, 0},
    {"graphics_colour", false, true, 3, 8, 0},        {"fastgraphics_colour", true, true, 3, 8, 0},
    {"normal_grey8_lossy", false, false, 1, 8, 5},    {"fast_colour_lossy", true, false, 3, 8, 3},
    {"graphics_grey16_lossy", false, true, 2, 16, 4}, {"fastgraphics_colour_lossy", true, true, 3, 8, 7},
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

class Damage : public testing::TestWithParam<Case> {
protected:
    void SetUp() override {
        const Case& c = GetParam();
        const TestImage image = make_image(48, 40, c.bytes_per_pixel, c.bits_per_sample, Pattern::photo, 21);
        compressed_ = compress_image(image.pnm_file(), image.pnm_format(), {c.fast, c.graphics, c.loss_factor});
        expected_ = restore_image(compressed_).file; // the image itself when lossless
    }
    std::vector<std::uint8_t> compressed_;
    std::vector<std::uint8_t> expected_;
};

TEST_P(Damage, EveryCutCannotBeRead) {
    for (std::size_t length = 0; length < compressed_.size(); ++length)
        ASSERT_ERROR(ErrorCode::cannot_read, [&] { restore_image(std::span(compressed_).first(length)); })
            << "cut at " << length;
}

TEST_P(Damage, ChangedBytesGiveAnErrorOrTheExactImage) {
    std::mt19937 random(1234);
    std::uniform_int_distribution<int> flip(1, 255);
    for (std::size_t position = 0; position < compressed_.size(); ++position) {
        std::vector<std::uint8_t> damaged = compressed_;
        damaged[position] ^= static_cast<std::uint8_t>(flip(random));
        // Some bits of a record are never read; then the image must be exact.
        ASSERT_TRUE(allowed_error_or_exact(damaged_file_errors, expected_, [&] { return restore_image(damaged).file; }))
            << "byte " << position;
    }
}

INSTANTIATE_TEST_SUITE_P(AllModes, Damage, testing::ValuesIn(cases),
                         [](const testing::TestParamInfo<Case>& info) { return std::string(info.param.name); });

TEST(HostileInput, RandomBytesAfterAValidHeader) {
    // The headers are intact, so only the records can be refused, cut short or fail the CRC.
    constexpr ErrorCode allowed[] = {ErrorCode::cannot_read, ErrorCode::invalid_compressed_file,
                                     ErrorCode::incorrect_crc};
    const TestImage image = make_image(64, 64, 1, 8, Pattern::photo);
    std::mt19937 random(99);
    for (std::uint32_t mode = 0; mode < 4; ++mode) {
        std::vector<std::uint8_t> file =
            compress_image(image.pnm_file(), ImageFormat::pgm, {(mode & 1) != 0, (mode & 2) != 0, 0});
        const std::size_t head = 12 + image.pnm_header_size();
        for (int trial = 0; trial < 200; ++trial) {
            for (std::size_t i = head; i < file.size(); ++i) file[i] = static_cast<std::uint8_t>(random());
            ASSERT_TRUE(allowed_error_or_exact(allowed, image.pnm_file(), [&] { return restore_image(file).file; }))
                << "mode " << mode << ", trial " << trial;
        }
    }
}

TEST(HostileInput, SamplesAboveTheDeclaredDepth) {
    // A 10-bit image whose samples use all 16 bits.
    TestImage image = make_image(40, 40, 2, 10, Pattern::photo);
    image.pixels[2 * 100] = 0xFF;
    const std::vector<std::uint8_t> file = image.pnm_file();
    for (bool fast : {false, true}) {
        for (int loss : {0, 1, 12})
            EXPECT_ERROR(ErrorCode::invalid_parameters,
                         [&] {
                             compress_image(file, ImageFormat::pgm, {fast, false, loss});
                         })
                << "wavelet engine, loss " << loss;
        EXPECT_ERROR(ErrorCode::invalid_parameters, [&] {
            compress_image(file, ImageFormat::pgm, {fast, true, 3});
        }) << "graphics lossy";
        // The lossless graphics engine codes any 16-bit value.
        EXPECT_TRUE(restore_image(compress_image(file, ImageFormat::pgm, {fast, true, 0})).file == file);
    }
}

// Inputs the fuzzers found, each with the outcome it must have.
TEST(HostileInput, FuzzFindings) {
    struct Finding {
        const char* file;
        ErrorCode code;
    } findings[] = {
        // 1,459 bytes that declare a 64,214 x 35 image: decoded in proportion to the image, then cut short.
        {"wide-image-few-bytes.vrk", ErrorCode::cannot_read},
        // 468 bytes that declare a lossy 50 x 16,673 colour image; reported as slow when the fuzzer was starved of CPU.
        {"tall-lossy-colour-cut.vrk", ErrorCode::cannot_read},
    };
    for (const Finding& finding : findings) {
        const std::vector<std::uint8_t> bytes = read_file(test_data(std::string("fuzz-findings/") + finding.file));
        ASSERT_FALSE(bytes.empty()) << finding.file;
        EXPECT_ERROR(finding.code, [&] { restore_image(bytes); }) << finding.file;
    }
}

} // namespace
} // namespace vrk::test
