// The in-memory library API: the same steps as the vrk command, between byte buffers.
#include <vrk/vrk.hpp>

#include <new>
#include <string>

#include "codec/codec.hpp"
#include "frontend/byte_io.hpp"
#include "frontend/error.hpp"
#include "frontend/image_formats.hpp"

namespace vrk {

namespace {

std::uint32_t mode_flags_of(const Options& options) noexcept {
    return (options.fast ? mode_fast : 0) | (options.graphics ? mode_graphics : 0);
}

std::vector<std::uint8_t> compress_with(std::span<const std::uint8_t> file, int format_index,
                                        std::span<const std::string> raw_arguments, const Options& options) {
    try {
        MemorySource source(file);
        ImageParameters image;
        image.mode_flags = mode_flags_of(options);
        image.loss_factor = options.loss_factor;
        const std::uint32_t header_crc = read_image_parameters(raw_arguments, format_index, source, image);
        MemorySink sink;
        sink.write_exact(image.container_header.data(), image.container_header.size());
        sink.write_exact(image.image_header_bytes.data(), image.image_header_bytes.size());
        encode_image(image, header_crc, source, sink);
        return sink.take();
    } catch (const std::bad_alloc&) {
        fail(ErrorCode::out_of_memory);
    }
}

} // namespace

const char* version() noexcept { return VRK_VERSION; }

std::vector<std::uint8_t> compress_image(std::span<const std::uint8_t> image_file, ImageFormat format,
                                         const Options& options, const RawLayout& raw) {
    if (format < ImageFormat::raw || format > ImageFormat::ppm || options.threads < 0)
        fail(ErrorCode::invalid_argument);
    if (format != ImageFormat::raw) return compress_with(image_file, static_cast<int>(format), {}, options);
    const int height = raw.height == 0 ? raw.width : raw.height;
    const std::string arguments[4] = {std::to_string(raw.width), std::to_string(height),
                                      std::to_string(raw.bytes_per_pixel), std::to_string(options.loss_factor)};
    return compress_with(image_file, format_raw, arguments, options);
}

RestoredImage restore_image(std::span<const std::uint8_t> compressed) {
    try {
        MemorySource source(compressed);
        ImageParameters image;
        const std::uint32_t header_crc = read_image_parameters({}, format_compressed, source, image);
        MemorySink sink;
        sink.write_exact(image.image_header_bytes.data(), image.image_header_bytes.size());
        decode_image(image, header_crc, source, sink);
        return {static_cast<ImageFormat>(image.format_index), sink.take()};
    } catch (const std::bad_alloc&) {
        fail(ErrorCode::out_of_memory);
    }
}

} // namespace vrk
