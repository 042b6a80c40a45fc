#include "codec/codec.hpp"

#include <thread>

#include "codec/strip_driver.hpp"
#include "graphics/graphics_engine.hpp"
#include "wavelet/wavelet_engine.hpp"

namespace vrk {

namespace {

// What a run of either direction starts with: the coder of the engine's
// strips, and the driver with the run's threads, layout and observer.
template <class Engine>
EntropyCoder coder_for(const ImageParameters& image, EntropyCoder::Direction direction) {
    return EntropyCoder(direction, image.fast(), image.bits_per_sample, strip_limits<Engine>(image));
}

template <class Engine>
StripDriver<Engine> driver_for(const ImageParameters& image, const RunSettings& settings) {
    return StripDriver<Engine>(image, stage_threads(settings.threads), settings.layout, settings.observer);
}

template <class Engine>
std::uint32_t encode_with(const ImageParameters& image, std::uint32_t header_crc, SampleSource& samples,
                          CompressedWriter& out, const RunSettings& settings) {
    EntropyCoder coder = coder_for<Engine>(image, EntropyCoder::Direction::encode);
    StripDriver<Engine> driver = driver_for<Engine>(image, settings);
    return driver.encode(header_crc, samples, coder, out);
}

template <class Engine>
std::uint32_t decode_with(const ImageParameters& image, std::uint32_t header_crc, CompressedReader& in,
                          SampleSink& samples, const RunSettings& settings) {
    EntropyCoder coder = coder_for<Engine>(image, EntropyCoder::Direction::decode);
    StripDriver<Engine> driver = driver_for<Engine>(image, settings);
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
