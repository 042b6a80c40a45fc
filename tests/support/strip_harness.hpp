// Runs an engine's strips in memory, the one strip loop of the tests:
//   - encode_strips / decode_strips: the real StripDriver and EntropyCoder,
//     as a run codes an image file's pixel bytes between the headers and the
//     trailing CRC word;
//   - run_pixel_stages: the engine's pixel stages alone, each strip's planes
//     handed from an encoding engine straight to a decoding one.
// Pixels are an image file's bytes (16-bit samples high byte first), turned
// into samples and back by the image file layer. Test images get their
// ImageParameters from the real image reader.
#pragma once

#include <algorithm>
#include <cstdint>
#include <span>
#include <vector>

#include "codec/compressed_stream.hpp"
#include "codec/strip_driver.hpp"
#include "core/byte_io.hpp"
#include "core/crc.hpp"
#include "core/image_parameters.hpp"
#include "core/strip_planes.hpp"
#include "core/strip_schedule.hpp"
#include "entropy/entropy_coder.hpp"
#include "formats/image_file_codec.hpp"
#include "formats/image_formats.hpp"
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
    header.crc = read_image_parameters(source, test_image.pnm_format(), RawShape{}, header.image);
    return header;
}

// `threads` as StripDriver takes it: 1 runs both stages on this thread, 2 on two.
// Codes the pixels of `image_file` into `compressed`: the strip records, then
// the trailing CRC word. Returns the CRC the driver ended with.
template <class Engine>
std::uint32_t encode_strips_into(const ImageParameters& image, ByteSource& image_file, ByteSink& compressed,
                                 std::uint32_t header_crc = CRC_SEED, int threads = 1) {
    EntropyCoder coder(EntropyCoder::Direction::encode, image.fast(), image.bits_per_sample,
                       strip_limits<Engine>(image));
    StripDriver<Engine> driver(image, threads);
    ImageFileSource samples(image, image_file);
    CompressedWriter out(compressed);
    const std::uint32_t crc = driver.encode(header_crc, samples, coder, out);
    finish_image_file(image_file);
    out.finish(crc);
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
    EntropyCoder coder(EntropyCoder::Direction::decode, image.fast(), image.bits_per_sample,
                       strip_limits<Engine>(image));
    StripDriver<Engine> driver(image, threads);
    ImageFileSink samples(image, image_file);
    CompressedReader in(compressed);
    DecodedStrips result;
    result.crc = driver.decode(header_crc, in, coder, samples);
    finish_image_file(image_file);
    std::uint8_t word[4];
    compressed.read_exact(word, 4);
    result.check_word = std::uint32_t{word[0]} | std::uint32_t{word[1]} << 8 | std::uint32_t{word[2]} << 16 |
                        std::uint32_t{word[3]} << 24;
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

// One strip's samples, staged as the strip driver stages them.
class StagedStrip {
public:
    explicit StagedStrip(const ImageParameters& image)
        : image_(image), samples8_(max_strip_rows * image.row_bytes()), samples16_(samples8_.size() / 2) {}

    StripSamples samples() noexcept {
        return {deep() ? static_cast<void*>(samples16_.data()) : static_cast<void*>(samples8_.data())};
    }
    // Pixel bytes in, as an image file stores them.
    void load(std::span<const std::uint8_t> bytes, int rows) {
        MemorySource source(bytes);
        ImageFileSource file(image_, source);
        deep() ? file.read_rows(0, rows, samples16_.data()) : file.read_rows(0, rows, samples8_.data());
    }
    // Pixel bytes out, appended to `bytes`.
    void store(std::vector<std::uint8_t>& bytes, int rows) {
        MemorySink sink;
        ImageFileSink file(image_, sink);
        deep() ? file.write_rows(0, rows, samples16_.data()) : file.write_rows(0, rows, samples8_.data());
        bytes.insert(bytes.end(), sink.bytes().begin(), sink.bytes().end());
    }

private:
    bool deep() const noexcept { return image_.bytes_per_pixel == 2; }

    const ImageParameters& image_;
    std::vector<std::uint8_t> samples8_;
    std::vector<std::uint16_t> samples16_;
};

// Every strip through Engine::forward, its planes (all rows, coded or not)
// copied as they stand into a second engine's planes, then Engine::inverse.
template <class Engine>
PixelStageResult run_pixel_stages(const ImageParameters& image, std::span<const std::uint8_t> pixels) {
    Engine encoder(image);
    Engine decoder(image);
    const int stride = Engine::plane_stride(image);
    StripPlanes encoded(image.plane_count(), stride);
    StripPlanes decoded(image.plane_count(), stride);
    StagedStrip staged(image);
    StagedStrip written(image);
    PixelStageResult result;
    std::size_t offset = 0;
    for_each_strip(image.height, [&](const Strip& strip) {
        const std::size_t bytes = static_cast<std::size_t>(strip.rows) * image.row_bytes();
        staged.load(pixels.subspan(offset, bytes), strip.rows);
        offset += bytes;
        encoder.forward(strip, staged.samples(), encoded);
        staged.store(result.reconstructed, strip.rows);
        for (int p = 0; p < image.plane_count(); ++p)
            std::copy_n(encoded.row(p, 0), max_strip_rows * stride, decoded.row(p, 0));
        decoder.inverse(strip, decoded, written.samples());
        written.store(result.decoded, strip.rows);
    });
    return result;
}

} // namespace vrk::test
