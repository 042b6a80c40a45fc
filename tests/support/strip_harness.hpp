// Runs an engine's strips in memory, the one strip loop of the tests:
//   - encode_strips / decode_strips: the real StripDriver and EntropyCoder,
//     as a run codes the pixels between the headers and the trailing CRC word;
//   - run_pixel_stages: the engine's pixel stages alone, each strip's planes
//     handed from an encoding engine straight to a decoding one.
// Test images get their ImageParameters from the real image reader.
#pragma once

#include <algorithm>
#include <cstdint>
#include <span>
#include <vector>

#include "codec/image_formats.hpp"
#include "codec/strip_driver.hpp"
#include "core/byte_io.hpp"
#include "core/crc.hpp"
#include "core/image_parameters.hpp"
#include "core/strip_planes.hpp"
#include "core/strip_schedule.hpp"
#include "entropy/entropy_coder.hpp"
#include "support/test_images.hpp"

namespace vrk::test {

// An image's parameters and header CRC, as the encoder reads them from its PNM file.
struct ImageHeader {
    ImageParameters image;
    std::uint32_t crc = 0;
};

inline ImageHeader header_of(const TestImage& test_image, const Options& options) {
    const std::vector<std::uint8_t> file = test_image.pnm_file();
    MemorySource source(file);
    ImageHeader header;
    header.image.mode_flags = (options.fast ? mode_fast : 0u) | (options.graphics ? mode_graphics : 0u);
    header.image.loss_factor = options.loss_factor;
    header.crc = read_image_parameters(source, test_image.pnm_format(), {}, header.image);
    return header;
}

// `threads` as StripDriver takes it: 1 runs both stages on this thread, 2 on two.
// Codes the pixels of `image_file` into `compressed`: the strip records, then
// the trailing CRC word. Returns the CRC the driver ended with.
template <class Engine>
std::uint32_t encode_strips_into(const ImageParameters& image, ByteSource& image_file, ByteSink& compressed,
                                 std::uint32_t header_crc = CRC_SEED, int threads = 1) {
    EntropyCoder coder(compressed, image.fast(), image.bits_per_sample, strip_limits<Engine>(image));
    StripDriver<Engine> driver(image, threads);
    const std::uint32_t crc = driver.encode(header_crc, image_file, coder);
    coder.write_check_word(crc);
    return crc;
}

struct EncodedStrips {
    std::vector<std::uint8_t> records; // every strip record, then the trailing CRC word
    std::uint32_t crc = 0;             // the CRC the driver ended with
};

template <class Engine>
EncodedStrips encode_strips(const ImageParameters& image, std::span<const std::uint8_t> pixels,
                            std::uint32_t header_crc = CRC_SEED, int threads = 1) {
    MemorySource source(pixels);
    MemorySink sink;
    EncodedStrips result;
    result.crc = encode_strips_into<Engine>(image, source, sink, header_crc, threads);
    result.records = sink.take();
    return result;
}

struct DecodedStrips {
    std::vector<std::uint8_t> pixels;
    std::uint32_t crc = 0;        // the CRC the driver ended with
    std::uint32_t check_word = 0; // the trailing CRC word read after the records
};

// Decodes the strip records of `compressed` into `image_file`; fills in the
// CRC and the check word (not the pixels).
template <class Engine>
DecodedStrips decode_strips_into(const ImageParameters& image, ByteSource& compressed, ByteSink& image_file,
                                 std::uint32_t header_crc = CRC_SEED, int threads = 1) {
    EntropyCoder coder(compressed, image.fast(), image.bits_per_sample, strip_limits<Engine>(image));
    StripDriver<Engine> driver(image, threads);
    DecodedStrips result;
    result.crc = driver.decode(header_crc, coder, image_file);
    result.check_word = coder.read_check_word();
    return result;
}

template <class Engine>
DecodedStrips decode_strips(const ImageParameters& image, std::span<const std::uint8_t> records,
                            std::uint32_t header_crc = CRC_SEED, int threads = 1) {
    MemorySource source(records);
    MemorySink sink;
    DecodedStrips result = decode_strips_into<Engine>(image, source, sink, header_crc, threads);
    result.pixels = sink.take();
    return result;
}

struct PixelStageResult {
    std::vector<std::uint8_t> reconstructed; // the encoder's pixel bytes after its pixel stage
    std::vector<std::uint8_t> decoded;       // what the decoding engine wrote
};

// Every strip through Engine::forward, its planes (all rows, coded or not)
// copied as they stand into a second engine's planes, then Engine::back.
template <class Engine>
PixelStageResult run_pixel_stages(const ImageParameters& image, std::span<const std::uint8_t> pixels) {
    Engine encoder(image);
    Engine decoder(image);
    const int stride = Engine::plane_stride(image);
    StripPlanes encoded(image.plane_count(), stride);
    StripPlanes decoded(image.plane_count(), stride);
    std::vector<std::uint8_t> staged(max_strip_rows * image.row_bytes());
    std::vector<std::uint8_t> written(staged.size());
    PixelStageResult result;
    std::size_t offset = 0;
    for_each_strip(image.height, [&](const Strip& strip) {
        const std::size_t bytes = static_cast<std::size_t>(strip.rows) * image.row_bytes();
        std::copy_n(pixels.begin() + static_cast<std::ptrdiff_t>(offset), bytes, staged.begin());
        offset += bytes;
        encoder.forward(strip, staged.data(), encoded);
        result.reconstructed.insert(result.reconstructed.end(), staged.begin(),
                                    staged.begin() + static_cast<std::ptrdiff_t>(bytes));
        for (int p = 0; p < image.plane_count(); ++p)
            std::copy_n(encoded.row(p, 0), max_strip_rows * stride, decoded.row(p, 0));
        decoder.back(strip, decoded, written.data());
        result.decoded.insert(result.decoded.end(), written.begin(),
                              written.begin() + static_cast<std::ptrdiff_t>(bytes));
    });
    return result;
}

} // namespace vrk::test
