// The decoder on arbitrary compressed bytes: it must end in a result or in
// one of the system's errors, never in a crash or undefined behaviour. The
// headers alone (inspect) fail exactly as decoding does and describe the image
// it gives; the image file and the samples come from the same decode, so both
// succeed or both fail.
#include <vrk/vrk.hpp>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <span>

namespace {

// The most samples (pixels x channels) an input may declare and still be
// decoded: 181 x 181 grey or 104 x 105 colour, 32 rows of 1024 grey or 341
// colour pixels. The slowest content at this size (noise on 32 columns)
// decodes twice in at most 0.2 s in this build on a busy two-core machine,
// a fiftieth of the 10 s that CI allows each input.
constexpr std::uint64_t max_decoded_samples = std::uint64_t{1} << 15;

bool same_shape(const vrk::Info& a, const vrk::Info& b) {
    return a.width == b.width && a.height == b.height && a.channels == b.channels &&
           a.bits_per_sample == b.bits_per_sample && a.bytes_per_sample == b.bytes_per_sample &&
           a.loss_factor == b.loss_factor && a.fast == b.fast && a.graphics == b.graphics && a.format == b.format &&
           a.header == b.header;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> compressed{data, size};
    std::optional<vrk::Info> info;
    std::optional<vrk::ErrorCode> header_error;
    try {
        info = vrk::inspect(compressed);
    } catch (const vrk::Error& error) {
        header_error = error.code();
    }

    // A few bytes can declare a 65535 x 65535 image, whose decoding takes its
    // honest time: above the bound only the limit is tried, which must refuse
    // the image before decoding any of it.
    const std::uint64_t max_pixels = max_decoded_samples / std::max(info ? info->channels : 1, 1);
    const vrk::DecodeOptions limited{.max_pixels = max_pixels, .threads = 2};
    if (info && static_cast<std::uint64_t>(info->width) * info->height > max_pixels) {
        try {
            vrk::decode(compressed, limited);
        } catch (const vrk::Error& error) {
            if (error.code() == vrk::ErrorCode::limit_exceeded) return 0;
        }
        std::abort();
    }

    bool restored = false, decoded = false;
    try {
        vrk::restore_image(compressed); // automatic threads
        restored = true;
    } catch (const vrk::Error&) {
    }
    try {
        const vrk::Image image = vrk::decode(compressed, limited); // the two-stage decoder
        const std::size_t samples =
            static_cast<std::size_t>(image.info.width) * image.info.height * image.info.channels;
        if ((image.info.bytes_per_sample == 2 ? image.samples16.size() : image.samples8.size()) != samples)
            std::abort();
        if (!info || !same_shape(*info, image.info)) std::abort();
        decoded = true;
    } catch (const vrk::Error& error) {
        if (header_error && error.code() != *header_error) std::abort();
    }
    if (restored != decoded) std::abort();
    return 0;
}
