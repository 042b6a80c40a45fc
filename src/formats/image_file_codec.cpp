#include "formats/image_file_codec.hpp"

#include "codec/codec.hpp"
#include "core/error.hpp"
#include "core/strip_schedule.hpp"

namespace vrk {

namespace {

std::size_t row_samples_of(const ImageParameters& image) noexcept {
    return static_cast<std::size_t>(image.width) * static_cast<std::size_t>(image.plane_count());
}

// 16-bit samples travel through one strip of file bytes, reused.
std::size_t wide_bytes(const ImageParameters& image) noexcept {
    return image.bytes_per_pixel == 2 ? 2 * static_cast<std::size_t>(max_strip_rows) * row_samples_of(image) : 0;
}

} // namespace

ImageFileSource::ImageFileSource(const ImageParameters& image, ByteSource& file)
    : file_(file), row_samples_(row_samples_of(image)), bytes_(wide_bytes(image)) {}

void ImageFileSource::read_rows(int, int count, std::uint8_t* samples) {
    file_.read_exact(samples, static_cast<std::size_t>(count) * row_samples_);
}

void ImageFileSource::read_rows(int, int count, std::uint16_t* samples) {
    const std::size_t n = static_cast<std::size_t>(count) * row_samples_;
    file_.read_exact(bytes_.data(), 2 * n);
    for (std::size_t i = 0; i < n; ++i) samples[i] = static_cast<std::uint16_t>(bytes_[2 * i] << 8 | bytes_[2 * i + 1]);
}

ImageFileSink::ImageFileSink(const ImageParameters& image, ByteSink& file)
    : file_(file), row_samples_(row_samples_of(image)), bytes_(wide_bytes(image)) {}

void ImageFileSink::write_rows(int, int count, const std::uint8_t* samples) {
    file_.write_exact(samples, static_cast<std::size_t>(count) * row_samples_);
}

void ImageFileSink::write_rows(int, int count, const std::uint16_t* samples) {
    const std::size_t n = static_cast<std::size_t>(count) * row_samples_;
    for (std::size_t i = 0; i < n; ++i) {
        bytes_[2 * i] = static_cast<std::uint8_t>(samples[i] >> 8);
        bytes_[2 * i + 1] = static_cast<std::uint8_t>(samples[i]);
    }
    file_.write_exact(bytes_.data(), 2 * n);
}

void finish_image_file(ByteSource& image_file) {
    if (image_file.read_byte() >= 0) fail(ErrorCode::image_too_large);
    if (!image_file.close()) fail(ErrorCode::cannot_close_image);
}

void finish_image_file(ByteSink& image_file) {
    if (!image_file.close()) fail(ErrorCode::cannot_close_image);
}

std::uint64_t encode_image_file(const ImageParameters& image, std::uint32_t header_crc, ByteSource& image_file,
                                CompressedWriter& out, int threads) {
    ImageFileSource source(image, image_file);
    const std::uint32_t crc = encode_strips(image, header_crc, source, out, {threads});
    finish_image_file(image_file);
    return out.finish(crc);
}

void decode_image_file(const ImageParameters& image, std::uint32_t header_crc, CompressedReader& in,
                       ByteSink& image_file, int threads) {
    ImageFileSink sink(image, image_file);
    const std::uint32_t crc = decode_strips(image, header_crc, in, sink, {threads});
    finish_image_file(image_file);
    in.finish(crc);
}

} // namespace vrk
