// The entropy coder against the independent vectors: each file is one run
// (fresh models, strips coded in order); every strip record must come out
// byte for byte, and decoding the records must give back the coded values.
#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

#include "entropy/entropy_coder.hpp"
#include "frontend/byte_io.hpp"
#include "coder_harness.hpp"

namespace vrk {
namespace {

using namespace testing_support;

struct StripCase {
    int height = 0;
    int width = 0;
    std::vector<Call> calls;
    std::vector<std::int32_t> values; // height x width, row 0 first
    std::string record; // hex
};

struct RunCase {
    int bits_per_sample = 0;
    bool fast = false;
    std::vector<StripCase> strips;
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
    std::ifstream in(std::string(VRK_TEST_DATA_DIR) + "/conformance/entropy/" + name);
    EXPECT_TRUE(in) << name;
    RunCase run;
    std::string word;
    int strips = 0;
    int fast = 0;
    in >> word >> run.bits_per_sample >> word >> fast >> word >> strips;
    run.fast = fast != 0;
    for (int s = 0; s < strips; ++s) {
        StripCase strip;
        int calls = 0;
        in >> word >> strip.height >> strip.width >> word >> calls;
        for (int c = 0; c < calls; ++c) {
            Call call{};
            in >> word;
            if (word == "band") in >> call.orientation;
            in >> call.rows >> call.cols;
            strip.calls.push_back(call);
        }
        strip.values.resize(static_cast<std::size_t>(strip.height) * strip.width);
        for (auto& v : strip.values) in >> v;
        in >> word >> strip.record;
        EXPECT_EQ(word, "record");
        run.strips.push_back(std::move(strip));
    }
    EXPECT_TRUE(in) << name;
    return run;
}

class EntropyConformance : public testing::TestWithParam<std::string> {};

TEST_P(EntropyConformance, ReproducesEveryRecordAndDecodesIt) {
    const RunCase run = load(GetParam());
    ASSERT_FALSE(run.strips.empty());

    MemorySink sink;
    std::vector<std::uint8_t> buffer;
    {
        EntropyCoder coder(sink, run.fast, run.bits_per_sample);
        std::size_t offset = 0;
        for (std::size_t s = 0; s < run.strips.size(); ++s) {
            const StripCase& strip = run.strips[s];
            StripArray array(strip.height, strip.width);
            array.values = strip.values;
            buffer.assign(EntropyCoder::code_buffer_capacity(array.values.size(), run.bits_per_sample), 0xA5);
            coder.begin_strip(buffer.data(), buffer.size());
            array.code(coder, strip.calls);
            coder.finish_strip();
            EXPECT_EQ(to_hex(sink.bytes().data() + offset, sink.bytes().size() - offset), strip.record)
                << "strip " << s;
            offset = sink.bytes().size();
        }
        EXPECT_EQ(coder.write_check_word(0x01020304), static_cast<std::int64_t>(offset) + 4);
    }

    MemorySource source(sink.bytes());
    EntropyCoder decoder(source, run.fast, run.bits_per_sample);
    for (std::size_t s = 0; s < run.strips.size(); ++s) {
        const StripCase& strip = run.strips[s];
        StripArray array(strip.height, strip.width);
        buffer.assign(EntropyCoder::code_buffer_capacity(array.values.size(), run.bits_per_sample), 0x5A);
        decoder.begin_strip(buffer.data(), buffer.size());
        array.code(decoder, strip.calls);
        decoder.finish_strip();
        StripArray expected(strip.height, strip.width);
        expected.values = strip.values;
        EXPECT_EQ(coded_differences(strip.calls, array, expected), 0) << "strip " << s;
    }
    EXPECT_EQ(decoder.read_check_word(), 0x01020304u);
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
} // namespace vrk
