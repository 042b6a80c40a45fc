// The compressor's options: the numcodecs codec's config keys, which GDAL's
// Zarr driver passes from the array's "compressor" object, and the chunk's
// shape, which a caller of the compressor gives.
#ifndef VRK_GDAL_OPTIONS_HPP
#define VRK_GDAL_OPTIONS_HPP

#include <vrk/vrk.h>

#include <cpl_port.h>

#include <cstdint>
#include <optional>

namespace vrk::gdal {

struct EncodeSettings {
    vrk_options options;            // loss_factor, graphics, fast, threads
    std::optional<uint32_t> bits;   // bits_per_sample; none: the fewest 9..16 that hold the samples
    std::optional<uint32_t> width;  // WIDTH
    std::optional<uint32_t> height; // HEIGHT
    uint32_t channels = 1;          // CHANNELS: 1 grey, 3 colour
};

// Reads `options` (KEY=VALUE, keys in any case). Unknown keys, such as
// "id", are ignored; an unreadable value is a CPLError and nothing.
std::optional<EncodeSettings> parse_encode_options(CSLConstList options);

} // namespace vrk::gdal

#endif // VRK_GDAL_OPTIONS_HPP
