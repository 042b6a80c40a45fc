#include "support/test_images.hpp"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <random>
#include <string>

namespace vrk::test {

void TestImage::set_sample(std::size_t i, int value) {
    if (bytes_per_pixel == 2) {
        pixels[2 * i] = static_cast<std::uint8_t>(value >> 8);
        pixels[2 * i + 1] = static_cast<std::uint8_t>(value);
    } else {
        pixels[i] = static_cast<std::uint8_t>(value);
    }
}

int TestImage::largest_difference(std::span<const std::uint8_t> bytes) const {
    int worst = 0;
    for (std::size_t i = 0; i < sample_count(); ++i) worst = std::max(worst, std::abs(sample(i) - sample_in(bytes, i)));
    return worst;
}

std::vector<std::uint8_t> TestImage::pnm_file() const {
    const std::string header = std::string(bytes_per_pixel == 3 ? "P6\n" : "P5\n") + std::to_string(width) + " " +
                               std::to_string(height) + "\n" + std::to_string(max_sample()) + "\n";
    std::vector<std::uint8_t> file(header.begin(), header.end());
    file.insert(file.end(), pixels.begin(), pixels.end());
    return file;
}

std::size_t TestImage::pnm_header_size() const { return pnm_file().size() - pixels.size(); }

TestImage make_image(int width, int height, int bytes_per_pixel, int bits_per_sample, Pattern pattern,
                     std::uint32_t seed) {
    TestImage image{width, height, bytes_per_pixel, bits_per_sample, {}};
    image.pixels.resize(image.sample_count() * (bytes_per_pixel == 2 ? 2 : 1));
    const int maximum = image.max_sample();
    std::mt19937 random(seed);
    std::uniform_int_distribution<int> any(0, maximum);
    std::normal_distribution<double> grain(0.0, maximum / 100.0);
    std::size_t i = 0;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            for (int p = 0; p < image.planes(); ++p, ++i) {
                int value = 0;
                switch (pattern) {
                case Pattern::photo: {
                    const double wave = std::sin((x + 7 * p) * 0.09) * std::cos(y * 0.07 + p) * 0.35 + 0.5;
                    const double ramp = static_cast<double>(x + y) / (width + height);
                    value = static_cast<int>(maximum * (0.6 * wave + 0.3 * ramp) + grain(random));
                    break;
                }
                case Pattern::noise: value = any(random); break;
                case Pattern::constant: value = maximum / 3; break;
                case Pattern::checkerboard: value = (x + y) % 2 ? maximum : 0; break;
                case Pattern::stripes: value = x % 2 ? maximum : 0; break;
                case Pattern::text: {
                    const bool ink =
                        (x % 9 < 6) && (y % 14 < 10) && ((x / 9 * 7 + y / 14 * 3 + (x % 9) * (y % 14)) % 5 < 2);
                    value = ink ? maximum / 8 : maximum - maximum / 16;
                    break;
                }
                case Pattern::blocks:
                    switch ((x / 8 + 3 * (y / 8) + p) % 5) {
                    case 0: value = (maximum / 7) * ((x / 8 + y / 8) % 8); break;
                    case 1: value = (x * 5 + y * 3) * (maximum / 255 + 1) % (maximum + 1); break;
                    case 2: value = any(random); break;
                    case 3: value = (x + y) % 2 != 0 ? maximum : 0; break;
                    default: value = x % 8 < 4 ? maximum - any(random) % 4 : any(random) % 4; break;
                    }
                    break;
                }
                image.set_sample(i, std::clamp(value, 0, maximum));
            }
        }
    }
    return image;
}

SampleBuffer::SampleBuffer(int bytes_per_pixel, std::size_t count)
    : wide_(bytes_per_pixel == 2), narrow_samples_(wide_ ? 0 : count), wide_samples_(wide_ ? count : 0) {}

SampleBuffer::SampleBuffer(const TestImage& image) : SampleBuffer(image.bytes_per_pixel, image.sample_count()) {
    for (std::size_t i = 0; i < size(); ++i) set(i, image.sample(i));
}

SampleBuffer SampleBuffer::slice(std::size_t first, std::size_t count) const {
    SampleBuffer part(wide_ ? 2 : 1, count);
    for (std::size_t i = 0; i < count; ++i) part.set(i, (*this)[first + i]);
    return part;
}

StripSamples SampleBuffer::samples() noexcept {
    return {wide_ ? static_cast<void*>(wide_samples_.data()) : static_cast<void*>(narrow_samples_.data())};
}

void SampleBuffer::set(std::size_t i, int value) noexcept {
    if (wide_)
        wide_samples_[i] = static_cast<std::uint16_t>(value);
    else
        narrow_samples_[i] = static_cast<std::uint8_t>(value);
}

std::vector<std::uint8_t> SampleBuffer::pixels() const {
    std::vector<std::uint8_t> bytes;
    bytes.reserve(wide_ ? 2 * size() : size());
    for (std::size_t i = 0; i < size(); ++i) {
        if (wide_) bytes.push_back(static_cast<std::uint8_t>(wide_samples_[i] >> 8));
        bytes.push_back(static_cast<std::uint8_t>((*this)[i]));
    }
    return bytes;
}

} // namespace vrk::test
