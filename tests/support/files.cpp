#include "support/files.hpp"

#include <fstream>
#include <iterator>
#include <random>

namespace vrk::test {

Bytes read_file(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void write_file(const std::filesystem::path& path, std::span<const std::uint8_t> bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

void write_file(const std::filesystem::path& path, std::string_view text) { write_file(path, bytes_of(text)); }

Bytes bytes_of(std::string_view text) { return {text.begin(), text.end()}; }

std::string text_of(std::span<const std::uint8_t> bytes) { return {bytes.begin(), bytes.end()}; }

std::filesystem::path test_data(const std::string& relative) {
    return std::filesystem::path(VRK_TEST_DATA_DIR) / relative;
}

ScratchDir::ScratchDir() {
    static std::mt19937_64 names{std::random_device{}()};
    path_ = std::filesystem::temp_directory_path() / ("vrk-test-" + std::to_string(names()));
    std::filesystem::create_directories(path_);
}

ScratchDir::~ScratchDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

} // namespace vrk::test
