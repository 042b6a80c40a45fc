#include "formats/file_run.hpp"

#include "codec/api_common.hpp"
#include "codec/compressed_stream.hpp"
#include "core/byte_io.hpp"
#include "core/error.hpp"
#include "formats/image_file_codec.hpp"

namespace vrk {

FileOutcome run_file(const FileRun& run) {
    FileOutcome outcome;
    ImageParameters& image = outcome.image;
    const bool encoding = !run.detected.compressed;
    if (encoding) {
        image.mode_flags = run.mode_flags;
        image.loss_factor = run.loss_factor;
    }

    std::FILE* input_file = FileSource::open(run.input_path);
    if (input_file == nullptr) fail(ErrorCode::cannot_open_input);
    FileSource input(input_file);
    CompressedReader compressed(input);
    std::uint32_t header_crc = 0;
    if (encoding) {
        const bool raw = run.detected.format == ImageFormat::raw;
        header_crc = read_image_parameters(input, run.detected.format, raw ? run.raw_shape() : RawShape{}, image);
    } else {
        header_crc = compressed.read_headers(image);
        check_pixel_limit(image, run.max_pixels);
    }

    outcome.output_path = encoding ? compressed_file_name(run.input_path, run.detected)
                                   : image_file_name(run.input_path, run.detected, image.format);
    if (std::FILE* existing = FileSource::open(outcome.output_path)) {
        std::fclose(existing);
        if (!run.may_overwrite(outcome.output_path)) return outcome;
    }
    std::FILE* output_file = FileSink::open(outcome.output_path);
    if (output_file == nullptr) fail(ErrorCode::cannot_open_output);
    FileSink output(output_file);
    outcome.written = true;

    // The headers go out before the report starts, so a write failure here comes before the description.
    if (encoding) {
        CompressedWriter writer(output);
        writer.write_headers(image);
        if (run.on_start) run.on_start(image);
        outcome.compressed_size = encode_image_file(image, header_crc, input, writer, run.threads);
    } else {
        output.write_exact(image.image_header_bytes.data(), image.image_header_bytes.size());
        if (run.on_start) run.on_start(image);
        decode_image_file(image, header_crc, compressed, output, run.threads);
    }
    return outcome;
}

} // namespace vrk
