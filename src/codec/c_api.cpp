// The C API: each call runs the C++ API and turns every exception into a status.
#include <vrk/vrk.h>
#include <vrk/vrk.hpp>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>
#include <stdexcept>

#include "codec/pixel_bridge.hpp"
#include "core/byte_io.hpp"
#include "core/error.hpp"

namespace {

// Collects the output in one malloc'd buffer that is handed to the caller as is.
class MallocSink final : public vrk::ByteSink {
public:
    MallocSink() = default;
    MallocSink(const MallocSink&) = delete;
    MallocSink& operator=(const MallocSink&) = delete;
    ~MallocSink() override { std::free(data_); }

    std::size_t write(const std::uint8_t* source, std::size_t n) override {
        if (n > capacity_ - size_) {
            if (n > SIZE_MAX / 2 - size_) throw std::bad_alloc();
            const std::size_t capacity = std::max({size_ + n, 2 * capacity_, std::size_t{4096}});
            void* grown = std::realloc(data_, capacity);
            if (grown == nullptr) throw std::bad_alloc();
            data_ = static_cast<std::uint8_t*>(grown);
            capacity_ = capacity;
        }
        if (n != 0) std::memcpy(data_ + size_, source, n);
        size_ += n;
        return n;
    }

    void release(std::uint8_t** out, std::size_t* out_size) noexcept {
        *out = data_;
        *out_size = size_;
        data_ = nullptr;
    }

private:
    std::uint8_t* data_ = nullptr;
    std::size_t size_ = 0;
    std::size_t capacity_ = 0;
};

template <class Body>
vrk_status run(Body&& body) noexcept {
    try {
        body();
        return VRK_OK;
    } catch (const vrk::Error& error) {
        return static_cast<vrk_status>(error.code());
    } catch (const std::bad_alloc&) {
        return VRK_OUT_OF_MEMORY;
    } catch (const std::length_error&) {
        return VRK_OUT_OF_MEMORY;
    } catch (...) {
        return VRK_INVALID_ARGUMENT;
    }
}

void require(bool condition) {
    if (!condition) vrk::fail(vrk::ErrorCode::invalid_argument);
}

// Empties the output pointers first, so that they are NULL and 0 after any failure.
void clear_output(std::uint8_t** out, std::size_t* out_size) noexcept {
    if (out != nullptr) *out = nullptr;
    if (out_size != nullptr) *out_size = 0;
}

void give(const std::vector<std::uint8_t>& bytes, std::uint8_t** out, std::size_t* out_size) {
    MallocSink sink;
    sink.write(bytes.data(), bytes.size());
    sink.release(out, out_size);
}

vrk::Options options_of(const vrk_options* options) {
    if (options == nullptr) return {};
    return {options->fast != 0, options->graphics != 0, options->loss_factor, options->threads};
}

// Shape fields arrive unsigned; anything above the largest dimension is
// refused as such, so a value past int's range need not survive the cast.
int shape_field(std::uint32_t value) noexcept { return static_cast<int>(std::min<std::uint32_t>(value, 65536)); }

bool aligned_for_samples16(const void* p) noexcept {
    return reinterpret_cast<std::uintptr_t>(p) % alignof(std::uint16_t) == 0;
}

} // namespace

