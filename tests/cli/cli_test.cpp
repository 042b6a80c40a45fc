// The vrk command as a user meets it: usage, errors, prompt and report.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>

#include "cli/cli.hpp"
#include "run_vrk.hpp"

namespace vrk::test {
namespace {

namespace fs = std::filesystem;

const std::string usage_text =
    "\n\t*** Encoder arguments:\n\n[-fg] file_name.ext [loss_factor (optional, from 1 to 12)]\n\t or:\n"
    "[-fg] file_name.raw width [height] [bytes/pixel] [loss_factor]\n\n"
    "Switches: f = fast, g = graphics\n\n\n"
    "\t*** Decoder arguments:\n\nfile_name.vrk\n\n\n";

std::string conformance_input(const std::string& name) { return read_text(test_data("conformance/inputs/" + name)); }

TEST(CommandLine, UsageCases) {
    const std::vector<std::vector<std::string>> cases = {
        {},
        {"-f"},
        {"-f", "photo.vrk"},
        {"photo.vrk", "3"},
        {"photo.raw"},
        {"-g", "photo.raw"},
        {"photo.raw", "64", "64", "1", "0", "9"},
        {"photo.pgm", "1", "2"},
        {"-fg", "photo.ppm", "1", "2"},
    };
    ScratchDir dir;
    for (const auto& arguments : cases) {
        const RunResult r = run_vrk(dir.path(), arguments);
        EXPECT_EQ(r.out, usage_text) << testing::PrintToString(arguments);
        EXPECT_EQ(r.err, "");
        EXPECT_EQ(r.status, 0);
    }
    EXPECT_TRUE(fs::is_empty(dir.path()));
}

TEST(CommandLine, ErrorsBeforeAnyFileIsOpened) {
    struct Case {
        std::vector<std::string> arguments;
        std::string message;
    } cases[] = {
        {{"picture.gif"}, "Image header or type not supported or invalid"},
        {{"picture"}, "Image header or type not supported or invalid"},
        {{"picture.PGM"}, "Image header or type not supported or invalid"},
        {{"-f", "picture.tiff", "3"}, "Image header or type not supported or invalid"},
        {{"missing.pgm"}, "Cannot open input file"},
        {{"missing.vrk"}, "Cannot open input file"},
    };
    ScratchDir dir;
    for (const Case& c : cases) {
        const RunResult r = run_vrk(dir.path(), c.arguments);
        EXPECT_EQ(r.out, "") << c.arguments[0];
        EXPECT_EQ(r.err, error_text(c.message)) << c.arguments[0];
        EXPECT_EQ(r.status, 1);
    }
    EXPECT_TRUE(fs::is_empty(dir.path())) << "no file may be created";
}

TEST(CommandLine, NumbersFollowTheStandardConversion) {
    struct Case {
        const char* text;
        int value;
        bool overflow;
    } cases[] = {{"12", 12, false},
                 {"  7", 7, false},
                 {"+5", 5, false},
                 {"-1", -1, false},
                 {"abc", 0, false},
                 {"3abc", 3, false},
                 {"", 0, false},
                 {"- 3", 0, false},
                 {"2147483647", INT_MAX, false},
                 {"-2147483648", INT_MIN, false},
                 {"2147483648", 0, true},
                 {"-2147483649", 0, true},
                 {"99999999999999999999999", 0, true}};
    for (const Case& c : cases) {
        const ParsedNumber parsed = parse_number(c.text);
        EXPECT_EQ(parsed.overflow, c.overflow) << c.text;
        if (!c.overflow) {
            EXPECT_EQ(parsed.value, c.value) << c.text;
        }
    }
}

TEST(CommandLine, ParameterErrorsCreateNoOutput) {
    ScratchDir dir;
    write_file(dir / "photo.pgm", conformance_input("g8-photo.pgm"));
    write_file(dir / "small.pgm", "P5\n31 40\n255\n" + std::string(31 * 40, 'x'));
    write_file(dir / "data.raw", std::string(64 * 64, 'x'));
    struct Case {
        std::vector<std::string> arguments;
        std::string message;
    } cases[] = {
        {{"photo.pgm", "13"}, "Invalid image parameters"},
        {{"photo.pgm", "-1"}, "Invalid image parameters"},
        {{"photo.pgm", "99999999999"}, "Invalid image parameters"},
        {{"small.pgm"}, "Invalid image dimension (<32)"},
        {{"data.raw", "64", "64", "4"}, "Invalid image parameters"},
        {{"data.raw", "64", "64", "0"}, "Invalid image parameters"},
        {{"data.raw", "4294967360"}, "Invalid image parameters"}, // would wrap to 64
        {{"data.raw", "64", "64", "4294967297"}, "Invalid image parameters"},
        {{"data.raw", "31", "99999999999"}, "Invalid image parameters"}, // a number beyond int comes first
        {{"data.raw", "70000", "32"}, "Invalid image parameters"},
        {{"data.raw", "31"}, "Invalid image dimension (<32)"},
        {{"data.raw", "abc"}, "Invalid image dimension (<32)"},
        {{"data.raw", "64", "0"}, "Invalid image dimension (<32)"}, // a height of 0 is no default here
        {{"missing.raw", "64", "99999999999"}, "Cannot open input file"},
    };
    for (const Case& c : cases) {
        const RunResult r = run_vrk(dir.path(), c.arguments);
        EXPECT_EQ(r.err, error_text(c.message)) << testing::PrintToString(c.arguments);
        EXPECT_EQ(r.status, 1);
    }
    EXPECT_FALSE(fs::exists(dir / "photo.vrk"));
    EXPECT_FALSE(fs::exists(dir / "small.vrk"));
    EXPECT_FALSE(fs::exists(dir / "data.vrk"));
}

TEST(CommandLine, CompressedHeadersNoEncoderWritesAreRefusedBeforeOutput) {
    ScratchDir dir;
    struct Case {
        std::string header;
        std::string message;
    } cases[] = {
        {std::string("\xF4\x1B\x01\x00\x00\x40\x00\x40\x00\x00\x00\x00", 12), "Invalid compressed file"}, // format 0
        {std::string("\xF4\x1B\x15\x00\x00\x40\x00\x40\x00\x00\x00\x00", 12), "Invalid compressed file"}, // format 5
        {std::string("\xF4\x1B\x04\x00\x00\x40\x00\x40\x00\x00\x00\x00", 12), "Invalid compressed file"}, // 0 bytes
        {std::string("\xF4\x1B\x05\x00\x00\x40\x00\x40\x00\x00\x07\x00", 12), "Invalid compressed file"}, // mode 7
        {std::string("\xF4\x1C\x05\x00\x00\x40\x00\x40\x00\x00\x00\x00", 12), "Invalid compressed file"}, // magic
        {std::string("\xF4\x1B\x05\x00\x00\x40\x00", 7), "Cannot read from file"},
        {std::string("\x00\x00\x05\x00\x00\x40", 6), "Cannot read from file"},
        {std::string("\xF4\x1B\x05\x00\x00\x1F\x00\x40\x00\x00\x00\x00", 12), "Invalid image dimension (<32)"},
    };
    for (const Case& c : cases) {
        write_file(dir / "image.vrk", c.header);
        const RunResult r = run_vrk(dir.path(), {"image.vrk"});
        EXPECT_EQ(r.err, error_text(c.message));
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.status, 1);
        EXPECT_FALSE(fs::exists(dir / "image.raw"));
        EXPECT_FALSE(fs::exists(dir / "image.vrk.vrk"));
    }
}

TEST(CommandLine, SwitchArgumentOnlyCountsItsSecondAndThirdCharacters) {
    struct Case {
        const char* switch_argument;
        char mode_byte;
    } cases[] = {{"-f", 1}, {"-g", 2},  {"-fg", 3},  {"-gf", 3}, {"-ff", 1},
                 {"-x", 0}, {"-xg", 2}, {"-xxg", 0}, {"-", 0}};
    ScratchDir dir;
    for (const Case& c : cases) {
        write_file(dir / "photo.pgm", conformance_input("g8-photo.pgm"));
        std::filesystem::remove(dir / "photo.vrk");
        const RunResult r = run_vrk(dir.path(), {c.switch_argument, "photo.pgm"});
        EXPECT_EQ(r.status, 0) << c.switch_argument << r.err;
        const std::string compressed = read_text(dir / "photo.vrk");
        ASSERT_GE(compressed.size(), 12u);
        EXPECT_EQ(compressed[10], c.mode_byte) << c.switch_argument;
    }
}

TEST(CommandLine, ReportOfEncodingAndDecoding) {
    ScratchDir dir;
    const std::string original = conformance_input("g8-photo.pgm");
    write_file(dir / "photo.pgm", original);
    RunResult r = run_vrk(dir.path(), {"photo.pgm"});
    ASSERT_EQ(r.status, 0) << r.err;
    const auto size = fs::file_size(dir / "photo.vrk");
    char size_line[128];
    std::snprintf(size_line, sizeof size_line, "\n Compressed file size = %ld bytes (%5.2f bits/pixel/color).\n",
                  static_cast<long>(size), size * 8.0 / (64 * 48));
    EXPECT_EQ(without_cpu_time(r.out), "\n Grayscale image has width 64, height 48, and 8 bits/pixel\n" +
                                           std::string(size_line) + "\n CPU time = T s.\n");
    EXPECT_EQ(r.err, "");

    fs::rename(dir / "photo.pgm", dir / "original.pgm");
    r = run_vrk(dir.path(), {"photo.vrk"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(without_cpu_time(r.out),
              "\n Grayscale image has width 64, height 48, and 8 bits/pixel\n\n CPU time = T s.\n");
    EXPECT_EQ(read_text(dir / "photo.pgm"), original);
}

TEST(CommandLine, LossFactorLineAndLettersAsLossFactor) {
    ScratchDir dir;
    write_file(dir / "photo.ppm", conformance_input("rgb-photo.ppm"));
    RunResult r = run_vrk(dir.path(), {"photo.ppm", "3"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(r.out.starts_with("\n Color image has width ")) << r.out;
    EXPECT_NE(r.out.find("and 8 bits/pixel\n Lossy reproduction factor = 3\n\n Compressed file size = "),
              std::string::npos)
        << r.out;
    EXPECT_EQ(read_text(dir / "photo.vrk")[3], 0x30);

    fs::remove(dir / "photo.vrk");
    r = run_vrk(dir.path(), {"photo.ppm", "abc"}); // converts to 0: lossless
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.find("Lossy"), std::string::npos);
    EXPECT_EQ(read_text(dir / "photo.vrk")[3], 0x00);
}

TEST(CommandLine, OverwritePrompt) {
    ScratchDir dir;
    write_file(dir / "photo.pgm", conformance_input("g8-photo.pgm"));
    const std::string prompt = "\n Overwrite file photo.vrk? (y = yes, otherwise quit) ";
    const std::vector<std::string> refusals = {"Y\n", "\n", "n\n", "", std::string(100000, 'x')};
    for (const std::string& answer : refusals) {
        write_file(dir / "photo.vrk", "keep me");
        const RunResult r = run_vrk(dir.path(), {"photo.pgm"}, &answer);
        EXPECT_EQ(r.out, prompt);
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(read_text(dir / "photo.vrk"), "keep me");
    }
    const std::string yes = "yes, please\n";
    const RunResult r = run_vrk(dir.path(), {"photo.pgm"}, &yes);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(r.out.starts_with(prompt + "\n Grayscale image has width 64")) << r.out;
    EXPECT_NE(read_text(dir / "photo.vrk"), "keep me");
}

TEST(CommandLine, FifthExtensionCharacterAndDirectoriesAreKept) {
    ScratchDir dir;
    fs::create_directories(dir / "sub.d");
    const std::string original = conformance_input("g8-shapes.pgm");
    write_file(dir / "sub.d/shapes.pgmx", original);
    ASSERT_EQ(run_vrk(dir.path(), {"sub.d/shapes.pgmx"}).status, 0);
    ASSERT_TRUE(fs::exists(dir / "sub.d/shapes.vrkx"));
    fs::remove(dir / "sub.d/shapes.pgmx");
    ASSERT_EQ(run_vrk(dir.path(), {"sub.d/shapes.vrkx"}).status, 0);
    EXPECT_EQ(read_text(dir / "sub.d/shapes.pgmx"), original);
}

TEST(CommandLine, LongFileNamesWork) {
    ScratchDir dir;
    const std::string stem(200, 'n');
    write_file(dir / (stem + ".pgm"), conformance_input("g8-shapes.pgm"));
    const RunResult r = run_vrk(dir.path(), {stem + ".pgm"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(fs::exists(dir / (stem + ".vrk")));
}

TEST(CommandLine, DamagedCompressedFiles) {
    ScratchDir dir;
    write_file(dir / "photo.pgm", conformance_input("g8-photo.pgm"));
    ASSERT_EQ(run_vrk(dir.path(), {"photo.pgm"}).status, 0);
    const std::string compressed = read_text(dir / "photo.vrk");
    fs::remove(dir / "photo.pgm");

    // Bytes after the trailing CRC word are never looked at.
    write_file(dir / "photo.vrk", compressed + "extra bytes");
    RunResult r = run_vrk(dir.path(), {"photo.vrk"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(read_text(dir / "photo.pgm"), conformance_input("g8-photo.pgm"));
    fs::remove(dir / "photo.pgm");

    // The reserved header byte is covered by the CRC; the restored file stays.
    std::string reserved = compressed;
    reserved[11] = 1;
    write_file(dir / "photo.vrk", reserved);
    r = run_vrk(dir.path(), {"photo.vrk"});
    EXPECT_EQ(r.err, error_text("Incorrect image CRC"));
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(read_text(dir / "photo.pgm"), conformance_input("g8-photo.pgm"));
    fs::remove(dir / "photo.pgm");

    // Cut anywhere, the file cannot be read.
    for (std::size_t length : {compressed.size() - 1, compressed.size() - 4, compressed.size() / 2, std::size_t{30}}) {
        write_file(dir / "photo.vrk", compressed.substr(0, length));
        r = run_vrk(dir.path(), {"photo.vrk"});
        EXPECT_EQ(r.err, error_text("Cannot read from file")) << length;
        EXPECT_EQ(r.status, 1);
        fs::remove(dir / "photo.pgm");
    }
}

TEST(CommandLine, PixelCountMustMatchTheHeader) {
    ScratchDir dir;
    const std::string original = conformance_input("g8-photo.pgm");
    for (const char* mode : {"-x", "-g"}) {
        write_file(dir / "long.pgm", original + "\n");
        RunResult r = run_vrk(dir.path(), {mode, "long.pgm"});
        EXPECT_EQ(r.err, error_text("image is larger than specified dimension")) << mode;
        EXPECT_EQ(r.status, 1);
        EXPECT_TRUE(fs::exists(dir / "long.vrk")); // the partial output stays
        write_file(dir / "short.pgm", original.substr(0, original.size() - 1));
        r = run_vrk(dir.path(), {mode, "short.pgm"});
        EXPECT_EQ(r.err, error_text("Cannot read from file")) << mode;
        EXPECT_EQ(r.status, 1);
        fs::remove(dir / "long.vrk");
        fs::remove(dir / "short.vrk");
    }
}

// A sample of the damage sweep that the library tests run in full, here through the binary:
// status 1 with one of the messages, or status 0 with the exact image.
TEST(CommandLine, DamagedFilesThroughTheBinary) {
    ScratchDir dir;
    const std::string original = conformance_input("g8-shapes.pgm");
    const std::vector<std::string> allowed = {
        error_text("Cannot read from file"), error_text("Incorrect image CRC"), error_text("Invalid compressed file"),
        error_text("Invalid image dimension (<32)"), error_text("Invalid image parameters")};
    for (const char* mode : {"-x", "-f", "-g", "-fg"}) {
        write_file(dir / "shapes.pgm", original);
        fs::remove(dir / "shapes.vrk");
        ASSERT_EQ(run_vrk(dir.path(), {mode, "shapes.pgm"}).status, 0);
        const std::string compressed = read_text(dir / "shapes.vrk");
        for (std::size_t position = 0; position < compressed.size(); position += 37) {
            std::string damaged = compressed;
            damaged[position] = static_cast<char>(damaged[position] ^ (1 << (position % 8)));
            write_file(dir / "shapes.vrk", damaged);
            fs::remove(dir / "shapes.pgm");
            const RunResult r = run_vrk(dir.path(), {"shapes.vrk"});
            if (r.status == 0) {
                EXPECT_EQ(read_text(dir / "shapes.pgm"), original) << mode << " byte " << position;
            } else {
                EXPECT_EQ(r.status, 1);
                EXPECT_NE(std::find(allowed.begin(), allowed.end(), r.err), allowed.end())
                    << mode << " byte " << position << ": " << r.err;
            }
        }
        // A cut file fails to read, and what was restored so far stays.
        write_file(dir / "shapes.vrk", compressed.substr(0, compressed.size() / 2));
        fs::remove(dir / "shapes.pgm");
        const RunResult r = run_vrk(dir.path(), {"shapes.vrk"});
        EXPECT_EQ(r.err, error_text("Cannot read from file"));
        EXPECT_TRUE(fs::exists(dir / "shapes.pgm"));
    }
}

} // namespace
} // namespace vrk::test
