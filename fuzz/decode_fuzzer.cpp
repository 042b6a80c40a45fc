// The decoder on arbitrary compressed bytes: it must end in a result or in
// one of the system's errors, never in a crash or undefined behaviour. The
// image file and the samples come from the same decode, so both succeed or
// both fail.
#include <vrk/vrk.hpp>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // A few bytes can declare a 65535 x 65535 image, whose decoding takes its
    // honest time; keep each run small so that the fuzzer explores instead.
    if (size >= 8) {
        const long height = data[4] << 8 | data[5], width = data[6] << 8 | data[7];
        if (width * height > (1L << 20)) return 0;
    }
    bool restored = false, decoded = false;
    try {
        vrk::restore_image({data, size}); // automatic threads
        restored = true;
    } catch (const vrk::Error&) {
    }
    try {
        const vrk::Image image = vrk::decode({data, size}, {.max_pixels = 0, .threads = 2}); // the two-stage decoder
        const std::size_t samples =
            static_cast<std::size_t>(image.info.width) * image.info.height * image.info.channels;
        if ((image.info.bytes_per_sample == 2 ? image.samples16.size() : image.samples8.size()) != samples)
            std::abort();
        decoded = true;
    } catch (const vrk::Error&) {
    }
    if (restored != decoded) std::abort();
    return 0;
}
