// Known-good compressed files in every engine and coder: the encoder must
// write them byte for byte, and decoding them must restore the right image.
#include <gtest/gtest.h>

#include <sstream>

#include "run_vrk.hpp"

namespace vrk::test {
namespace {

namespace fs = std::filesystem;

struct ConformanceCase {
    std::string input;      // path below the conformance folder
    std::vector<std::string> arguments;
    std::string compressed; // expected .vrk
    std::string decoded;    // expected restored file; empty: the input itself
};

// Names the case in test output instead of dumping its bytes.
void PrintTo(const ConformanceCase& c, std::ostream* os) { *os << c.compressed; }

fs::path conformance_dir() { return fs::path(VRK_TEST_DATA_DIR) / "conformance"; }

std::vector<ConformanceCase> load_cases() {
    std::vector<ConformanceCase> cases;
    std::istringstream table(read_file(conformance_dir() / "cases.tsv"));
    std::string line;
    std::getline(table, line); // column names
    while (std::getline(table, line)) {
        std::vector<std::string> fields;
        std::istringstream columns(line);
        for (std::string field; std::getline(columns, field, '\t');) fields.push_back(field);
        if (fields.size() != 4) continue;
        ConformanceCase c;
        c.input = fields[0];
        std::istringstream words(fields[1]);
        std::string word;
        words >> word; // the command's name
        while (words >> word) c.arguments.push_back(word);
        c.compressed = fields[2];
        c.decoded = fields[3].starts_with("(") ? std::string() : fields[3];
        cases.push_back(std::move(c));
    }
    return cases;
}

std::string case_name(const testing::TestParamInfo<ConformanceCase>& info) {
    std::string name = fs::path(info.param.compressed).stem().string();
    for (char& c : name)
        if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
    return name;
}

class Conformance : public testing::TestWithParam<ConformanceCase> {};

TEST_P(Conformance, EncoderWritesTheKnownFile) {
    const ConformanceCase& c = GetParam();
    ScratchDir dir;
    const std::string name = fs::path(c.input).filename().string();
    fs::copy_file(conformance_dir() / c.input, dir / name);
    const RunResult r = run_vrk(dir.path(), c.arguments);
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string expected = read_file(conformance_dir() / c.compressed);
    const std::string actual = read_file(dir / (fs::path(name).stem().string() + ".vrk"));
    ASSERT_EQ(actual.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) ASSERT_EQ(actual[i], expected[i]) << "first difference at " << i;
}

TEST_P(Conformance, DecoderRestoresTheImage) {
    const ConformanceCase& c = GetParam();
    ScratchDir dir;
    const fs::path input_name = fs::path(c.input).filename();
    fs::copy_file(conformance_dir() / c.compressed, dir / (input_name.stem().string() + ".vrk"));
    const RunResult r = run_vrk(dir.path(), {input_name.stem().string() + ".vrk"});
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string expected = read_file(conformance_dir() / (c.decoded.empty() ? c.input : c.decoded));
    EXPECT_TRUE(read_file(dir / input_name) == expected) << "restored file differs";
}

INSTANTIATE_TEST_SUITE_P(Vectors, Conformance, testing::ValuesIn(load_cases()), case_name);

} // namespace
} // namespace vrk::test
