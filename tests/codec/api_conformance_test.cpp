// The known-good vectors through the library: compress_image and
// compress_file write each compressed file byte for byte (on one stage thread
// or two), restore_image and restore_file give back each image file.
#include <vrk/vrk.hpp>

#include <gtest/gtest.h>

#include <filesystem>

#include "support/conformance_cases.hpp"
#include "support/files.hpp"

namespace vrk::test {
namespace {

namespace fs = std::filesystem;

class ApiConformance : public testing::TestWithParam<ConformanceCase> {};

TEST_P(ApiConformance, InMemory) {
    const ConformanceCase& c = GetParam();
    ASSERT_EQ(c.load_error, "");
    for (const int threads : {1, 2}) {
        Options options = c.options();
        options.threads = threads;
        EXPECT_TRUE(compress_image(c.input, c.format(), options, c.raw_layout()) == c.compressed)
            << threads << " threads: compressed file differs";
    }
    const RestoredImage restored = restore_image(c.compressed);
    EXPECT_EQ(restored.format, c.format());
    EXPECT_TRUE(restored.file == c.decoded) << "restored file differs";
}

TEST_P(ApiConformance, OnDisk) {
    const ConformanceCase& c = GetParam();
    ASSERT_EQ(c.load_error, "");
    ScratchDir dir;
    const fs::path input = dir / c.input_name;
    write_file(input, c.input);
    const std::string compressed = compress_file(input.string(), c.options(), c.raw_layout());
    EXPECT_EQ(fs::path(compressed), fs::path(input).replace_extension(".vrk"));
    EXPECT_TRUE(read_file(compressed) == c.compressed) << "compressed file differs";

    fs::remove(input);
    EXPECT_EQ(fs::path(restore_file(compressed)), input);
    EXPECT_TRUE(read_file(input) == c.decoded) << "restored file differs";
}

INSTANTIATE_TEST_SUITE_P(Vectors, ApiConformance, testing::ValuesIn(conformance_cases()),
                         [](const auto& info) { return test_name_of(info.param); });

} // namespace
} // namespace vrk::test
