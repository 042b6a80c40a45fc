// The vrk compressor and decompressor as GDAL's CPL registry calls them
// (cpl_compressor.h): each chunk of a zarr array is one vrk image.
#ifndef VRK_GDAL_CODEC_HPP
#define VRK_GDAL_CODEC_HPP

#include <cpl_compressor.h>

#include <cstddef>

namespace vrk::gdal {

// The id zarr stores in an array's "compressor" and numcodecs registers.
inline constexpr const char* codec_id = "vrk";

// Decodes one chunk. The caller's buffer bounds the image decoding may
// allocate for; a damaged chunk is a CPLError and false, never a crash.
bool decompress(const void* input_data, size_t input_size, void** output_data, size_t* output_size,
                CSLConstList options, void* user_data);

// Encodes one chunk. A chunk's bytes do not tell its width and height, so
// it needs the options WIDTH and HEIGHT (and CHANNELS for colour); without
// them it refuses with a CPLError.
bool compress(const void* input_data, size_t input_size, void** output_data, size_t* output_size, CSLConstList options,
              void* user_data);

} // namespace vrk::gdal

#endif // VRK_GDAL_CODEC_HPP
