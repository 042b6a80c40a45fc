#include "codec/pixel_bridge.hpp"

#include <algorithm>
#include <cstring>
#include <limits>
#include <string>

#include "codec/codec.hpp"
#include "codec/image_formats.hpp"
#include "core/error.hpp"

namespace vrk {

namespace {

constexpr int largest_dimension = 65535; // what the container header can store

// The PNM file of rows of samples, made as the encoder reads it: the header
// from memory, then each row as the source is drained, checked and in file
// byte order. Row y is asked for once, when its first byte is needed.
class PnmSource final : public ByteSource {
public:
    PnmSource(const SampleShape& shape, const std::function<Row(int)>& row)
        : shape_(shape), row_(row), row_bytes_(shape.row_samples() * (deep() ? 2 : 1)), row_position_(row_bytes_) {
        const bool colour = shape.channels == 3;
        const int maximum = shape.bits_per_sample == 8 ? 255 : (1 << shape.bits_per_sample) - 1;
        header_ = std::string(colour ? "P6\n" : "P5\n") + std::to_string(shape.width) + " " +
                  std::to_string(shape.height) + "\n" + std::to_string(maximum) + "\n";
        if (deep()) wide_row_.resize(row_bytes_);
    }

    std::size_t read(std::uint8_t* destination, std::size_t n) override {
        std::size_t done = 0;
        while (done < n) {
            if (header_position_ < header_.size()) {
                const std::size_t count = std::min(n - done, header_.size() - header_position_);
                std::memcpy(destination + done, header_.data() + header_position_, count);
                header_position_ += count;
                done += count;
                continue;
            }
            if (row_position_ == row_bytes_) {
                if (next_row_ == shape_.height) break;
                fetch_row(next_row_++);
            }
            const std::size_t count = std::min(n - done, row_bytes_ - row_position_);
            std::memcpy(destination + done, current_ + row_position_, count);
            row_position_ += count;
            done += count;
        }
        return done;
    }

    // The header reader goes back to the start once it knows the header's
    // size; rows are never read twice.
    void rewind() override {
        if (next_row_ != 0) fail(ErrorCode::cannot_read);
        header_position_ = 0;
    }

private:
    bool deep() const noexcept { return shape_.bits_per_sample > 8; }

    void fetch_row(int y) {
        const Row row = row_(y);
        const std::size_t n = shape_.row_samples();
        if (!deep()) {
            if (row.samples8.size() < n) fail(ErrorCode::invalid_argument);
            current_ = row.samples8.data();
        } else {
            if (row.samples16.size() < n) fail(ErrorCode::invalid_argument);
            const std::uint32_t maximum = (std::uint32_t{1} << shape_.bits_per_sample) - 1;
            std::uint8_t* out = wide_row_.data();
            for (std::size_t i = 0; i < n; ++i) {
                const std::uint16_t sample = row.samples16[i];
                if (sample > maximum) fail(ErrorCode::invalid_parameters);
                out[2 * i] = static_cast<std::uint8_t>(sample >> 8);
                out[2 * i + 1] = static_cast<std::uint8_t>(sample);
            }
            current_ = out;
        }
        row_position_ = 0;
    }

