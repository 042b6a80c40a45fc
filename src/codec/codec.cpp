#include "codec/codec.hpp"

#include <thread>

#include "codec/strip_driver.hpp"
#include "graphics/graphics_engine.hpp"
#include "wavelet/wavelet_engine.hpp"

namespace vrk {

namespace {

template <class Engine>
std::uint32_t encode_with(const ImageParameters& image, std::uint32_t header_crc, SampleSource& samples,
                          CompressedWriter& out, const RunSettings& settings) {
    EntropyCoder coder(EntropyCoder::Direction::encode, image.fast(), image.bits_per_sample,
                       strip_limits<Engine>(image));
    StripDriver<Engine> driver(image, stage_threads(settings.threads), settings.layout, settings.observer);
    return driver.encode(header_crc, samples, coder, out);
}

template <class Engine>
std::uint32_t decode_with(const ImageParameters& image, std::uint32_t header_crc, CompressedReader& in,
                          SampleSink& samples, const RunSettings& settings) {
    EntropyCoder coder(EntropyCoder::Direction::decode, image.fast(), image.bits_per_sample,
                       strip_limits<Engine>(image));
    StripDriver<Engine> driver(image, stage_threads(settings.threads), settings.layout, settings.observer);
    return driver.decode(header_crc, in, coder, samples);
}

} // namespace

int stage_threads(int threads) noexcept {
    if (threads == 0) return std::thread::hardware_concurrency() >= 2 ? 2 : 1;
    return threads >= 2 ? 2 : 1;
}

std::uint32_t encode_strips(const ImageParameters& image, std::uint32_t header_crc, SampleSource& samples,
                            CompressedWriter& out, const RunSettings& settings) {
    return image.graphics() ? encode_with<GraphicsEngine>(image, header_crc, samples, out, settings)
                            : encode_with<WaveletEngine>(image, header_crc, samples, out, settings);
}

std::uint32_t decode_strips(const ImageParameters& image, std::uint32_t header_crc, CompressedReader& in,
                            SampleSink& samples, const RunSettings& settings) {
    return image.graphics() ? decode_with<GraphicsEngine>(image, header_crc, in, samples, settings)
                            : decode_with<WaveletEngine>(image, header_crc, in, samples, settings);
}

} // namespace vrk
