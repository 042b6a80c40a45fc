// File names: the extension decides the direction and the format, and the
// output goes beside the input under the name the extension table gives.
#include "formats/file_names.hpp"

#include <gtest/gtest.h>

#include <string>

#include "support/expect_error.hpp"

namespace vrk::test {
namespace {

TEST(DetectImageFormat, RecognisesTheFiveExtensions) {
    struct Case {
        const char* name;
        bool compressed;
        ImageFormat format; // unused when compressed
        std::size_t dot_position;
    } cases[] = {{"a.vrk", true, ImageFormat::raw, 1},
                 {"a.raw", false, ImageFormat::raw, 1},
                 {"dir.x/a.ras", false, ImageFormat::sun_raster, 7},
                 {"a.pgm", false, ImageFormat::pgm, 1},
                 {"a.ppm", false, ImageFormat::ppm, 1},
                 {"a.pgmx", false, ImageFormat::pgm, 1},
                 {"a.b.ppm", false, ImageFormat::ppm, 3},
                 {"scan.vrkx", true, ImageFormat::raw, 4}};
    for (const Case& c : cases) {
        const DetectedFormat detected = detect_image_format(c.name);
        EXPECT_EQ(detected.compressed, c.compressed) << c.name;
        if (!c.compressed) {
            EXPECT_EQ(detected.format, c.format) << c.name;
        }
        EXPECT_EQ(detected.dot_position, c.dot_position) << c.name;
    }
}

TEST(DetectImageFormat, RefusesOtherNames) {
    for (const char* name : {"a.gif", "noextension", "a.PGM", "a.pg", "a.pgmxx", "a.pgm.", "dir.pgm/file", ".vr"})
        EXPECT_ERROR(ErrorCode::unsupported_image, [&] { detect_image_format(name); }) << name;
}

TEST(OutputName, ReplacesTheExtensionAndKeepsAFifthCharacter) {
    const auto compressed = [](const std::string& name) {
        return compressed_file_name(name, detect_image_format(name));
    };
    const auto restored = [](const std::string& name, ImageFormat format) {
        return image_file_name(name, detect_image_format(name), format);
    };
    EXPECT_EQ(compressed("dir/photo.pgm"), "dir/photo.vrk");
    EXPECT_EQ(compressed("photo.pgmx"), "photo.vrkx");
    EXPECT_EQ(compressed("a.b.ras"), "a.b.vrk");
    EXPECT_EQ(restored("photo.vrkx", ImageFormat::pgm), "photo.pgmx");
    EXPECT_EQ(restored("a.b.vrk", ImageFormat::sun_raster), "a.b.ras");
    EXPECT_EQ(restored("a.vrk", ImageFormat::raw), "a.raw");
    EXPECT_EQ(restored("a.vrk", ImageFormat::ppm), "a.ppm");
    const std::string long_name = std::string(300, 'n') + ".raw";
    EXPECT_EQ(compressed(long_name), std::string(300, 'n') + ".vrk");
}

} // namespace
} // namespace vrk::test
