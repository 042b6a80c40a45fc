#include "codec.hpp"
#include "options.hpp"
#include "output.hpp"

#include <vrk/vrk.h>

#include <cpl_error.h>

#include <algorithm>
#include <bit>
#include <cstdint>
#include <memory>

namespace vrk::gdal {
namespace {

struct VrkFree {
    void operator()(uint8_t* p) const { vrk_free(p); }
};

// As the Python codec chooses: the fewest bits from 9 to 16 that hold the largest sample.
uint32_t bits_for(const uint16_t* samples, size_t count) {
    const uint16_t largest = count == 0 ? 0 : *std::max_element(samples, samples + count);
    return std::max<uint32_t>(9, static_cast<uint32_t>(std::bit_width(largest)));
}

} // namespace

bool compress(const void* input_data, size_t input_size, void** output_data, size_t* output_size, CSLConstList options,
              void* /*user_data*/) {
    if ((input_data == nullptr && input_size != 0) || output_size == nullptr) {
        CPLError(CE_Failure, CPLE_IllegalArg, "vrk: no input chunk or no output size");
        return false;
    }
    const auto settings = parse_encode_options(options);
    if (!settings) return false;
    // GDAL's Zarr driver passes the compressor the array's codec config
    // alone, and a chunk's bytes do not tell its width from its height.
    if (!settings->width || !settings->height) {
        CPLError(CE_Failure, CPLE_NotSupported,
                 "vrk: cannot compress a chunk without its shape (the options WIDTH and HEIGHT), which GDAL's "
                 "Zarr driver does not pass; write vrk-compressed zarr arrays with the Python codec "
                 "vrk.numcodecs.Vrk, which GDAL then reads");
        return false;
    }
    const uint64_t samples = uint64_t{*settings->width} * *settings->height * settings->channels;
    if (samples == 0 || input_size % samples != 0 || (input_size / samples != 1 && input_size / samples != 2)) {
        CPLError(CE_Failure, CPLE_IllegalArg, "vrk: a chunk of %zu bytes is not %u x %u x %u samples of 1 or 2 bytes",
                 input_size, *settings->width, *settings->height, settings->channels);
        return false;
    }
    // The depth must agree with the sample size, or the library would read
    // 2-byte samples as twice as many 1-byte ones.
    const bool wide = input_size / samples == 2;
    const uint32_t bits =
        wide ? settings->bits.value_or(bits_for(static_cast<const uint16_t*>(input_data), samples)) : 8;
    if (wide ? bits < 9 || bits > 16 : settings->bits && *settings->bits != 8) {
        CPLError(CE_Failure, CPLE_IllegalArg, "vrk: bits_per_sample %u does not fit %s samples", *settings->bits,
                 wide ? "2-byte (9 to 16 bits)" : "1-byte (8 bits)");
        return false;
    }

    uint8_t* encoded = nullptr;
    size_t encoded_size = 0;
    const vrk_status status = vrk_encode(input_data, input_size, 0, *settings->width, *settings->height,
                                         settings->channels, bits, &settings->options, &encoded, &encoded_size);
    const std::unique_ptr<uint8_t, VrkFree> owned(encoded);
    if (status != VRK_OK) {
        CPLError(CE_Failure, CPLE_AppDefined, "vrk: cannot compress the chunk: %s", vrk_status_message(status));
        return false;
    }
    return deliver(encoded, encoded_size, output_mode(output_data), output_data, output_size);
}

} // namespace vrk::gdal
