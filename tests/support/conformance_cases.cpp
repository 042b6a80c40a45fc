#include "support/conformance_cases.hpp"

#include <cctype>
#include <filesystem>
#include <sstream>

#include "codec/compressed_stream.hpp"
#include "core/byte_io.hpp"
#include "support/files.hpp"

namespace vrk::test {

namespace {

namespace fs = std::filesystem;

std::size_t head_size(const ConformanceCase& c) {
    return container_header_size + static_cast<std::size_t>(c.image.image_header_size());
}

std::span<const std::uint8_t> after_image_header(const ConformanceCase& c, const std::vector<std::uint8_t>& file) {
    const auto header = static_cast<std::size_t>(c.image.image_header_size());
    return header <= file.size() ? std::span(file).subspan(header) : std::span<const std::uint8_t>();
}

// Fills a case from one row: input, command, compressed, decoded ("(the input itself)" when lossless).
ConformanceCase load(const std::vector<std::string>& fields) {
    const fs::path dir = test_data("conformance");
    ConformanceCase c;
    c.name = fs::path(fields[2]).stem().string();
    c.input_name = fs::path(fields[0]).filename().string();
    std::istringstream words(fields[1]);
    std::string word;
    words >> word; // the command's name
    while (words >> word) c.arguments.push_back(word);
    c.input = read_file(dir / fields[0]);
    c.compressed = read_file(dir / fields[2]);
    c.decoded = fields[3].starts_with("(") ? c.input : read_file(dir / fields[3]);
    if (c.input.empty() || c.compressed.empty() || c.decoded.empty()) {
        c.load_error = "a file of the row is missing";
        return c;
    }
    try {
        MemorySource source(c.compressed);
        c.header_crc = CompressedReader(source).read_headers(c.image);
    } catch (const Error& error) {
        c.load_error = std::string("the compressed header was refused: ") + error.what();
    }
    if (c.load_error.empty() && c.compressed.size() < head_size(c) + 4) c.load_error = "no CRC word";
    return c;
}

std::vector<ConformanceCase> load_table() {
    std::istringstream table(text_of(read_file(test_data("conformance/cases.tsv"))));
    std::vector<ConformanceCase> cases;
    std::string line;
    std::getline(table, line); // column names
    while (std::getline(table, line)) {
        std::vector<std::string> fields;
        std::istringstream columns(line);
        for (std::string field; std::getline(columns, field, '\t');) fields.push_back(field);
        if (fields.size() == 4) cases.push_back(load(fields));
    }
    return cases;
}

} // namespace

std::span<const std::uint8_t> ConformanceCase::strip_records() const {
    return std::span(compressed).subspan(head_size(*this));
}

std::uint32_t ConformanceCase::image_crc() const {
    const std::size_t n = compressed.size();
    return std::uint32_t{compressed[n - 4]} | std::uint32_t{compressed[n - 3]} << 8 |
           std::uint32_t{compressed[n - 2]} << 16 | std::uint32_t{compressed[n - 1]} << 24;
}

std::span<const std::uint8_t> ConformanceCase::input_pixels() const { return after_image_header(*this, input); }

std::span<const std::uint8_t> ConformanceCase::decoded_pixels() const { return after_image_header(*this, decoded); }

Options ConformanceCase::options() const noexcept {
    Options options;
    options.fast = image.fast();
    options.graphics = image.graphics();
    options.loss_factor = image.loss_factor;
    return options;
}

RawLayout ConformanceCase::raw_layout() const noexcept { return {image.width, image.height, image.bytes_per_pixel}; }

const std::vector<ConformanceCase>& conformance_cases() {
    static const std::vector<ConformanceCase> cases = load_table();
    return cases;
}

std::vector<ConformanceCase> conformance_cases(bool graphics) {
    std::vector<ConformanceCase> chosen;
    for (const ConformanceCase& c : conformance_cases())
        if (c.image.graphics() == graphics) chosen.push_back(c);
    return chosen;
}

void PrintTo(const ConformanceCase& c, std::ostream* os) { *os << c.name; }

std::string test_name_of(const ConformanceCase& c) {
    std::string name = c.name;
    for (char& ch : name)
        if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
    return name;
}

} // namespace vrk::test
