#include "formats/file_names.hpp"

#include "core/error.hpp"

namespace vrk {

namespace {

// Entry 0 is the compressed file; entry i the image format numbered i.
constexpr const char* extension_table = ".vrk.raw.ras.pgm.ppm";
constexpr int extension_count = 5;

std::string with_extension(const std::string& name, const DetectedFormat& detected, int entry) {
    std::string output = name;
    output.replace(detected.dot_position, 4, extension_table + 4 * entry, 4);
    return output;
}

} // namespace

DetectedFormat detect_image_format(const std::string& name) {
    const std::size_t dot = name.rfind('.');
    if (dot == std::string::npos) fail(ErrorCode::unsupported_image);
    const std::size_t length = name.size() - dot;
    if (length != 4 && length != 5) fail(ErrorCode::unsupported_image);
    for (int entry = 0; entry < extension_count; ++entry) {
        if (name.compare(dot, 4, extension_table + 4 * entry, 4) == 0)
            return {entry == 0, entry == 0 ? ImageFormat::raw : static_cast<ImageFormat>(entry), dot};
    }
    fail(ErrorCode::unsupported_image);
}

std::string compressed_file_name(const std::string& name, const DetectedFormat& detected) {
    return with_extension(name, detected, 0);
}

std::string image_file_name(const std::string& name, const DetectedFormat& detected, ImageFormat format) {
    return with_extension(name, detected, static_cast<int>(format));
}

} // namespace vrk
