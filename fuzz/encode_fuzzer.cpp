// The encoder on arbitrary pixels, shapes and options, followed by a decode
// that must restore the image exactly (lossless) or within the loss factor
// (near-lossless graphics mode). Refusing samples above the declared depth
// is an accepted outcome.
#include <cstdlib>

#include "fuzz_image.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    vrk::fuzz::FuzzImage image;
    if (!vrk::fuzz::make_fuzz_image(data, size, image)) return 0;
    std::vector<std::uint8_t> compressed;
    try {
        compressed = vrk::compress_image(image.file, image.format, image.options);
    } catch (const vrk::Error& error) {
        if (error.code() == vrk::ErrorCode::invalid_parameters && image.bytes_per_pixel == 2) return 0;
        std::abort();
    }
    const vrk::RestoredImage restored = vrk::restore_image(compressed); // any error here is a finding
    if (restored.format != image.format || restored.file.size() != image.file.size()) std::abort();
    const int loss = image.options.loss_factor;
    if (loss == 0) {
        if (restored.file != image.file) std::abort();
    } else if (image.options.graphics) {
        const std::size_t header =
            image.file.size() - static_cast<std::size_t>(image.width) * image.height * image.bytes_per_pixel;
        const std::size_t step = image.bytes_per_pixel == 2 ? 2 : 1;
        for (std::size_t i = header; i < image.file.size(); i += step) {
            int original = image.file[i], decoded = restored.file[i];
            if (step == 2) {
                original = original << 8 | image.file[i + 1];
                decoded = decoded << 8 | restored.file[i + 1];
            }
            if (std::abs(original - decoded) > loss) std::abort();
        }
    }
    return 0;
}
