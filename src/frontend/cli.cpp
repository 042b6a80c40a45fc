#include "frontend/cli.hpp"

#include <ctime>
#include <new>

#include "codec/codec.hpp"
#include "frontend/byte_io.hpp"
#include "frontend/error.hpp"
#include "frontend/image_formats.hpp"

namespace vrk {

namespace {

constexpr int max_extra_arguments = 4;

void print_usage(std::FILE* out) {
    std::fputs("\n\t*** Encoder arguments:\n\n[-fg] file_name.ext [loss_factor (optional, from 1 to 12)]\n"
               "\t or:\n[-fg] file_name.raw width [height] [bytes/pixel] [loss_factor]\n\n",
               out);
    std::fputs("Switches: f = fast, g = graphics\n\n\n", out);
    std::fputs("\t*** Decoder arguments:\n\nfile_name.vrk\n\n\n", out);
}

// Only the switch's second and third characters count.
std::uint32_t mode_flags_of(const std::string& switch_argument) {
    std::uint32_t flags = 0;
    for (std::size_t i = 1; i <= 2 && i < switch_argument.size(); ++i) {
        if (switch_argument[i] == 'f') flags |= mode_fast;
        if (switch_argument[i] == 'g') flags |= mode_graphics;
    }
    return flags;
}

// Reads one answer line of any length; only a first character 'y' agrees.
bool user_agrees_to_overwrite(const Console& console, const std::string& name) {
    std::fprintf(console.out, "\n Overwrite file %s? (y = yes, otherwise quit) ", name.c_str());
    std::fflush(console.out);
    const int first = std::fgetc(console.in);
    for (int c = first; c != EOF && c != '\n';) c = std::fgetc(console.in);
    return first == 'y';
}

float process_milliseconds() { return static_cast<float>(std::clock()) * 1000.0f / CLOCKS_PER_SEC; }

void describe_image(const Console& console, const ImageParameters& image) {
    std::fputs(image.plane_count == 1 ? "\n Grayscale image " : "\n Color image ", console.out);
    std::fprintf(console.out, "has width %d, height %d, and %d bits/pixel\n", image.width, image.height,
                 image.bits_per_sample);
    if (image.loss_factor != 0) std::fprintf(console.out, " Lossy reproduction factor = %d\n", image.loss_factor);
}

int run(std::span<const std::string> arguments, const Console& console) {
    if (arguments.empty()) {
        print_usage(console.out);
        return 0;
    }
    const std::size_t name_position = arguments[0].starts_with('-') ? 1 : 0;
    if (name_position >= arguments.size() || arguments.size() - name_position - 1 > max_extra_arguments) {
        print_usage(console.out);
        return 0;
    }
    const std::string& name = arguments[name_position];
    const std::span<const std::string> extra = arguments.subspan(name_position + 1);
    const DetectedFormat detected = detect_image_format(name); // before any file is opened

    ImageParameters image;
    const bool encoding = detected.format_index != format_compressed;
    if (!encoding) {
        if (arguments.size() != 1) {
            print_usage(console.out);
            return 0;
        }
    } else {
        image.mode_flags = name_position == 1 ? mode_flags_of(arguments[0]) : 0;
        if (detected.format_index == format_raw ? extra.empty() : extra.size() > 1) {
            print_usage(console.out);
            return 0;
        }
        if (detected.format_index != format_raw && !extra.empty()) {
            const ParsedNumber loss = parse_number(extra[0]);
            image.loss_factor = loss.overflow ? -1 : loss.value; // beyond int: out of range, never wrapped
        }
    }

    std::FILE* input_file = FileSource::open(name);
    if (input_file == nullptr) fail(ErrorCode::cannot_open_input);
    FileSource input(input_file);
    const std::uint32_t header_crc = read_image_parameters(extra, detected.format_index, input, image);

    const std::string output_path =
        output_name(name, detected, encoding ? format_compressed : image.format_index);
    if (std::FILE* existing = FileSource::open(output_path)) {
        std::fclose(existing);
        if (!user_agrees_to_overwrite(console, output_path)) return 0;
    }
    std::FILE* output_file = FileSink::open(output_path);
    if (output_file == nullptr) fail(ErrorCode::cannot_open_output);
    FileSink output(output_file);

    if (encoding) output.write_exact(image.container_header.data(), image.container_header.size());
    output.write_exact(image.image_header_bytes.data(), image.image_header_bytes.size());

    describe_image(console, image);
    const float start = process_milliseconds();
    if (encoding) {
        const std::int64_t coded = encode_image(image, header_crc, input, output);
        const std::int64_t total = 12 + image.image_header_size() + coded;
        const double samples = static_cast<double>(image.width) * image.height * image.plane_count;
        std::fprintf(console.out, "\n Compressed file size = %ld bytes (%5.2f bits/pixel/color).\n",
                     static_cast<long>(total), static_cast<double>(total) * 8.0 / samples);
    } else {
        decode_image(image, header_crc, input, output);
    }
    std::fprintf(console.out, "\n CPU time = %5.2f s.\n", static_cast<double>((process_milliseconds() - start) * 0.001f));
    return 0;
}

} // namespace

int run_command_line(std::span<const std::string> arguments, const Console& console) {
    try {
        return run(arguments, console);
    } catch (const Error& error) {
        std::fflush(console.out);
        if (error.code() == ErrorCode::out_of_memory)
            std::fputs("\n Error: not enough memory.\n\n", console.err);
        else
            std::fprintf(console.err, "\n\a\a Error: %s.\n\n", error.what());
    } catch (const std::bad_alloc&) {
        std::fflush(console.out);
        std::fputs("\n Error: not enough memory.\n\n", console.err);
    }
    return 1;
}

} // namespace vrk
