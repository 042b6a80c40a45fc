// The pixel API: samples in memory to a compressed file and back.
#include <vrk/vrk.hpp>

#include <algorithm>
#include <cstring>

#include "codec/pixel_bridge.hpp"
#include "core/error.hpp"

namespace vrk {

namespace {

// Appends each row to the image's samples, growing them as rows arrive, so a
// file that ends early has cost at most what it delivered.
class GrowingImage final : public RowSink {
public:
    GrowingImage(const ImageParameters& parameters, Image& image)
        : RowSink(parameters), image_(image),
          total_samples_(row_samples() * static_cast<std::size_t>(parameters.height)),
          deep_(parameters.bytes_per_pixel == 2) {}

private:
    void deliver(int, const std::uint8_t* bytes) override {
        if (deep_)
            unpack_samples16(bytes, row_samples(), grow(image_.samples16));
        else
            std::memcpy(grow(image_.samples8), bytes, row_samples());
    }

    // Room for one more row, at most doubling and never past the whole image.
    template <class Sample>
    Sample* grow(std::vector<Sample>& samples) {
        const std::size_t used = samples.size();
        if (samples.capacity() < used + row_samples())
            samples.reserve(std::min(total_samples_, std::max(used + row_samples(), 2 * samples.capacity())));
        samples.resize(used + row_samples());
        return samples.data() + used;
    }

    Image& image_;
    std::size_t total_samples_;
    bool deep_;
};

// Writes each row into the caller's buffer, `stride` samples apart.
template <class Sample>
class BufferRows final : public RowSink {
public:
    BufferRows(const ImageParameters& parameters, Sample* base, std::size_t stride)
        : RowSink(parameters), base_(base), stride_(stride) {}

private:
    void deliver(int y, const std::uint8_t* bytes) override {
        Sample* out = base_ + static_cast<std::size_t>(y) * stride_;
        if constexpr (sizeof(Sample) == 2)
            unpack_samples16(bytes, row_samples(), out);
        else
            std::memcpy(out, bytes, row_samples());
    }

    Sample* base_;
    std::size_t stride_;
};

template <class Sample>
Info decode_into_buffer(std::span<const std::uint8_t> compressed, std::span<Sample> destination, std::size_t row_stride,
                        const DecodeOptions& options) {
    return guarded([&] {
        MemorySource source(compressed);
        ImageParameters image;
        const std::uint32_t header_crc = read_compressed_headers(source, image);
        check_decode_options(image, options);
        if ((image.bytes_per_pixel == 2) != (sizeof(Sample) == 2)) fail(ErrorCode::invalid_argument);
        const SampleShape shape{image.width, image.height, image.plane_count(), image.bits_per_sample};
        if (destination.size() < samples_needed(shape, row_stride, ErrorCode::buffer_too_small))
            fail(ErrorCode::buffer_too_small);
        BufferRows<Sample> rows(image, destination.data(), row_stride == 0 ? shape.row_samples() : row_stride);
        decode_rows(image, header_crc, source, rows, options.threads);
        return info_of(image);
    });
}

} // namespace

void encode_view(const ImageView& view, const Options& options, ByteSink& out) {
    const SampleShape shape{view.width, view.height, view.channels, view.bits_per_sample};
    check_sample_shape(shape);
    const bool deep = shape.bits_per_sample > 8;
    const std::size_t available = deep ? view.samples16.size() : view.samples8.size();
    if (available < samples_needed(shape, view.row_stride, ErrorCode::invalid_argument))
        fail(ErrorCode::invalid_argument);
    const std::size_t n = shape.row_samples();
    const std::size_t stride = view.row_stride == 0 ? n : view.row_stride;
    const std::function<Row(int)> rows = [&](int y) {
        const std::size_t start = static_cast<std::size_t>(y) * stride;
        return deep ? Row{{}, view.samples16.subspan(start, n)} : Row{view.samples8.subspan(start, n), {}};
    };
    encode_rows(shape, rows, options, out);
}

Info inspect(std::span<const std::uint8_t> compressed) {
    return guarded([&] {
        MemorySource source(compressed);
        ImageParameters image;
        read_compressed_headers(source, image);
        return info_of(image);
    });
}

std::vector<std::uint8_t> encode(const ImageView& image, const Options& options) {
    return guarded([&] {
        MemorySink sink;
        encode_view(image, options, sink);
        return sink.take();
    });
}

Image decode(std::span<const std::uint8_t> compressed, const DecodeOptions& options) {
    return guarded([&] {
        MemorySource source(compressed);
        ImageParameters parameters;
        const std::uint32_t header_crc = read_compressed_headers(source, parameters);
        check_decode_options(parameters, options);
        Image image;
        image.info = info_of(parameters);
        GrowingImage rows(parameters, image);
        decode_rows(parameters, header_crc, source, rows, options.threads);
        return image;
    });
}

Info decode_into(std::span<const std::uint8_t> compressed, std::span<std::uint8_t> destination, std::size_t row_stride,
                 const DecodeOptions& options) {
    return decode_into_buffer(compressed, destination, row_stride, options);
}

Info decode_into(std::span<const std::uint8_t> compressed, std::span<std::uint16_t> destination, std::size_t row_stride,
                 const DecodeOptions& options) {
    return decode_into_buffer(compressed, destination, row_stride, options);
}

} // namespace vrk
