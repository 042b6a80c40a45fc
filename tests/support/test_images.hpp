// Synthetic test images, made from a fixed seed: the only image generator of
// the tests. Samples are kept as the image file holds them: one byte, two
// bytes high byte first, or three interleaved bytes of colour.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include <vrk/vrk.hpp>

#include "core/strip_samples.hpp"

namespace vrk::test {

enum class Pattern {
    photo,        // smooth waves and a ramp with a little grain, like a natural image
    noise,        // uniform random samples over the whole depth
    constant,     // one value everywhere
    checkerboard, // alternating extremes, one pixel each
    stripes,      // maximum-contrast vertical stripes
    text,         // dark glyph-like blocks on a light ground
    blocks,       // 8 x 8 blocks of flat areas, ramps, noise, extremes and runs next to 0 and the maximum
};

struct TestImage {
    int width = 0;
    int height = 0;
    int bytes_per_pixel = 1; // 1 grey, 2 grey of bits_per_sample bits, 3 colour
    int bits_per_sample = 8;
    std::vector<std::uint8_t> pixels; // file order

    int planes() const noexcept { return bytes_per_pixel == 3 ? 3 : 1; }
    int max_sample() const noexcept { return (1 << bits_per_sample) - 1; }
    std::size_t sample_count() const noexcept {
        return static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * static_cast<std::size_t>(planes());
    }
    int sample(std::size_t i) const noexcept { return sample_in(pixels, i); }
    void set_sample(std::size_t i, int value);
    // Sample i of pixel bytes laid out like this image's.
    int sample_in(std::span<const std::uint8_t> bytes, std::size_t i) const noexcept {
        return bytes_per_pixel == 2 ? bytes[2 * i] << 8 | bytes[2 * i + 1] : bytes[i];
    }
    // The largest difference between this image's samples and those of `bytes`.
    int largest_difference(std::span<const std::uint8_t> bytes) const;

    // The image as a PGM or PPM file: "P5\n<w> <h>\n<maxval>\n" or "P6\n...".
    ImageFormat pnm_format() const noexcept { return bytes_per_pixel == 3 ? ImageFormat::ppm : ImageFormat::pgm; }
    std::vector<std::uint8_t> pnm_file() const;
    std::size_t pnm_header_size() const;
};

TestImage make_image(int width, int height, int bytes_per_pixel, int bits_per_sample, Pattern pattern,
                     std::uint32_t seed = 1);

// Samples as the engines take them (vrk::StripSamples): one std::uint8_t a
// sample for 8-bit images, one std::uint16_t for deeper grey, a colour
// pixel's three samples interleaved. Sized exactly, so that a stage reading
// or writing past its strip leaves the buffer.
class SampleBuffer {
public:
    // `count` zero samples for images of `bytes_per_pixel` bytes a pixel.
    SampleBuffer(int bytes_per_pixel, std::size_t count);
    // Every sample of `image`.
    explicit SampleBuffer(const TestImage& image);

    // Samples first..first+count-1, copied.
    SampleBuffer slice(std::size_t first, std::size_t count) const;
    StripSamples samples() noexcept;

    std::size_t size() const noexcept { return wide_ ? wide_samples_.size() : narrow_samples_.size(); }
    int operator[](std::size_t i) const noexcept { return wide_ ? wide_samples_[i] : narrow_samples_[i]; }
    void set(std::size_t i, int value) noexcept;
    // The samples as an image file's pixel bytes (16-bit samples high byte first).
    std::vector<std::uint8_t> pixels() const;

    bool operator==(const SampleBuffer&) const = default;

private:
    bool wide_;
    std::vector<std::uint8_t> narrow_samples_;
    std::vector<std::uint16_t> wide_samples_;
};

} // namespace vrk::test
