// The library's image-file functions: the same steps as the vrk command.
#include "formats/image_api.hpp"

#include "codec/api_common.hpp"
#include "codec/compressed_stream.hpp"
#include "core/error.hpp"
#include "formats/file_run.hpp"
#include "formats/image_file_codec.hpp"
#include "formats/image_formats.hpp"

namespace vrk::lib {

namespace {

// The library's raw layout: a height of 0 means as high as wide; the loss
// factor comes with the options.
RawShape raw_shape_of(const RawLayout& raw, const Options& options) noexcept {
    return {raw.width, raw.height == 0 ? raw.width : raw.height, raw.bytes_per_pixel, options.loss_factor};
}

// An existing output is the caller's to allow.
bool overwrite_or_fail(bool overwrite) {
    if (!overwrite) fail(ErrorCode::output_exists);
    return true;
}

} // namespace

std::uint64_t compress_image(std::span<const std::uint8_t> image_file, ImageFormat format, const Options& options,
                             const RawLayout& raw, ByteSink& out) {
    if (format < ImageFormat::raw || format > ImageFormat::ppm) fail(ErrorCode::invalid_argument);
    check_threads(options.threads);
    MemorySource source(image_file);
    ImageParameters image;
    image.mode_flags = mode_flags_for(options);
    image.loss_factor = options.loss_factor;
    const std::uint32_t header_crc = read_image_parameters(source, format, raw_shape_of(raw, options), image);
    CompressedWriter writer(out);
    writer.write_headers(image);
    return encode_image_file(image, header_crc, source, writer, options.threads);
}

ImageFormat restore_image(std::span<const std::uint8_t> compressed, ByteSink& out, const DecodeOptions& options) {
    MemorySource source(compressed);
    CompressedReader reader(source);
    ImageParameters image;
    const std::uint32_t header_crc = reader.read_headers(image);
    check_decode_options(image, options);
    out.write_exact(image.image_header_bytes.data(), image.image_header_bytes.size());
    decode_image_file(image, header_crc, reader, out, options.threads);
    return image.format;
}

std::string compress_file(const std::string& path, const Options& options, const RawLayout& raw, bool overwrite) {
    check_threads(options.threads);
    FileRun run;
    run.input_path = path;
    run.detected = detect_image_format(path);
    if (run.detected.compressed) fail(ErrorCode::invalid_argument);
    run.raw_shape = [&] { return raw_shape_of(raw, options); };
    run.mode_flags = mode_flags_for(options);
    run.loss_factor = options.loss_factor;
    run.threads = options.threads;
    run.may_overwrite = [overwrite](const std::string&) { return overwrite_or_fail(overwrite); };
    return run_file(run).output_path;
}

std::string restore_file(const std::string& path, bool overwrite, const DecodeOptions& options) {
    check_threads(options.threads);
    FileRun run;
    run.input_path = path;
    run.detected = detect_image_format(path);
    if (!run.detected.compressed) fail(ErrorCode::invalid_argument);
    run.threads = options.threads;
    run.max_pixels = options.max_pixels;
    run.may_overwrite = [overwrite](const std::string&) { return overwrite_or_fail(overwrite); };
    return run_file(run).output_path;
}

} // namespace vrk::lib