extern "C" {

const char* vrk_version(void) { return vrk::version(); }

const char* vrk_status_message(vrk_status status) { return vrk::message_of(static_cast<vrk::ErrorCode>(status)); }

vrk_status vrk_inspect(const std::uint8_t* data, std::size_t size, vrk_info* info) {
    return run([&] {
        require(data != nullptr && info != nullptr);
        const vrk::Info read = vrk::inspect({data, size});
        *info = vrk_info{};
        info->width = static_cast<std::uint32_t>(read.width);
        info->height = static_cast<std::uint32_t>(read.height);
        info->channels = static_cast<std::uint32_t>(read.channels);
        info->bits_per_sample = static_cast<std::uint32_t>(read.bits_per_sample);
        info->bytes_per_sample = static_cast<std::uint32_t>(read.bytes_per_sample);
        info->loss_factor = static_cast<std::uint32_t>(read.loss_factor);
        info->fast = read.fast ? 1 : 0;
        info->graphics = read.graphics ? 1 : 0;
        info->format = static_cast<vrk_format>(read.format);
        info->header = data + 12; // the image header follows the 12-byte container header
        info->header_size = read.header.size();
    });
}

vrk_status vrk_encode(const void* pixels, std::size_t row_stride_bytes, std::uint32_t width, std::uint32_t height,
                      std::uint32_t channels, std::uint32_t bits_per_sample, const vrk_options* options,
                      std::uint8_t** out, std::size_t* out_size) {
    clear_output(out, out_size);
    return run([&] {
        require(pixels != nullptr && out != nullptr && out_size != nullptr);
        const vrk::SampleShape shape{shape_field(width), shape_field(height), shape_field(channels),
                                     shape_field(bits_per_sample)};
        vrk::check_sample_shape(shape);
        const bool deep = shape.bits_per_sample > 8;
        const std::size_t sample_bytes = deep ? 2 : 1;
        require(row_stride_bytes % sample_bytes == 0 && (!deep || aligned_for_samples16(pixels)));
        const std::size_t stride = row_stride_bytes / sample_bytes;
        const std::size_t count = vrk::samples_needed(shape, stride, vrk::ErrorCode::invalid_argument);
        vrk::ImageView view{shape.width, shape.height, shape.channels, shape.bits_per_sample, {}, {}, stride};
        if (deep)
            view.samples16 = {static_cast<const std::uint16_t*>(pixels), count};
        else
            view.samples8 = {static_cast<const std::uint8_t*>(pixels), count};
        MallocSink sink;
        vrk::encode_view(view, options_of(options), sink);
        sink.release(out, out_size);
    });
}

vrk_status vrk_decode(const std::uint8_t* data, std::size_t size, void* pixels, std::size_t row_stride_bytes,
                      std::size_t capacity, const vrk_decode_options* options) {
    return run([&] {
        require(data != nullptr && pixels != nullptr);
        vrk::DecodeOptions decode_options;
        if (options != nullptr) decode_options = {options->max_pixels, options->threads};
        const std::span<const std::uint8_t> compressed(data, size);
        if (vrk::inspect(compressed).bytes_per_sample == 2) {
            require(row_stride_bytes % 2 == 0 && aligned_for_samples16(pixels));
            vrk::decode_into(compressed, std::span<std::uint16_t>(static_cast<std::uint16_t*>(pixels), capacity / 2),
                             row_stride_bytes / 2, decode_options);
        } else {
            vrk::decode_into(compressed, std::span<std::uint8_t>(static_cast<std::uint8_t*>(pixels), capacity),
                             row_stride_bytes, decode_options);
        }
    });
}

vrk_status vrk_compress_image(const std::uint8_t* file, std::size_t size, vrk_format format, const vrk_options* options,
                              std::uint8_t** out, std::size_t* out_size) {
    clear_output(out, out_size);
    return run([&] {
        require(file != nullptr && out != nullptr && out_size != nullptr && format != VRK_FORMAT_RAW);
        give(vrk::compress_image({file, size}, static_cast<vrk::ImageFormat>(format), options_of(options)), out,
             out_size);
    });
}

vrk_status vrk_compress_raw(const std::uint8_t* samples, std::size_t size, std::uint32_t width, std::uint32_t height,
                            std::uint32_t bytes_per_pixel, const vrk_options* options, std::uint8_t** out,
                            std::size_t* out_size) {
    clear_output(out, out_size);
    return run([&] {
        require(samples != nullptr && out != nullptr && out_size != nullptr);
        const vrk::RawLayout layout{shape_field(width), shape_field(height), shape_field(bytes_per_pixel)};
        give(vrk::compress_image({samples, size}, vrk::ImageFormat::raw, options_of(options), layout), out, out_size);
    });
}

vrk_status vrk_restore_image(const std::uint8_t* data, std::size_t size, vrk_format* format, std::uint8_t** out,
                             std::size_t* out_size) {
    clear_output(out, out_size);
    return run([&] {
        require(data != nullptr && out != nullptr && out_size != nullptr);
        const vrk::RestoredImage restored = vrk::restore_image({data, size});
        give(restored.file, out, out_size);
        if (format != nullptr) *format = static_cast<vrk_format>(restored.format);
    });
}

void vrk_free(void* p) { std::free(p); }

} // extern "C"
