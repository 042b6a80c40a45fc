// The known-good vectors of tests/data/conformance/cases.tsv: for each row,
// the input image, the vrk command that compressed it, the compressed file
// and what restoring that file gives. The compressed file's parameters come
// from the real reader (CompressedReader), as a decoder sees them.
#pragma once

#include <cstdint>
#include <ostream>
#include <span>
#include <string>
#include <vector>

#include <vrk/vrk.hpp>

#include "core/image_parameters.hpp"

namespace vrk::test {

struct ConformanceCase {
    std::string name;                     // the compressed file's stem, e.g. "g8-photo.n5"
    std::string input_name;               // the input's file name, e.g. "g8-photo.pgm"
    std::vector<std::string> arguments;   // the vrk command's arguments (after its name)
    std::vector<std::uint8_t> input;      // the image file
    std::vector<std::uint8_t> compressed; // the known-good compressed file
    std::vector<std::uint8_t> decoded;    // the restored image file: the input itself when lossless
    ImageParameters image;
    std::uint32_t header_crc = 0;
    std::string load_error; // empty when every file was read and the compressed header was accepted

    // The compressed file after its two headers: the strip records and the CRC word.
    std::span<const std::uint8_t> strip_records() const;
    std::uint32_t image_crc() const; // the trailing CRC word
    std::span<const std::uint8_t> input_pixels() const;
    std::span<const std::uint8_t> decoded_pixels() const;
    // What the library needs to write the same file.
    ImageFormat format() const noexcept { return image.format; }
    Options options() const noexcept;
    RawLayout raw_layout() const noexcept;
};

// Every row of the table, in order.
const std::vector<ConformanceCase>& conformance_cases();
// The rows of one engine.
std::vector<ConformanceCase> conformance_cases(bool graphics);

void PrintTo(const ConformanceCase& c, std::ostream* os);
// A test name: the case's name with every other character than a letter or digit as '_'.
std::string test_name_of(const ConformanceCase& c);

} // namespace vrk::test
