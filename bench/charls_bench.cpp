// charls_bench: the CharLS (JPEG-LS) peer for bench/run_benchmark.py.
//
//   charls_bench encode input.pgm|input.ppm output.jls   lossless JPEG-LS, colour sample-interleaved
//   charls_bench decode input.jls output.pgm|output.ppm
//
// Reads and writes binary PNM (P5 grey, P6 colour), 8-bit or 9..16-bit (two bytes per sample, high byte
// first). A maxval that is not 2^bits - 1 is carried in the JPEG-LS preset coding parameters, so the
// decoded file has the same maxval as the input. Each call is one process so that the benchmark times
// the whole of it: reading the file, coding and writing the result. Built by run_benchmark.py with
//   g++ -O2 -std=c++20 charls_bench.cpp -lcharls
#include <charls/charls.h>

#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <exception>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

std::vector<std::uint8_t> read_file(const char* path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error(std::string("cannot open ") + path);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void write_file(const char* path, const std::uint8_t* data, std::size_t size) {
    std::FILE* out = std::fopen(path, "wb");
    if (out == nullptr) throw std::runtime_error(std::string("cannot create ") + path);
    const bool ok = std::fwrite(data, 1, size, out) == size;
    if (std::fclose(out) != 0 || !ok) throw std::runtime_error(std::string("cannot write ") + path);
}

struct pnm_image {
    int width = 0, height = 0, components = 0, maxval = 0;
    std::size_t data_offset = 0; // where the samples start in the file buffer
};

pnm_image parse_pnm(const std::vector<std::uint8_t>& file) {
    if (file.size() < 2 || file[0] != 'P' || (file[1] != '5' && file[1] != '6'))
        throw std::runtime_error("not a binary PGM or PPM file");
    pnm_image image;
    image.components = file[1] == '5' ? 1 : 3;
    std::size_t pos = 2;
    long numbers[3];
    for (long& number : numbers) {
        for (;;) {
            while (pos < file.size() && std::isspace(file[pos])) ++pos;
            if (pos < file.size() && file[pos] == '#')
                while (pos < file.size() && file[pos] != '\n' && file[pos] != '\r') ++pos;
            else
                break;
        }
        if (pos >= file.size() || !std::isdigit(file[pos])) throw std::runtime_error("bad PNM header");
        number = 0;
        while (pos < file.size() && std::isdigit(file[pos]) && number < 1000000)
            number = number * 10 + (file[pos++] - '0');
    }
    if (pos >= file.size() || !std::isspace(file[pos])) throw std::runtime_error("bad PNM header");
    ++pos; // the single whitespace character after maxval
    image.width = static_cast<int>(numbers[0]);
    image.height = static_cast<int>(numbers[1]);
    image.maxval = static_cast<int>(numbers[2]);
    if (image.width < 1 || image.height < 1 || image.maxval < 1 || image.maxval > 65535)
        throw std::runtime_error("unsupported PNM dimensions or maxval");
    image.data_offset = pos;
    return image;
}

int bits_for(int maxval) {
    int bits = 1;
    while ((1 << bits) - 1 < maxval) ++bits;
    return bits < 2 ? 2 : bits; // JPEG-LS takes 2..16 bits per sample
}

void encode(const char* input, const char* output) {
    const std::vector<std::uint8_t> file = read_file(input);
    const pnm_image image = parse_pnm(file);
    const int bits = bits_for(image.maxval);
    const std::size_t bytes_per_sample = image.maxval > 255 ? 2 : 1;
    const std::size_t sample_count = static_cast<std::size_t>(image.width) * image.height * image.components;
    if (file.size() - image.data_offset < sample_count * bytes_per_sample)
        throw std::runtime_error("PNM file too short");

    const std::uint8_t* samples = file.data() + image.data_offset;
    std::vector<std::uint16_t> wide; // 16-bit samples in host order, as CharLS wants them
    if (bytes_per_sample == 2) {
        wide.resize(sample_count);
        for (std::size_t i = 0; i < sample_count; ++i)
            wide[i] = static_cast<std::uint16_t>(samples[2 * i] << 8 | samples[2 * i + 1]);
        samples = reinterpret_cast<const std::uint8_t*>(wide.data());
    }

    charls::jpegls_encoder encoder;
    encoder.frame_info(
        {static_cast<std::uint32_t>(image.width), static_cast<std::uint32_t>(image.height), bits, image.components});
    if (image.components == 3) encoder.interleave_mode(charls::interleave_mode::sample);
    if (image.maxval != (1 << bits) - 1) {
        charls::jpegls_pc_parameters parameters{};
        parameters.maximum_sample_value = image.maxval;
        encoder.preset_coding_parameters(parameters);
    }
    std::vector<std::uint8_t> destination(encoder.estimated_destination_size() + 1024);
    encoder.destination(destination);
    const std::size_t written = encoder.encode(samples, sample_count * bytes_per_sample);
    write_file(output, destination.data(), written);
}

void decode(const char* input, const char* output) {
    const std::vector<std::uint8_t> source = read_file(input);
    charls::jpegls_decoder decoder(source, true);
    const charls::frame_info frame = decoder.frame_info();
    if (frame.component_count != 1 && frame.component_count != 3)
        throw std::runtime_error("unsupported component count");
    int maxval = decoder.preset_coding_parameters().maximum_sample_value;
    if (maxval == 0) maxval = (1 << frame.bits_per_sample) - 1;
    const std::size_t bytes_per_sample = frame.bits_per_sample > 8 ? 2 : 1;
    const std::size_t sample_count = static_cast<std::size_t>(frame.width) * frame.height * frame.component_count;

    const std::string header = std::string(frame.component_count == 1 ? "P5\n" : "P6\n") + std::to_string(frame.width) +
                               " " + std::to_string(frame.height) + "\n" + std::to_string(maxval) + "\n";
    std::vector<std::uint8_t> out(header.size() + sample_count * bytes_per_sample);
    std::memcpy(out.data(), header.data(), header.size());
    std::uint8_t* pixels = out.data() + header.size();

    if (bytes_per_sample == 1 &&
        (frame.component_count == 1 || decoder.interleave_mode() == charls::interleave_mode::sample)) {
        decoder.decode(pixels, sample_count); // straight into the output buffer
    } else {
        std::vector<std::uint8_t> decoded(decoder.destination_size());
        decoder.decode(decoded);
        const std::size_t plane = static_cast<std::size_t>(frame.width) * frame.height;
        const std::size_t width = frame.width;
        const charls::interleave_mode mode =
            frame.component_count == 3 ? decoder.interleave_mode() : charls::interleave_mode::sample;
        for (std::size_t i = 0; i < sample_count; ++i) {
            // i indexes the pixel-interleaved output. Without interleaving, component c of pixel p is at
            // c * plane + p; with line interleaving, each row holds its three component lines in turn.
            const std::size_t pixel = i / 3, component = i % 3;
            std::size_t from = i;
            if (mode == charls::interleave_mode::none) from = component * plane + pixel;
            if (mode == charls::interleave_mode::line)
                from = (pixel / width) * 3 * width + component * width + pixel % width;
            if (bytes_per_sample == 1) {
                pixels[i] = decoded[from];
            } else {
                std::uint16_t value;
                std::memcpy(&value, decoded.data() + 2 * from, 2);
                pixels[2 * i] = static_cast<std::uint8_t>(value >> 8);
                pixels[2 * i + 1] = static_cast<std::uint8_t>(value & 0xFF);
            }
        }
    }
    write_file(output, out.data(), out.size());
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 4 || (std::strcmp(argv[1], "encode") != 0 && std::strcmp(argv[1], "decode") != 0)) {
        std::fprintf(stderr,
                     "usage: charls_bench encode in.pgm|in.ppm out.jls\n       charls_bench decode in.jls out.pnm\n");
        return 2;
    }
    try {
        if (argv[1][0] == 'e')
            encode(argv[2], argv[3]);
        else
            decode(argv[2], argv[3]);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "charls_bench: %s\n", error.what());
        return 1;
    }
    return 0;
}
