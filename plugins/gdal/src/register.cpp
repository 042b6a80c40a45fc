// The plugin's entry point: GDAL loads gdal_vrk.so from GDAL_DRIVER_PATH (or
// its plugin folder) and calls GDALRegisterMe, which adds the vrk codec to
// the CPL registry of compressors, where the Zarr driver looks up the
// "compressor" id of each array.
#include "codec.hpp"

#include <cpl_port.h>

namespace vrk::gdal {
namespace {

// Declared so that GDAL's Zarr driver offers the creation option
// VRK_LOSS_FACTOR and stores it in the array's metadata as the Python codec's
// integer loss_factor. The flags graphics and fast stay undeclared: GDAL
// stores a boolean option as the string "YES" or "NO", which the Python codec
// refuses as a flag, so declaring them would make arrays Python cannot open.
constexpr const char* compressor_metadata[] = {
    "OPTIONS=<Options>"
    "<Option name='LOSS_FACTOR' type='int' min='0' max='12' description='0 lossless, 1..12 lossy' default='0'/>"
    "</Options>",
    nullptr};

void register_codec() {
    // The registry copies the descriptions, so they need not outlive the call.
    CPLCompressor decompressor{};
    decompressor.nStructVersion = 1;
    decompressor.pszId = codec_id;
    decompressor.eType = CCT_COMPRESSOR;
    decompressor.pfnFunc = decompress;
    CPLCompressor compressor = decompressor;
    compressor.papszMetadata = compressor_metadata;
    compressor.pfnFunc = compress;
    // Registering twice (the plugin found in two folders) fails harmlessly:
    // the first registration stays.
    CPLRegisterDecompressor(&decompressor);
    CPLRegisterCompressor(&compressor);
}

} // namespace
} // namespace vrk::gdal

// The one symbol the plugin exports (the target hides the rest).
extern "C" [[gnu::visibility("default")]] void GDALRegisterMe() { vrk::gdal::register_codec(); }
