#include "codec/codec.hpp"

#include <thread>

#include "codec/strip_driver.hpp"
#include "core/error.hpp"
#include "graphics/graphics_engine.hpp"
#include "wavelet/wavelet_engine.hpp"

namespace vrk {

namespace {

template <class Engine>
std::int64_t encode_with(const ImageParameters& image, std::uint32_t header_crc, ByteSource& image_file,
                         ByteSink& compressed, const RunSettings& settings) {
    EntropyCoder coder(compressed, image.fast(), image.bits_per_sample, strip_limits<Engine>(image));
    StripDriver<Engine> driver(image, stage_threads(settings.threads), settings.observer);
    const std::uint32_t image_crc = driver.encode(header_crc, image_file, coder);
    return coder.write_check_word(image_crc);
}

template <class Engine>
void decode_with(const ImageParameters& image, std::uint32_t header_crc, ByteSource& compressed, ByteSink& image_file,
                 const RunSettings& settings) {
    EntropyCoder coder(compressed, image.fast(), image.bits_per_sample, strip_limits<Engine>(image));
    StripDriver<Engine> driver(image, stage_threads(settings.threads), settings.observer);
    const std::uint32_t image_crc = driver.decode(header_crc, coder, image_file);
    if (coder.read_check_word() != image_crc) fail(ErrorCode::incorrect_crc);
}

} // namespace

int stage_threads(int threads) noexcept {
    if (threads == 0) return std::thread::hardware_concurrency() >= 2 ? 2 : 1;
    return threads >= 2 ? 2 : 1;
}

std::int64_t encode_image(const ImageParameters& image, std::uint32_t header_crc, ByteSource& image_file,
                          ByteSink& compressed, const RunSettings& settings) {
    return image.graphics() ? encode_with<GraphicsEngine>(image, header_crc, image_file, compressed, settings)
                            : encode_with<WaveletEngine>(image, header_crc, image_file, compressed, settings);
}

std::int64_t write_compressed_file(const ImageParameters& image, std::uint32_t header_crc, ByteSource& image_file,
                                   ByteSink& compressed, const RunSettings& settings) {
    compressed.write_exact(image.container_header.data(), image.container_header.size());
    compressed.write_exact(image.image_header_bytes.data(), image.image_header_bytes.size());
    const std::int64_t coded = encode_image(image, header_crc, image_file, compressed, settings);
    return static_cast<std::int64_t>(container_header_size) + image.image_header_size() + coded;
}

void decode_image(const ImageParameters& image, std::uint32_t header_crc, ByteSource& compressed, ByteSink& image_file,
                  const RunSettings& settings) {
    image.graphics() ? decode_with<GraphicsEngine>(image, header_crc, compressed, image_file, settings)
                     : decode_with<WaveletEngine>(image, header_crc, compressed, image_file, settings);
}

} // namespace vrk
