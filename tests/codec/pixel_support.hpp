// Shared by the pixel, stream and C API tests: synthetic images as samples,
// and the vrk binary compressing and restoring image files.
#pragma once

#include <vrk/vrk.hpp>

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "cli/run_vrk.hpp"
#include "support/test_images.hpp"

namespace vrk::test {

// An image's samples as the pixel API takes them: bytes at 8 bits, native
// 16-bit values deeper.
struct Samples {
    std::vector<std::uint8_t> s8;
    std::vector<std::uint16_t> s16;
    bool operator==(const Samples&) const = default;
};

inline Samples samples_of_file_bytes(const std::uint8_t* bytes, std::size_t byte_count, bool deep) {
    Samples samples;
    if (deep) {
        for (std::size_t i = 0; i + 1 < byte_count; i += 2)
            samples.s16.push_back(static_cast<std::uint16_t>(bytes[i] << 8 | bytes[i + 1]));
    } else {
        samples.s8.assign(bytes, bytes + byte_count);
    }
    return samples;
}

inline Samples samples_of(const TestImage& image) {
    return samples_of_file_bytes(image.pixels.data(), image.pixels.size(), image.bytes_per_pixel == 2);
}

inline Samples samples_of(const Image& image) { return {image.samples8, image.samples16}; }

inline int channels_of(const TestImage& image) { return image.bytes_per_pixel == 3 ? 3 : 1; }

inline ImageView view_of(const TestImage& image, const Samples& samples) {
    return {image.width, image.height, channels_of(image), image.bits_per_sample, samples.s8, samples.s16, 0};
}

// The options as the command's switch ("", "-f", "-g" or "-fg").
inline std::string switch_of(const Options& options) {
    if (!options.fast && !options.graphics) return "";
    return std::string("-") + (options.fast ? "f" : "") + (options.graphics ? "g" : "");
}

// Runs `vrk [switch] name extra...` on `file` in `dir` and returns the .vrk file it writes.
inline std::vector<std::uint8_t> command_compress(const ScratchDir& dir, const std::string& name,
                                                  const std::vector<std::uint8_t>& file, const Options& options,
                                                  std::vector<std::string> extra = {}) {
    write_file(dir / name, file);
    std::vector<std::string> arguments;
    if (!switch_of(options).empty()) arguments.push_back(switch_of(options));
    arguments.push_back(name);
    arguments.insert(arguments.end(), extra.begin(), extra.end());
    const RunResult result = run_vrk(dir.path(), arguments);
    EXPECT_EQ(result.status, 0) << result.err;
    const std::string compressed_name = name.substr(0, name.rfind('.')) + ".vrk";
    Bytes compressed = read_file(dir / compressed_name);
    std::filesystem::remove(dir / name);
    std::filesystem::remove(dir / compressed_name);
    return compressed;
}

// Runs `vrk name.vrk` on `compressed` in `dir` and returns the image file it restores as `restored_name`.
inline std::vector<std::uint8_t> command_restore(const ScratchDir& dir, const std::vector<std::uint8_t>& compressed,
                                                 const std::string& restored_name) {
    const std::string name = restored_name.substr(0, restored_name.rfind('.')) + ".vrk";
    write_file(dir / name, compressed);
    const RunResult result = run_vrk(dir.path(), {name});
    EXPECT_EQ(result.status, 0) << result.err;
    Bytes restored = read_file(dir / restored_name);
    std::filesystem::remove(dir / name);
    std::filesystem::remove(dir / restored_name);
    return restored;
}

// The error code `body` throws, or ok when it returns.
template <class Body>
ErrorCode code_of(Body&& body) {
    try {
        body();
    } catch (const Error& error) {
        return error.code();
    }
    return ErrorCode::ok;
}

} // namespace vrk::test
