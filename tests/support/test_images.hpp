// Synthetic test images, made from a fixed seed.
#pragma once

#include <cmath>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace vrk::test {

enum class Pattern {
    photo,        // smooth gradients with a little noise, like a natural image
    noise,        // uniform random samples over the whole depth
    constant,     // one value everywhere
    checkerboard, // alternating extremes, one pixel each
    stripes,      // maximum-contrast vertical stripes
    text,         // dark glyph-like blocks on a light ground
};

struct TestImage {
    int width = 0;
    int height = 0;
    int bytes_per_pixel = 1; // 1 grey, 2 grey of bits_per_sample bits, 3 colour
    int bits_per_sample = 8;
    std::vector<std::uint8_t> pixels; // file order, 16-bit samples high byte first

    std::size_t sample_count() const { return static_cast<std::size_t>(width) * height * (bytes_per_pixel == 3 ? 3 : 1); }
    int sample(std::size_t i) const {
        return bytes_per_pixel == 2 ? pixels[2 * i] << 8 | pixels[2 * i + 1] : pixels[i];
    }
    // The image as a PGM or PPM file.
    std::vector<std::uint8_t> pnm_file() const {
        const int maximum = (1 << bits_per_sample) - 1;
        const std::string header = std::string(bytes_per_pixel == 3 ? "P6\n" : "P5\n") + std::to_string(width) + " " +
                                   std::to_string(height) + "\n" + std::to_string(maximum) + "\n";
        std::vector<std::uint8_t> file(header.begin(), header.end());
        file.insert(file.end(), pixels.begin(), pixels.end());
        return file;
    }
    std::size_t pnm_header_size() const { return pnm_file().size() - pixels.size(); }
};

inline TestImage make_image(int width, int height, int bytes_per_pixel, int bits_per_sample, Pattern pattern,
                            std::uint32_t seed = 1) {
    TestImage image{width, height, bytes_per_pixel, bits_per_sample, {}};
    const int maximum = (1 << bits_per_sample) - 1;
    const int planes = bytes_per_pixel == 3 ? 3 : 1;
    std::mt19937 random(seed);
    std::uniform_int_distribution<int> any(0, maximum);
    std::normal_distribution<double> grain(0.0, maximum / 100.0);
    auto put = [&](int value) {
        value = value < 0 ? 0 : value > maximum ? maximum : value;
        if (bytes_per_pixel == 2) image.pixels.push_back(static_cast<std::uint8_t>(value >> 8));
        image.pixels.push_back(static_cast<std::uint8_t>(value));
    };
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            for (int p = 0; p < planes; ++p) {
                switch (pattern) {
                case Pattern::photo: {
                    const double wave = std::sin((x + 7 * p) * 0.09) * std::cos(y * 0.07 + p) * 0.35 + 0.5;
                    const double ramp = static_cast<double>(x + y) / (width + height);
                    put(static_cast<int>(maximum * (0.6 * wave + 0.3 * ramp) + grain(random)));
                    break;
                }
                case Pattern::noise: put(any(random)); break;
                case Pattern::constant: put(maximum / 3); break;
                case Pattern::checkerboard: put((x + y) % 2 ? maximum : 0); break;
                case Pattern::stripes: put(x % 2 ? maximum : 0); break;
                case Pattern::text: {
                    const bool ink = (x % 9 < 6) && (y % 14 < 10) && ((x / 9 * 7 + y / 14 * 3 + (x % 9) * (y % 14)) % 5 < 2);
                    put(ink ? maximum / 8 : maximum - maximum / 16);
                    break;
                }
                }
            }
        }
    }
    return image;
}

} // namespace vrk::test
