// The decoder on arbitrary compressed bytes: it must end in a result or in
// one of the system's errors, never in a crash or undefined behaviour.
#include <vrk/vrk.hpp>

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    try {
        vrk::decompress({data, size});
    } catch (const vrk::Error&) {
    }
    return 0;
}
