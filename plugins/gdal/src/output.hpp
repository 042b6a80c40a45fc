// The three ways cpl_compressor.h lets a caller take a codec's output.
#ifndef VRK_GDAL_OUTPUT_HPP
#define VRK_GDAL_OUTPUT_HPP

#include <cstddef>
#include <cstdint>

namespace vrk::gdal {

enum class OutputMode {
    size_only, // output_data is NULL: report the size needed
    allocate,  // *output_data is NULL: allocate it with VSIMalloc
    caller     // the caller's *output_size bytes at *output_data
};

inline OutputMode output_mode(void** output_data) {
    if (output_data == nullptr) return OutputMode::size_only;
    return *output_data == nullptr ? OutputMode::allocate : OutputMode::caller;
}

// Hands `size` bytes at `bytes` to the caller as `mode` says, setting
// *output_size. False (with *output_size the size needed) when the caller's
// buffer is too small, or allocating fails.
bool deliver(const uint8_t* bytes, size_t size, OutputMode mode, void** output_data, size_t* output_size);

} // namespace vrk::gdal

#endif // VRK_GDAL_OUTPUT_HPP
