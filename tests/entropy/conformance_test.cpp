// The entropy coder against the independent vectors: each file is one run
// (fresh models, strips coded in order); every strip record must come out
// byte for byte, and decoding the records must give back the coded values.
#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

#include "entropy/coder_harness.hpp"
#include "support/files.hpp"

namespace vrk::test {
namespace {

struct RunCase {
    int bits_per_sample = 0;
    bool fast = false;
    std::vector<CodedStrip> strips;
    std::vector<std::string> records; // each strip's record, in hex
};

std::string to_hex(const std::uint8_t* bytes, std::size_t size) {
    static constexpr char digits[] = "0123456789abcdef";
    std::string hex;
    for (std::size_t i = 0; i < size; ++i) {
        hex += digits[bytes[i] >> 4];
        hex += digits[bytes[i] & 15];
    }
    return hex;
}

RunCase load(const std::string& name) {
    std::ifstream in(test_data("conformance/entropy/" + name));
    EXPECT_TRUE(in) << name;
    RunCase run;
    std::string word;
    int strips = 0;
    int fast = 0;
    in >> word >> run.bits_per_sample >> word >> fast >> word >> strips;
    run.fast = fast != 0;
    for (int s = 0; s < strips; ++s) {
        int height = 0;
        int width = 0;
        int calls = 0;
        in >> word >> height >> width >> word >> calls;
        CodedStrip strip{{}, StripArray(height, width)};
        for (int c = 0; c < calls; ++c) {
            Call call{};
            in >> word;
            if (word == "band") in >> call.orientation;
            in >> call.rows >> call.cols;
            strip.calls.push_back(call);
        }
        for (auto& v : strip.values.values) in >> v; // row 0 first
        std::string record;
        in >> word >> record;
        EXPECT_EQ(word, "record");
        run.strips.push_back(std::move(strip));
        run.records.push_back(record);
    }
    EXPECT_TRUE(in) << name;
    return run;
}

class EntropyConformance : public testing::TestWithParam<std::string> {};

TEST_P(EntropyConformance, ReproducesEveryRecordAndDecodesIt) {
    RunCase run = load(GetParam());
    ASSERT_FALSE(run.strips.empty());

    const EncodedRun encoded = encode_run(run.strips, run.fast, run.bits_per_sample, 0x01020304);
    std::size_t start = 0;
    for (std::size_t s = 0; s < run.strips.size(); ++s) {
        const std::size_t end = encoded.record_ends[s];
        EXPECT_EQ(to_hex(encoded.bytes.data() + start, end - start), run.records[s]) << "strip " << s;
        start = end;
    }
    EXPECT_EQ(encoded.written, static_cast<std::int64_t>(start) + 4);

    const DecodedRun decoded = decode_run(encoded.bytes, run.strips, run.fast, run.bits_per_sample);
    for (std::size_t s = 0; s < run.strips.size(); ++s)
        EXPECT_EQ(coded_differences(decoded.strips[s], run.strips[s]), 0) << "strip " << s;
    EXPECT_EQ(decoded.check_word, 0x01020304u);
}

INSTANTIATE_TEST_SUITE_P(Vectors, EntropyConformance,
                         testing::Values("plane-arith-8bit.txt", "plane-arith-16bit.txt", "plane-fast-8bit.txt",
                                         "plane-fast-16bit.txt", "wavelet-arith-8bit.txt", "wavelet-arith-16bit.txt",
                                         "wavelet-fast-8bit.txt", "wavelet-fast-16bit.txt", "finish-pending-a.txt",
                                         "finish-pending-b.txt"),
                         [](const testing::TestParamInfo<std::string>& info) {
                             std::string name = info.param.substr(0, info.param.size() - 4);
                             for (char& ch : name)
                                 if (ch == '-') ch = '_';
                             return name;
                         });

} // namespace
} // namespace vrk::test
