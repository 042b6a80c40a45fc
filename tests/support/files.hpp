// Files for the tests: whole files in and out, and scratch folders.
#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace vrk::test {

using Bytes = std::vector<std::uint8_t>;

// The whole file; empty when it cannot be read.
Bytes read_file(const std::filesystem::path& path);
// Creates or replaces the file.
void write_file(const std::filesystem::path& path, std::span<const std::uint8_t> bytes);
void write_file(const std::filesystem::path& path, std::string_view text);

Bytes bytes_of(std::string_view text);
std::string text_of(std::span<const std::uint8_t> bytes);

// A file below tests/data.
std::filesystem::path test_data(const std::string& relative);

// A fresh empty folder, removed with everything in it when the object goes.
class ScratchDir {
public:
    ScratchDir();
    ~ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;

    const std::filesystem::path& path() const noexcept { return path_; }
    std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

private:
    std::filesystem::path path_;
};

} // namespace vrk::test
