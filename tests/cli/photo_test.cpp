// Real photographs through the vrk binary: every engine and coder restores
// them byte for byte, near-lossless coding keeps its bound, and lossy coding
// loses more as the loss factor grows.
#include <gtest/gtest.h>

#include <cmath>

#include "core/byte_io.hpp"
#include "formats/image_formats.hpp"
#include "run_vrk.hpp"

namespace vrk::test {
namespace {

namespace fs = std::filesystem;

const fs::path photo_dir = "/usr/share/libjxl-testdata/jxl/flower";

#define SKIP_WITHOUT_PHOTOS()                                                                                          \
    if (!fs::exists(photo_dir))                                                                                        \
    GTEST_SKIP() << "real photographs need Debian's libjxl-testdata (apt-get install libjxl-testdata)"

struct Samples {
    int bytes_per_pixel = 0;
    std::vector<int> values;
};

Samples samples_of(const std::string& file) {
    std::vector<std::uint8_t> bytes(file.begin(), file.end());
    MemorySource source(bytes);
    ImageParameters image;
    read_image_parameters(source, ImageFormat::pgm, {}, image);
    Samples samples{image.bytes_per_pixel, {}};
    for (std::size_t i = static_cast<std::size_t>(image.image_header_size()); i < bytes.size();) {
        if (image.bytes_per_pixel == 2) {
            samples.values.push_back(bytes[i] << 8 | bytes[i + 1]);
            i += 2;
        } else {
            samples.values.push_back(bytes[i++]);
        }
    }
    return samples;
}

int largest_error(const Samples& a, const Samples& b) {
    int worst = 0;
    for (std::size_t i = 0; i < a.values.size(); ++i) worst = std::max(worst, std::abs(a.values[i] - b.values[i]));
    return worst;
}

double psnr(const Samples& a, const Samples& b, int bits) {
    double squares = 0;
    for (std::size_t i = 0; i < a.values.size(); ++i) {
        const double d = a.values[i] - b.values[i];
        squares += d * d;
    }
    if (squares == 0) return 999.0;
    const double peak = (1 << bits) - 1;
    return 10 * std::log10(peak * peak * a.values.size() / squares);
}

// Compresses `name` (copied into a scratch folder) and restores it; returns the restored file.
std::string compress_and_restore(const ScratchDir& dir, const std::string& name, const std::string& original,
                                 const std::vector<std::string>& arguments) {
    const std::string stem = fs::path(name).stem().string(), extension = fs::path(name).extension().string();
    write_file(dir / name, original);
    fs::remove(dir / (stem + ".vrk"));
    RunResult r = run_vrk(dir.path(), arguments);
    EXPECT_EQ(r.status, 0) << r.err;
    fs::remove(dir / name);
    r = run_vrk(dir.path(), {stem + ".vrk"});
    EXPECT_EQ(r.status, 0) << r.err;
    return read_text(dir / name);
}

struct Photo {
    const char* file;
    const char* name; // as compressed
    int bits;
};
const Photo photos[] = {
    {"flower_small.g.depth8.pgm", "grey8.pgm", 8},
    {"flower_small.g.depth10.pgm", "grey10.pgm", 10},
    {"flower_small.g.depth12.pgm", "grey12.pgm", 12},
    {"flower_small.g.depth16.pgm", "grey16.pgm", 16},
    {"flower_small.rgb.depth8.ppm", "colour.ppm", 8},
    {"flower.pgm", "flower.pgm", 8},
    {"flower.pnm", "flower.ppm", 8},
};
const char* const switches[] = {"-x", "-f", "-g", "-fg"};

TEST(Photographs, LosslessInEveryMode) {
    SKIP_WITHOUT_PHOTOS();
    ScratchDir dir;
    for (const Photo& photo : photos) {
        const std::string original = read_text(photo_dir / photo.file);
        for (const char* mode : switches)
            EXPECT_TRUE(compress_and_restore(dir, photo.name, original, {mode, photo.name}) == original)
                << photo.file << " " << mode;
    }
}

TEST(Photographs, NearLosslessStaysWithinTheLossFactor) {
    SKIP_WITHOUT_PHOTOS();
    ScratchDir dir;
    for (const Photo& photo : photos) {
        if (std::string(photo.file).starts_with("flower.")) continue; // the small ones suffice here
        const std::string original = read_text(photo_dir / photo.file);
        const Samples before = samples_of(original);
        for (const char* mode : {"-g", "-fg"})
            for (int loss : {1, 2, 3, 7, 12}) {
                const std::string restored =
                    compress_and_restore(dir, photo.name, original, {mode, photo.name, std::to_string(loss)});
                EXPECT_LE(largest_error(before, samples_of(restored)), loss)
                    << photo.file << " " << mode << " " << loss;
            }
    }
}

TEST(Photographs, LossyQualityFallsAsTheLossFactorGrows) {
    SKIP_WITHOUT_PHOTOS();
    ScratchDir dir;
    for (const Photo& photo : photos) {
        if (std::string(photo.file).starts_with("flower.")) continue;
        const std::string original = read_text(photo_dir / photo.file);
        const Samples before = samples_of(original);
        for (const char* mode : {"-x", "-f"}) {
            std::vector<double> quality;
            for (int loss : {0, 2, 4, 8, 12}) {
                const std::string restored =
                    compress_and_restore(dir, photo.name, original, {mode, photo.name, std::to_string(loss)});
                quality.push_back(psnr(before, samples_of(restored), photo.bits));
            }
            for (std::size_t i = 1; i < quality.size(); ++i)
                EXPECT_LE(quality[i], quality[i - 1]) << photo.file << " " << mode << " step " << i;
            EXPECT_LT(quality.back(), quality[1]) << photo.file << " " << mode;
        }
    }
}

} // namespace
} // namespace vrk::test
