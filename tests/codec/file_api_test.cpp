// compress_file and restore_file: the vrk command's run on disk, without its
// prompt. Existing outputs, wrong directions and damaged files.
#include <vrk/vrk.hpp>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "support/expect_error.hpp"
#include "support/files.hpp"
#include "support/test_images.hpp"

namespace vrk::test {
namespace {

namespace fs = std::filesystem;

TEST(FileApi, VersionIsTheProjects) { EXPECT_STREQ(version(), VRK_PROJECT_VERSION); }

TEST(FileApi, RefusesNamesOfTheWrongKind) {
    ScratchDir dir;
    const TestImage image = make_image(40, 33, 1, 8, Pattern::photo);
    write_file(dir / "photo.pgm", image.pnm_file());
    write_file(dir / "photo.vrk", compress_image(image.pnm_file(), ImageFormat::pgm));
    write_file(dir / "photo.gif", "GIF89a");
    EXPECT_ERROR(ErrorCode::invalid_argument, [&] { compress_file((dir / "photo.vrk").string()); });
    EXPECT_ERROR(ErrorCode::invalid_argument, [&] { restore_file((dir / "photo.pgm").string()); });
    EXPECT_ERROR(ErrorCode::unsupported_image, [&] { compress_file((dir / "photo.gif").string()); });
    EXPECT_ERROR(ErrorCode::unsupported_image, [&] { restore_file((dir / "photo.gif").string()); });
    EXPECT_ERROR(ErrorCode::cannot_open_input, [&] { compress_file((dir / "missing.ppm").string()); });
    EXPECT_ERROR(ErrorCode::cannot_open_input, [&] { restore_file((dir / "missing.vrk").string()); });
}

TEST(FileApi, ExistingOutputIsKeptUnlessOverwritten) {
    ScratchDir dir;
    const TestImage image = make_image(40, 33, 3, 8, Pattern::photo);
    const Bytes compressed = compress_image(image.pnm_file(), ImageFormat::ppm, {.fast = true});
    write_file(dir / "photo.ppm", image.pnm_file());
    write_file(dir / "photo.vrk", "keep me");
    const std::string input = (dir / "photo.ppm").string();
    EXPECT_ERROR(ErrorCode::output_exists, [&] { compress_file(input, {.fast = true}); });
    EXPECT_EQ(text_of(read_file(dir / "photo.vrk")), "keep me");
    EXPECT_EQ(compress_file(input, {.fast = true}, {}, true), (dir / "photo.vrk").string());
    EXPECT_TRUE(read_file(dir / "photo.vrk") == compressed);

    write_file(dir / "photo.ppm", "keep me too");
    EXPECT_ERROR(ErrorCode::output_exists, [&] { restore_file((dir / "photo.vrk").string()); });
    EXPECT_EQ(text_of(read_file(dir / "photo.ppm")), "keep me too");
    EXPECT_EQ(restore_file((dir / "photo.vrk").string(), true), input);
    EXPECT_TRUE(read_file(dir / "photo.ppm") == image.pnm_file());
}

TEST(FileApi, OutputThatCannotBeCreated) {
    ScratchDir dir;
    write_file(dir / "photo.pgm", make_image(40, 33, 1, 8, Pattern::photo).pnm_file());
    fs::create_directory(dir / "photo.vrk");
    EXPECT_ERROR(ErrorCode::cannot_open_output, [&] { compress_file((dir / "photo.pgm").string(), {}, {}, true); });
}

TEST(FileApi, RawLayoutAndNamesAsTheCommandGivesThem) {
    ScratchDir dir;
    fs::create_directories(dir / "sub.d");
    const TestImage image = make_image(48, 40, 2, 16, Pattern::photo);
    write_file(dir / "sub.d/scan.rawx", image.pixels);
    const RawLayout layout{48, 40, 2};
    const std::string compressed = compress_file((dir / "sub.d/scan.rawx").string(), {.loss_factor = 3}, layout);
    EXPECT_EQ(compressed, (dir / "sub.d/scan.vrkx").string());
    EXPECT_TRUE(read_file(compressed) == compress_image(image.pixels, ImageFormat::raw, {.loss_factor = 3}, layout));
}

// A CRC mismatch is reported once the restored file is complete, and the
// file stays, as the vrk command leaves it.
TEST(FileApi, IncorrectCrcKeepsTheRestoredFile) {
    ScratchDir dir;
    const TestImage image = make_image(40, 33, 1, 8, Pattern::photo);
    Bytes compressed = compress_image(image.pnm_file(), ImageFormat::pgm);
    compressed[11] = 1; // the reserved header byte: read by no one, covered by the CRC
    write_file(dir / "photo.vrk", compressed);
    EXPECT_ERROR(ErrorCode::incorrect_crc, [&] { restore_file((dir / "photo.vrk").string()); });
    EXPECT_TRUE(read_file(dir / "photo.pgm") == image.pnm_file());
}

} // namespace
} // namespace vrk::test
