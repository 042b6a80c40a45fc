/* The library's calls for JavaScript: flat arguments a WebAssembly caller can
 * pass (numbers and heap addresses), over the C ABI and nothing else. Every
 * call runs on one thread; WebAssembly pages run parallel work in workers. */
#include <vrk/vrk.h>

#include <cstdint>

namespace {

/* The fields of vrk_info, in this order, as 32-bit numbers. */
constexpr int field_count = 11;

void options_of(vrk_options* options, int fast, int graphics, int loss_factor) {
    vrk_options_init(options);
    options->fast = fast;
    options->graphics = graphics;
    options->loss_factor = loss_factor;
    options->threads = 1;
}

void decode_options_of(vrk_decode_options* options, double max_pixels) {
    vrk_decode_options_init(options);
    /* JavaScript numbers hold every pixel count exactly up to 2^53. */
    options->max_pixels = max_pixels > 0 ? (uint64_t)max_pixels : 0;
    options->threads = 1;
}

} // namespace

extern "C" {

/* fields: width, height, channels, bits per sample, bytes per sample, loss
 * factor, fast, graphics, format, header size, and where in `data` the
 * original file's header bytes start. */
int vrkjs_inspect(const uint8_t* data, size_t size, uint32_t* fields) {
    vrk_info info;
    vrk_info_init(&info);
    const vrk_status status = vrk_inspect(data, size, &info);
    if (status != VRK_OK) return status;
    const uint32_t values[field_count] = {info.width,
                                          info.height,
                                          info.channels,
                                          info.bits_per_sample,
                                          info.bytes_per_sample,
                                          info.loss_factor,
                                          (uint32_t)info.fast,
                                          (uint32_t)info.graphics,
                                          (uint32_t)info.format,
                                          (uint32_t)info.header_size,
                                          (uint32_t)(info.header_size ? info.header - data : 0)};
    for (int i = 0; i < field_count; ++i) fields[i] = values[i];
    return VRK_OK;
}

int vrkjs_decode(const uint8_t* data, size_t size, void* pixels, size_t capacity, double max_pixels) {
    vrk_decode_options options;
    decode_options_of(&options, max_pixels);
    return vrk_decode(data, size, pixels, 0, capacity, &options);
}

/* On success *out (a vrk_free'd buffer) holds *out_size bytes. */
int vrkjs_encode(const void* pixels, size_t size, uint32_t width, uint32_t height, uint32_t channels,
                 uint32_t bits_per_sample, int fast, int graphics, int loss_factor, uint8_t** out, size_t* out_size) {
    vrk_options options;
    options_of(&options, fast, graphics, loss_factor);
    return vrk_encode(pixels, size, 0, width, height, channels, bits_per_sample, &options, out, out_size);
}

int vrkjs_compress_image(const uint8_t* file, size_t size, int format, int fast, int graphics, int loss_factor,
                         uint8_t** out, size_t* out_size) {
    vrk_options options;
    options_of(&options, fast, graphics, loss_factor);
    return vrk_compress_image(file, size, (vrk_format)format, &options, out, out_size);
}

int vrkjs_compress_raw(const uint8_t* samples, size_t size, uint32_t width, uint32_t height, uint32_t bytes_per_pixel,
                       int fast, int graphics, int loss_factor, uint8_t** out, size_t* out_size) {
    vrk_options options;
    options_of(&options, fast, graphics, loss_factor);
    return vrk_compress_raw(samples, size, width, height, bytes_per_pixel, &options, out, out_size);
}

int vrkjs_restore_image(const uint8_t* data, size_t size, double max_pixels, int* format, uint8_t** out,
                        size_t* out_size) {
    vrk_decode_options options;
    decode_options_of(&options, max_pixels);
    vrk_format restored = VRK_FORMAT_RAW;
    const vrk_status status = vrk_restore_image(data, size, &options, &restored, out, out_size);
    *format = (int)restored;
    return status;
}

} // extern "C"
