#include "cli/cli.hpp"

#include <algorithm>
#include <cctype>
#include <climits>
#include <ctime>
#include <new>

#include "core/error.hpp"
#include "formats/file_run.hpp"

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
std::uint32_t switch_flags(const std::string& switch_argument) {
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
    std::fputs(image.plane_count() == 1 ? "\n Grayscale image " : "\n Color image ", console.out);
    std::fprintf(console.out, "has width %d, height %d, and %d bits/pixel\n", image.width, image.height,
                 image.bits_per_sample);
    if (image.loss_factor != 0) std::fprintf(console.out, " Lossy reproduction factor = %d\n", image.loss_factor);
}

// A .raw file's width [height] [bytes/pixel] [loss factor] as written; the
// height defaults to the width. A number beyond int is "Invalid image
// parameters".
RawShape raw_shape_of(std::span<const std::string> arguments) {
    int numbers[4] = {0, 0, 1, 0};
    for (std::size_t i = 0; i < arguments.size() && i < 4; ++i) {
        const ParsedNumber parsed = parse_number(arguments[i]);
        if (parsed.overflow) fail(ErrorCode::invalid_parameters);
        numbers[i] = parsed.value;
    }
    return {numbers[0], arguments.size() >= 2 ? numbers[1] : numbers[0], numbers[2], numbers[3]};
}

int run(std::span<const std::string> arguments, const Console& console, int threads) {
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
    FileRun file;
    file.input_path = name;
    file.threads = threads;
    file.detected = detect_image_format(name); // before any file is opened
    if (file.detected.compressed) {
        if (arguments.size() != 1) {
            print_usage(console.out);
            return 0;
        }
    } else {
        const bool raw = file.detected.format == ImageFormat::raw;
        file.mode_flags = name_position == 1 ? switch_flags(arguments[0]) : 0;
        if (raw ? extra.empty() : extra.size() > 1) {
            print_usage(console.out);
            return 0;
        }
        if (raw) {
            // Read once the input has opened, so that a missing file is reported first.
            file.raw_shape = [extra] { return raw_shape_of(extra); };
        } else if (!extra.empty()) {
            const ParsedNumber loss = parse_number(extra[0]);
            file.loss_factor = loss.overflow ? -1 : loss.value; // beyond int: out of range, never wrapped
        }
    }

    float start = 0;
    file.may_overwrite = [&console](const std::string& output) { return user_agrees_to_overwrite(console, output); };
    file.on_start = [&](const ImageParameters& image) {
        describe_image(console, image);
        start = process_milliseconds();
    };
    const FileOutcome outcome = run_file(file);
    if (!outcome.written) return 0;
    if (!file.detected.compressed) {
        const ImageParameters& image = outcome.image;
        const double samples = static_cast<double>(image.width) * image.height * image.plane_count();
        std::fprintf(console.out, "\n Compressed file size = %ld bytes (%5.2f bits/pixel/color).\n",
                     static_cast<long>(outcome.compressed_size),
                     static_cast<double>(outcome.compressed_size) * 8.0 / samples);
    }
    std::fprintf(console.out, "\n CPU time = %5.2f s.\n",
                 static_cast<double>((process_milliseconds() - start) * 0.001f));
    return 0;
}

} // namespace

ParsedNumber parse_number(const std::string& text) noexcept {
    std::size_t i = 0;
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    long long magnitude = 0;
    bool overflow = false;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        magnitude = magnitude * 10 + (text[i] - '0');
        if (magnitude > 1LL + INT_MAX) {
            overflow = true;
            magnitude = 1LL + INT_MAX; // keeps accumulating without wrapping
        }
    }
    const long long value = negative ? -magnitude : magnitude;
    if (value > INT_MAX || value < INT_MIN) overflow = true;
    return {overflow ? 0 : static_cast<int>(value), overflow};
}

int threads_setting(const char* value) noexcept {
    if (value == nullptr || *value == '\0') return 0;
    int threads = 0;
    for (const char* c = value; *c != '\0'; ++c) {
        if (*c < '0' || *c > '9') return 0;
        threads = std::min(threads * 10 + (*c - '0'), 1000);
    }
    return threads;
}

int run_command_line(std::span<const std::string> arguments, const Console& console, int threads) {
    try {
        return run(arguments, console, threads);
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
