// Known-good compressed files in every engine and coder, through the vrk
// binary: the encoder must write them byte for byte, and decoding them must
// restore the right image file.
#include <gtest/gtest.h>

#include "run_vrk.hpp"
#include "support/conformance_cases.hpp"

namespace vrk::test {
namespace {

namespace fs = std::filesystem;

class Conformance : public testing::TestWithParam<ConformanceCase> {};

TEST_P(Conformance, EncoderWritesTheKnownFile) {
    const ConformanceCase& c = GetParam();
    ASSERT_EQ(c.load_error, "");
    ScratchDir dir;
    write_file(dir / c.input_name, c.input);
    const RunResult r = run_vrk(dir.path(), c.arguments);
    ASSERT_EQ(r.status, 0) << r.err;
    const Bytes actual = read_file(dir / fs::path(c.input_name).replace_extension(".vrk"));
    ASSERT_EQ(actual.size(), c.compressed.size());
    for (std::size_t i = 0; i < actual.size(); ++i)
        ASSERT_EQ(actual[i], c.compressed[i]) << "first difference at " << i;
}

TEST_P(Conformance, DecoderRestoresTheImage) {
    const ConformanceCase& c = GetParam();
    ASSERT_EQ(c.load_error, "");
    ScratchDir dir;
    const std::string compressed_name = fs::path(c.input_name).replace_extension(".vrk").string();
    write_file(dir / compressed_name, c.compressed);
    const RunResult r = run_vrk(dir.path(), {compressed_name});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(read_file(dir / c.input_name) == c.decoded) << "restored file differs";
}

INSTANTIATE_TEST_SUITE_P(Vectors, Conformance, testing::ValuesIn(conformance_cases()),
                         [](const auto& info) { return test_name_of(info.param); });

} // namespace
} // namespace vrk::test