    SampleShape shape_;
    const std::function<Row(int)>& row_;
    std::string header_;
    std::size_t header_position_ = 0;
    std::size_t row_bytes_;
    std::size_t row_position_; // row_bytes_ when the next read needs a new row
    int next_row_ = 0;
    const std::uint8_t* current_ = nullptr;
    std::vector<std::uint8_t> wide_row_; // deep rows in file byte order
};

} // namespace

void check_sample_shape(const SampleShape& shape) {
    const int bits = shape.bits_per_sample;
    if ((shape.channels != 1 && shape.channels != 3) || bits < 8 || bits > 16 || (shape.channels == 3 && bits != 8))
        fail(ErrorCode::invalid_argument);
    if (shape.width < 32 || shape.height < 32) fail(ErrorCode::invalid_dimension);
    if (shape.width > largest_dimension || shape.height > largest_dimension) fail(ErrorCode::invalid_parameters);
}

std::size_t samples_needed(const SampleShape& shape, std::size_t row_stride, ErrorCode error) {
    const std::size_t row = shape.row_samples();
    const std::size_t stride = row_stride == 0 ? row : row_stride;
    if (stride < row || shape.height < 1) fail(error);
    const auto gaps = static_cast<std::size_t>(shape.height - 1);
    if (gaps != 0 && stride > (std::numeric_limits<std::size_t>::max() - row) / gaps) fail(error);
    return gaps * stride + row;
}

std::uint64_t encode_rows(const SampleShape& shape, const std::function<Row(int)>& row, const Options& options,
                          ByteSink& out) {
    check_threads(options.threads);
    PnmSource source(shape, row);
    ImageParameters image;
    image.mode_flags = mode_flags_for(options);
    image.loss_factor = options.loss_factor;
    const ImageFormat format = shape.channels == 3 ? ImageFormat::ppm : ImageFormat::pgm;
    const std::uint32_t header_crc = read_image_parameters(source, format, {}, image);
    return static_cast<std::uint64_t>(write_compressed_file(image, header_crc, source, out, {options.threads}));
}

std::uint32_t read_compressed_headers(ByteSource& compressed, ImageParameters& image) {
    return read_compressed_parameters(compressed, image);
}

Info info_of(const ImageParameters& image) {
    Info info;
    info.width = image.width;
    info.height = image.height;
    info.channels = image.plane_count();
    info.bits_per_sample = image.bits_per_sample;
    info.bytes_per_sample = image.bytes_per_pixel == 2 ? 2 : 1;
    info.loss_factor = image.loss_factor;
    info.fast = image.fast();
    info.graphics = image.graphics();
    info.format = image.format;
    info.header = image.image_header_bytes;
    return info;
}

void check_decode_options(const ImageParameters& image, const DecodeOptions& options) {
    check_threads(options.threads);
    const std::uint64_t pixels = static_cast<std::uint64_t>(image.width) * static_cast<std::uint64_t>(image.height);
    if (options.max_pixels != 0 && pixels > options.max_pixels) fail(ErrorCode::limit_exceeded);
}

RowSink::RowSink(const ImageParameters& image)
    : row_samples_(static_cast<std::size_t>(image.width) * static_cast<std::size_t>(image.plane_count())),
      row_bytes_(static_cast<std::size_t>(image.width) * static_cast<std::size_t>(image.bytes_per_pixel)),
      height_(image.height) {}

std::size_t RowSink::write(const std::uint8_t* source, std::size_t n) {
    std::size_t taken = 0;
    while (taken < n && next_row_ < height_) {
        if (partial_size_ == 0 && n - taken >= row_bytes_) {
            deliver(next_row_++, source + taken); // whole rows straight from the decoder's bytes
            taken += row_bytes_;
            continue;
        }
        if (partial_.empty()) partial_.resize(row_bytes_);
        const std::size_t count = std::min(n - taken, row_bytes_ - partial_size_);
        std::memcpy(partial_.data() + partial_size_, source + taken, count);
        partial_size_ += count;
        taken += count;
        if (partial_size_ == row_bytes_) {
            partial_size_ = 0;
            deliver(next_row_++, partial_.data());
        }
    }
    return taken; // bytes past the last row are refused
}

void decode_rows(const ImageParameters& image, std::uint32_t header_crc, ByteSource& compressed, RowSink& rows,
                 int threads) {
    decode_image(image, header_crc, compressed, rows, {threads});
    if (rows.rows_delivered() != image.height) fail(ErrorCode::cannot_write);
}

void unpack_samples16(const std::uint8_t* bytes, std::size_t count, std::uint16_t* samples) noexcept {
    for (std::size_t i = 0; i < count; ++i)
        samples[i] = static_cast<std::uint16_t>(bytes[2 * i] << 8 | bytes[2 * i + 1]);
}

} // namespace vrk
