// The library's samples <-> .vrk functions: rows of samples straight into
// the strip driver, and the decoder's rows straight out to the caller.
#include "codec/sample_api.hpp"

#include <cstring>
#include <string>

#include "codec/api_common.hpp"
#include "codec/codec.hpp"
#include "codec/compressed_stream.hpp"
#include "codec/container.hpp"
#include "core/error.hpp"

namespace vrk::lib {

namespace {

struct Shape {
    int width = 0;
    int height = 0;
    int channels = 1;
    int bits_per_sample = 8;

    std::size_t row_samples() const noexcept {
        return static_cast<std::size_t>(width) * static_cast<std::size_t>(channels);
    }
    bool deep() const noexcept { return bits_per_sample > 8; }
};

// Channels and depth the library cannot take (invalid_argument), then fewer
// than 32 columns or rows (invalid_dimension), then more than the header can
// store (invalid_parameters), as for the vrk command.
void check_shape(const Shape& shape) {
    const int bits = shape.bits_per_sample;
    if ((shape.channels != 1 && shape.channels != 3) || bits < 8 || bits > 16 || (shape.channels == 3 && bits != 8))
        fail(ErrorCode::invalid_argument);
    if (shape.width < 32 || shape.height < 32) fail(ErrorCode::invalid_dimension);
    if (shape.width > max_dimension || shape.height > max_dimension) fail(ErrorCode::invalid_parameters);
}

// The parameters the PNM reader gives the PGM or PPM file of these samples:
// "P5\n<w> <h>\n<maxval>\n" (maxval 255 at 8 bits, 2^bits - 1 above) for
// one channel, "P6\n<w> <h>\n255\n" for three. Returns the header CRC.
std::uint32_t parameters_for(const Shape& shape, const Options& options, ImageParameters& image) {
    const bool colour = shape.channels == 3;
    const int maximum = shape.bits_per_sample == 8 ? 255 : (1 << shape.bits_per_sample) - 1;
    const std::string header = std::string(colour ? "P6\n" : "P5\n") + std::to_string(shape.width) + " " +
                               std::to_string(shape.height) + "\n" + std::to_string(maximum) + "\n";
    image.format = colour ? ImageFormat::ppm : ImageFormat::pgm;
    image.width = shape.width;
    image.height = shape.height;
    image.bytes_per_pixel = colour ? 3 : shape.deep() ? 2 : 1;
    image.bits_per_sample = shape.bits_per_sample;
    image.loss_factor = options.loss_factor;
    image.mode_flags = mode_flags_for(options);
    image.image_header_bytes.assign(header.begin(), header.end());
    make_container_header(image);
    check_image_parameters(image, false);
    return header_crc_of(image);
}

// The caller's rows, each asked for once and copied into the strip: a row
// shorter than the image's is invalid_argument, a sample above 2^bits - 1
// invalid_parameters.
class CallerRows final : public SampleSource {
public:
    CallerRows(const Shape& shape, const std::function<Row(int)>& row) : shape_(shape), row_(row) {}

    void read_rows(int first, int count, std::uint8_t* samples) override {
        const std::size_t n = shape_.row_samples();
        for (int y = first; y < first + count; ++y, samples += n) {
            const Row row = row_(y);
            if (row.samples8.size() < n) fail(ErrorCode::invalid_argument);
            std::memcpy(samples, row.samples8.data(), n);
        }
    }

