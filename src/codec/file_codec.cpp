#include "codec/file_codec.hpp"

#include "codec/codec.hpp"
#include "codec/image_formats.hpp"
#include "core/byte_io.hpp"
#include "core/error.hpp"

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
    const std::uint32_t header_crc = encoding
                                         ? read_image_parameters(input, run.detected.format, run.raw_arguments, image)
                                         : read_compressed_parameters(input, image);

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
    if (encoding) output.write_exact(image.container_header.data(), image.container_header.size());
    output.write_exact(image.image_header_bytes.data(), image.image_header_bytes.size());
    if (run.on_start) run.on_start(image);

    if (encoding) {
        const std::int64_t coded = encode_image(image, header_crc, input, output, {run.threads});
        outcome.compressed_size = static_cast<std::int64_t>(container_header_size) + image.image_header_size() + coded;
    } else {
        decode_image(image, header_crc, input, output, {run.threads});
    }
    return outcome;
}

} // namespace vrk
