// The PNM and Sun raster header readers on arbitrary bytes.
#include <cstddef>
#include <cstdint>

#include "core/byte_io.hpp"
#include "core/error.hpp"
#include "formats/image_formats.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const auto format = static_cast<vrk::ImageFormat>(static_cast<int>(vrk::ImageFormat::sun_raster) + data[0] % 3);
    vrk::MemorySource source({data + 1, size - 1});
    vrk::ImageParameters image;
    try {
        vrk::read_image_parameters(source, format, {}, image);
        if (image.image_header_size() > 65535 || image.width > 65535 || image.height > 65535) __builtin_trap();
    } catch (const vrk::Error&) {
    }
    return 0;
}