    void read_rows(int first, int count, std::uint16_t* samples) override {
        const std::size_t n = shape_.row_samples();
        const std::uint32_t maximum = (std::uint32_t{1} << shape_.bits_per_sample) - 1;
        for (int y = first; y < first + count; ++y, samples += n) {
            const Row row = row_(y);
            if (row.samples16.size() < n) fail(ErrorCode::invalid_argument);
            std::uint16_t largest = 0;
            for (std::size_t i = 0; i < n; ++i) {
                samples[i] = row.samples16[i];
                largest = std::max(largest, samples[i]);
            }
            if (largest > maximum) fail(ErrorCode::invalid_parameters);
        }
    }

private:
    Shape shape_;
    const std::function<Row(int)>& row_;
};

std::uint64_t encode_rows(const Shape& shape, const std::function<Row(int)>& row, const Options& options,
                          ByteSink& out) {
    check_threads(options.threads);
    ImageParameters image;
    const std::uint32_t header_crc = parameters_for(shape, options, image);
    CompressedWriter writer(out);
    writer.write_headers(image);
    CallerRows source(shape, row);
    return writer.finish(encode_strips(image, header_crc, source, writer, {options.threads}));
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

// Rows into the caller's buffer, `stride` samples apart.
template <class Sample>
class BufferRows final : public SampleSink {
public:
    BufferRows(std::size_t row_samples, Sample* base, std::size_t stride)
        : row_samples_(row_samples), base_(base), stride_(stride) {}

    void write_rows(int first, int count, const Sample* samples) override {
        for (int y = first; y < first + count; ++y, samples += row_samples_)
            std::memcpy(base_ + static_cast<std::size_t>(y) * stride_, samples, row_samples_ * sizeof(Sample));
    }

private:
    std::size_t row_samples_;
    Sample* base_;
    std::size_t stride_;
};

// Rows to the caller's function, one at a time.
class CallbackRows final : public SampleSink {
public:
    CallbackRows(std::size_t row_samples, const RowFunction& on_row) : row_samples_(row_samples), on_row_(on_row) {}

    void write_rows(int first, int count, const std::uint8_t* samples) override {
        for (int y = first; y < first + count; ++y, samples += row_samples_)
            on_row_(y, Row{{samples, row_samples_}, {}});
    }
    void write_rows(int first, int count, const std::uint16_t* samples) override {
        for (int y = first; y < first + count; ++y, samples += row_samples_)
            on_row_(y, Row{{}, {samples, row_samples_}});
    }

private:
    std::size_t row_samples_;
    const RowFunction& on_row_;
};

// Reads the headers, checks the options, lets `make_sink` check its own
// needs (it runs before any buffer for the image is allocated) and decodes.
template <class MakeSink>
Info decode_from(ByteSource& source, const DecodeOptions& options, MakeSink&& make_sink) {
    CompressedReader reader(source);
    ImageParameters image;
    const std::uint32_t header_crc = reader.read_headers(image);
    check_decode_options(image, options);
    auto sink = make_sink(image);
    reader.finish(decode_strips(image, header_crc, reader, sink, {options.threads}));
    return info_of(image);
}

template <class Sample>
Info decode_into_buffer(std::span<const std::uint8_t> compressed, std::span<Sample> destination, std::size_t row_stride,
                        const DecodeOptions& options) {
    MemorySource source(compressed);
    return decode_from(source, options, [&](const ImageParameters& image) {
        if ((image.bytes_per_pixel == 2) != (sizeof(Sample) == 2)) fail(ErrorCode::invalid_argument);
        const std::size_t row = static_cast<std::size_t>(image.width) * static_cast<std::size_t>(image.plane_count());
        if (destination.size() < units_needed(row, image.height, row_stride, ErrorCode::buffer_too_small))
            fail(ErrorCode::buffer_too_small);
        return BufferRows<Sample>(row, destination.data(), row_stride == 0 ? row : row_stride);
    });
}

} // namespace

Info inspect(std::span<const std::uint8_t> compressed) {
    MemorySource source(compressed);
    CompressedReader reader(source);
    ImageParameters image;
    reader.read_headers(image);
    return info_of(image);
}

std::uint64_t encode(const ImageView& view, const Options& options, ByteSink& out) {
    const Shape shape{view.width, view.height, view.channels, view.bits_per_sample};
    check_shape(shape);
    const std::size_t available = shape.deep() ? view.samples16.size() : view.samples8.size();
    const std::size_t n = shape.row_samples();
    if (available < units_needed(n, shape.height, view.row_stride, ErrorCode::invalid_argument))
        fail(ErrorCode::invalid_argument);
    const std::size_t stride = view.row_stride == 0 ? n : view.row_stride;
    const std::function<Row(int)> rows = [&](int y) {
        const std::size_t start = static_cast<std::size_t>(y) * stride;
        return shape.deep() ? Row{{}, view.samples16.subspan(start, n)} : Row{view.samples8.subspan(start, n), {}};
    };
    return encode_rows(shape, rows, options, out);
}

std::uint64_t encode_stream(const RowSource& rows, const Options& options, ByteSink& out) {
    const Shape shape{rows.width, rows.height, rows.channels, rows.bits_per_sample};
    check_shape(shape);
    if (!rows.row) fail(ErrorCode::invalid_argument);
    return encode_rows(shape, rows.row, options, out);
}

Info decode_into(std::span<const std::uint8_t> compressed, std::span<std::uint8_t> destination, std::size_t row_stride,
                 const DecodeOptions& options) {
    return decode_into_buffer(compressed, destination, row_stride, options);
}

Info decode_into(std::span<const std::uint8_t> compressed, std::span<std::uint16_t> destination, std::size_t row_stride,
                 const DecodeOptions& options) {
    return decode_into_buffer(compressed, destination, row_stride, options);
}

Info decode_stream(ByteSource& compressed, const RowFunction& on_row, const DecodeOptions& options,
                   const std::function<void(const Info&)>& on_info) {
    if (!on_row) fail(ErrorCode::invalid_argument);
    return decode_from(compressed, options, [&](const ImageParameters& image) {
        if (on_info) on_info(info_of(image));
        return CallbackRows(static_cast<std::size_t>(image.width) * static_cast<std::size_t>(image.plane_count()),
                            on_row);
    });
}

} // namespace vrk::lib
