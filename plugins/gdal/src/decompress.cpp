#include "codec.hpp"
#include "output.hpp"

#include <vrk/vrk.h>

#include <cpl_error.h>
#include <cpl_vsi.h>

#include <cstdint>

namespace vrk::gdal {
namespace {

bool fail(vrk_status status) {
    CPLError(CE_Failure, CPLE_AppDefined, "vrk: cannot decode the chunk: %s", vrk_status_message(status));
    return false;
}

} // namespace

bool decompress(const void* input_data, size_t input_size, void** output_data, size_t* output_size,
                CSLConstList /*options*/, void* /*user_data*/) {
    if ((input_data == nullptr && input_size != 0) || output_size == nullptr) {
        CPLError(CE_Failure, CPLE_IllegalArg, "vrk: no input chunk or no output size");
        return false;
    }
    // An empty chunk (an empty file) is a damaged one, refused by inspection below.
    constexpr uint8_t empty = 0;
    const auto* data = input_data == nullptr ? &empty : static_cast<const uint8_t*>(input_data);
    vrk_info info;
    vrk_info_init(&info);
    if (const vrk_status status = vrk_inspect(data, input_size, &info); status != VRK_OK) return fail(status);
    // At most 65,535 x 65,535 x 3 x 2 bytes: no overflow in 64 bits.
    const uint64_t sample_bytes = uint64_t{info.channels} * info.bytes_per_sample;
    const uint64_t needed = uint64_t{info.width} * info.height * sample_bytes;
    if (needed > SIZE_MAX) return fail(VRK_IMAGE_TOO_LARGE);

    const OutputMode mode = output_mode(output_data);
    if (mode == OutputMode::size_only) {
        *output_size = static_cast<size_t>(needed);
        return true;
    }
    if (mode == OutputMode::caller && *output_size < needed) {
        *output_size = static_cast<size_t>(needed);
        return false;
    }
    const size_t capacity = mode == OutputMode::caller ? *output_size : static_cast<size_t>(needed);
    void* pixels = mode == OutputMode::caller ? *output_data : VSIMalloc(capacity);
    if (pixels == nullptr) {
        CPLError(CE_Failure, CPLE_OutOfMemory, "vrk: cannot allocate %zu bytes for a chunk", capacity);
        *output_size = 0;
        return false;
    }

    // The headers passed inspection, but decoding reads them again: the
    // limit keeps it within the buffer whatever it finds there.
    vrk_decode_options decode_options;
    vrk_decode_options_init(&decode_options);
    decode_options.max_pixels = capacity / sample_bytes;
    if (const vrk_status status = vrk_decode(data, input_size, pixels, 0, capacity, &decode_options);
        status != VRK_OK) {
        if (mode == OutputMode::allocate) {
            VSIFree(pixels);
            *output_size = 0;
        }
        return fail(status);
    }
    if (mode == OutputMode::allocate) *output_data = pixels;
    *output_size = static_cast<size_t>(needed);
    return true;
}

} // namespace vrk::gdal
