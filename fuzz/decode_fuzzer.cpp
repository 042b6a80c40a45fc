// The decoder on arbitrary compressed bytes: it must end in a result or in
// one of the system's errors, never in a crash or undefined behaviour.
#include <vrk/vrk.hpp>

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // A few bytes can declare a 65535 x 65535 image, whose decoding takes its
    // honest time; keep each run small so that the fuzzer explores instead.
    if (size >= 8) {
        const long height = data[4] << 8 | data[5], width = data[6] << 8 | data[7];
        if (width * height > (1L << 20)) return 0;
    }
    try {
        vrk::restore_image({data, size});
    } catch (const vrk::Error&) {
    }
    return 0;
}
