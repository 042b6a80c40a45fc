// The library API over whole image files and files on disk: the same steps as
// the vrk command.
#include <vrk/vrk.hpp>

#include <string>

#include "codec/api_common.hpp"
#include "codec/codec.hpp"
#include "codec/file_codec.hpp"
#include "codec/image_formats.hpp"
#include "core/byte_io.hpp"
#include "core/error.hpp"

namespace vrk {

namespace {

// A raw layout as the command line writes it: width, height, bytes per pixel, loss factor.
std::array<std::string, 4> raw_arguments_for(const RawLayout& raw, const Options& options) {
    return {std::to_string(raw.width), std::to_string(raw.height == 0 ? raw.width : raw.height),
            std::to_string(raw.bytes_per_pixel), std::to_string(options.loss_factor)};
}

} // namespace

const char* version() noexcept { return VRK_VERSION; }

std::vector<std::uint8_t> compress_image(std::span<const std::uint8_t> image_file, ImageFormat format,
                                         const Options& options, const RawLayout& raw) {
    return guarded([&] {
        if (format < ImageFormat::raw || format > ImageFormat::ppm) fail(ErrorCode::invalid_argument);
        check_threads(options.threads);
        const std::array<std::string, 4> raw_arguments = raw_arguments_for(raw, options);
        MemorySource source(image_file);
        ImageParameters image;
        image.mode_flags = mode_flags_for(options);
        image.loss_factor = options.loss_factor;
        const std::uint32_t header_crc = read_image_parameters(source, format, raw_arguments, image);
        MemorySink sink;
        write_compressed_file(image, header_crc, source, sink, {options.threads});
        return sink.take();
    });
}

RestoredImage restore_image(std::span<const std::uint8_t> compressed) {
    return guarded([&] {
        MemorySource source(compressed);
        ImageParameters image;
        const std::uint32_t header_crc = read_compressed_parameters(source, image);
        MemorySink sink;
        sink.write_exact(image.image_header_bytes.data(), image.image_header_bytes.size());
        decode_image(image, header_crc, source, sink);
        return RestoredImage{image.format, sink.take()};
    });
}

std::string compress_file(const std::string& path, const Options& options, const RawLayout& raw, bool overwrite) {
    return guarded([&] {
        check_threads(options.threads);
        const std::array<std::string, 4> raw_arguments = raw_arguments_for(raw, options);
        FileRun run;
        run.input_path = path;
        run.detected = detect_image_format(path);
        if (run.detected.compressed) fail(ErrorCode::invalid_argument);
        run.raw_arguments = raw_arguments;
        run.mode_flags = mode_flags_for(options);
        run.loss_factor = options.loss_factor;
        run.threads = options.threads;
        run.may_overwrite = [overwrite](const std::string&) {
            if (!overwrite) fail(ErrorCode::output_exists);
            return true;
        };
        return run_file(run).output_path;
    });
}

std::string restore_file(const std::string& path, bool overwrite) {
    return guarded([&] {
        FileRun run;
        run.input_path = path;
        run.detected = detect_image_format(path);
        if (!run.detected.compressed) fail(ErrorCode::invalid_argument);
        run.may_overwrite = [overwrite](const std::string&) {
            if (!overwrite) fail(ErrorCode::output_exists);
            return true;
        };
        return run_file(run).output_path;
    });
}

} // namespace vrk
