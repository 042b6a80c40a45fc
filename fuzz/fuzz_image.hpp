// Turns fuzzer bytes into a small image file and coding options.
#pragma once

#include <vrk/vrk.hpp>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

namespace vrk::fuzz {

struct FuzzImage {
    std::vector<std::uint8_t> file; // a PGM or PPM file
    ImageFormat format;
    int width, height, bytes_per_pixel, bits_per_sample;
    Options options;
};

// The first 6 bytes choose the shape and the options; the rest are pixel bytes, repeated as needed.
inline bool make_fuzz_image(const std::uint8_t* data, std::size_t size, FuzzImage& image) {
    if (size < 7) return false;
    image.width = 32 + data[0] % 48;
    image.height = 32 + data[1] % 48;
    image.bytes_per_pixel = 1 + data[2] % 3;
    image.bits_per_sample = image.bytes_per_pixel == 2 ? 9 + data[3] % 8 : 8;
    image.options.fast = (data[4] & 1) != 0;
    image.options.graphics = (data[4] & 2) != 0;
    image.options.loss_factor = data[5] % 13;
    const std::uint8_t* pixels = data + 6;
    const std::size_t pixel_count = size - 6;

    const int maximum = (1 << image.bits_per_sample) - 1;
    const std::string header = std::string(image.bytes_per_pixel == 3 ? "P6\n" : "P5\n") + std::to_string(image.width) +
                               " " + std::to_string(image.height) + "\n" + std::to_string(maximum) + "\n";
    image.format = image.bytes_per_pixel == 3 ? ImageFormat::ppm : ImageFormat::pgm;
    image.file.assign(header.begin(), header.end());
    const std::size_t bytes = static_cast<std::size_t>(image.width) * image.height * image.bytes_per_pixel;
    for (std::size_t i = 0; i < bytes; ++i) image.file.push_back(pixels[i % pixel_count]);
    return true;
}

} // namespace vrk::fuzz
