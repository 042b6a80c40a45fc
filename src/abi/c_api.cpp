// The C ABI: each call checks the caller's pointers and structs, runs the
// library's own functions (vrk::lib) and turns every exception into a status.
#include <vrk/vrk.h>

#include <algorithm>
#include <cassert>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>
#include <stdexcept>
#include <string>

#include "codec/sample_api.hpp"
#include "core/byte_io.hpp"
#include "core/error.hpp"
#include "core/image_parameters.hpp"
#include "formats/image_api.hpp"

namespace {

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
        // The library throws nothing else, so this is a bug for the tests to
        // find: debug builds stop here. Unwinding into C is never an option,
        // so release builds report the call as refused.
        assert(false && "an exception other than vrk::Error or an allocation failure left the library");
        return VRK_INVALID_ARGUMENT;
    }
}

void require(bool condition) {
    if (!condition) vrk::fail(vrk::ErrorCode::invalid_argument);
}

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

// Empties the output pointers first, so that they are NULL and 0 after any failure.
void clear_output(std::uint8_t** out, std::size_t* out_size) noexcept {
    if (out != nullptr) *out = nullptr;
    if (out_size != nullptr) *out_size = 0;
}

// A path for the caller, in memory vrk_free releases.
void give_path(const std::string& path, char** out_path) {
    if (out_path == nullptr) return;
    auto* copy = static_cast<char*>(std::malloc(path.size() + 1));
    if (copy == nullptr) throw std::bad_alloc();
    std::memcpy(copy, path.c_str(), path.size() + 1);
    *out_path = copy;
}

// The caller's growing structs (see vrk.h): where a field ends decides
// whether the caller's struct_size covers it.
template <class Struct, class Field>
std::size_t end_of(Field Struct::*field) noexcept {
    const Struct probe{};
    const auto* start = reinterpret_cast<const unsigned char*>(&probe);
    return static_cast<std::size_t>(reinterpret_cast<const unsigned char*>(&(probe.*field)) - start) + sizeof(Field);
}

// The caller's struct_size: it must reach the end of `first`, the first
// field after it, and what lies past this library's struct is read as the
// newer fields' values, which must all be zero (their defaults).
template <class Struct, class Field>
std::size_t checked_size(const Struct& s, Field Struct::*first, bool read_past_end) {
    const std::size_t size = s.struct_size;
    require(size >= end_of(first));
    if (read_past_end && size > sizeof(Struct)) {
        const auto* bytes = reinterpret_cast<const unsigned char*>(&s);
        require(std::all_of(bytes + sizeof(Struct), bytes + size, [](unsigned char b) { return b == 0; }));
    }
    return size;
}

// A field of the caller's struct, or its default when struct_size ends before it.
template <class Struct, class Field>
Field get(const Struct& s, std::size_t size, Field Struct::*field) {
    return end_of(field) <= size ? s.*field : Field{};
}

template <class Struct, class Field, class Value>
void put(Struct& s, std::size_t size, Field Struct::*field, Value value) {
    if (end_of(field) <= size) s.*field = static_cast<Field>(value);
}

// 64-bit option fields into the library's ints; values beyond int stay
// beyond every valid setting, so they are refused as such.
int narrow(std::int64_t value) noexcept { return static_cast<int>(std::clamp<std::int64_t>(value, INT_MIN, INT_MAX)); }

vrk::Options options_of(const vrk_options* c) {
    vrk::Options options;
    if (c == nullptr) return options;
    const std::size_t size = checked_size(*c, &vrk_options::fast, true);
    options.fast = get(*c, size, &vrk_options::fast) != 0;
    options.graphics = get(*c, size, &vrk_options::graphics) != 0;
    options.loss_factor = narrow(get(*c, size, &vrk_options::loss_factor));
    options.threads = narrow(get(*c, size, &vrk_options::threads));
    return options;
}

vrk::DecodeOptions decode_options_of(const vrk_decode_options* c) {
    vrk::DecodeOptions options;
    if (c == nullptr) return options;
    const std::size_t size = checked_size(*c, &vrk_decode_options::max_pixels, true);
    options.max_pixels = get(*c, size, &vrk_decode_options::max_pixels);
    options.threads = narrow(get(*c, size, &vrk_decode_options::threads));
    return options;
}

// The caller's vrk_info, checked before anything is read: it is written only
// within its struct_size.
std::size_t info_size_of(const vrk_info& info) { return checked_size(info, &vrk_info::width, false); }

void put_info(vrk_info& c, std::size_t size, const vrk::Info& info, const std::uint8_t* header) {
    put(c, size, &vrk_info::width, info.width);
    put(c, size, &vrk_info::height, info.height);
    put(c, size, &vrk_info::channels, info.channels);
    put(c, size, &vrk_info::bits_per_sample, info.bits_per_sample);
    put(c, size, &vrk_info::bytes_per_sample, info.bytes_per_sample);
    put(c, size, &vrk_info::loss_factor, info.loss_factor);
    put(c, size, &vrk_info::fast, info.fast ? 1 : 0);
    put(c, size, &vrk_info::graphics, info.graphics ? 1 : 0);
    put(c, size, &vrk_info::format, static_cast<vrk_format>(info.format));
    put(c, size, &vrk_info::header, header);
    put(c, size, &vrk_info::header_size, info.header.size());
}

// Shape fields arrive unsigned; anything above the largest dimension is
// refused as such, so a value past int's range need not survive the cast.
int shape_field(std::uint32_t value) noexcept {
    return static_cast<int>(std::min<std::uint32_t>(value, vrk::max_dimension + 1));
}

bool aligned_for_samples16(const void* p) noexcept {
    return reinterpret_cast<std::uintptr_t>(p) % alignof(std::uint16_t) == 0;
}

// The caller's read function as a byte source. It is asked for exactly what
// the codec needs, so the compressed file's bytes alone are taken from it.
class CallbackSource final : public vrk::ByteSource {
public:
    CallbackSource(vrk_read_fn read, void* user) noexcept : read_(read), user_(user) {}

    std::size_t read(std::uint8_t* destination, std::size_t n) override {
        std::size_t done = 0;
        while (done < n && !ended_) {
            const std::size_t got = read_(user_, destination + done, n - done);
            if (got == VRK_READ_FAILED) vrk::fail(vrk::ErrorCode::cannot_read);
            require(got <= n - done);
            ended_ = got == 0;
            done += got;
        }
        return done;
    }

    // A stream is read once, front to back.
    void rewind() override { vrk::fail(vrk::ErrorCode::cannot_read); }

private:
    vrk_read_fn read_;
    void* user_;
    bool ended_ = false;
};

class CallbackSink final : public vrk::ByteSink {
public:
    CallbackSink(vrk_write_fn write, void* user) noexcept : write_(write), user_(user) {}

    std::size_t write(const std::uint8_t* source, std::size_t n) override {
        if (n != 0 && write_(user_, source, n) != 0) vrk::fail(vrk::ErrorCode::cannot_write);
        return n;
    }

private:
    vrk_write_fn write_;
    void* user_;
};

} // namespace

extern "C" {

const char* vrk_version(void) { return VRK_VERSION; }

const char* vrk_status_message(vrk_status status) {
    const vrk::ErrorEntry* entry = vrk::error_entry(static_cast<int>(status));
    return entry != nullptr ? entry->message.data() : "unknown error";
}

const char* vrk_status_name(vrk_status status) {
    const vrk::ErrorEntry* entry = vrk::error_entry(static_cast<int>(status));
    return entry != nullptr ? entry->name.data() : nullptr;
}

vrk_status vrk_inspect(const std::uint8_t* data, std::size_t size, vrk_info* info) {
    return run([&] {
        require(data != nullptr && info != nullptr);
        const std::size_t info_size = info_size_of(*info);
        const vrk::Info read = vrk::lib::inspect({data, size});
        // The image header follows the container header in the caller's data.
        put_info(*info, info_size, read, data + vrk::container_header_size);
    });
}

vrk_status vrk_encode(const void* pixels, std::size_t size, std::size_t row_stride_bytes, std::uint32_t width,
                      std::uint32_t height, std::uint32_t channels, std::uint32_t bits_per_sample,
                      const vrk_options* options, std::uint8_t** out, std::size_t* out_size) {
    clear_output(out, out_size);
    return run([&] {
        require(pixels != nullptr && out != nullptr && out_size != nullptr);
        const vrk::Options settings = options_of(options);
        vrk::ImageView view{
            shape_field(width), shape_field(height), shape_field(channels), shape_field(bits_per_sample), {}, {}, 0};
        // 16-bit samples at an odd address or with an odd stride cannot be
        // read: they go in as no samples at all, which the library refuses
        // (invalid_argument) once the shape has passed its own checks.
        if (view.bits_per_sample <= 8) {
            view.samples8 = {static_cast<const std::uint8_t*>(pixels), size};
            view.row_stride = row_stride_bytes;
        } else if (aligned_for_samples16(pixels) && row_stride_bytes % 2 == 0) {
            view.samples16 = {static_cast<const std::uint16_t*>(pixels), size / 2};
            view.row_stride = row_stride_bytes / 2;
        }
        MallocSink sink;
        vrk::lib::encode(view, settings, sink);
        sink.release(out, out_size);
    });
}

vrk_status vrk_decode(const std::uint8_t* data, std::size_t size, void* pixels, std::size_t row_stride_bytes,
                      std::size_t capacity, const vrk_decode_options* options) {
    return run([&] {
        require(data != nullptr && pixels != nullptr);
        const vrk::DecodeOptions settings = decode_options_of(options);
        const std::span<const std::uint8_t> compressed(data, size);
        if (vrk::lib::inspect(compressed).bytes_per_sample == 2) {
            require(row_stride_bytes % 2 == 0 && aligned_for_samples16(pixels));
            vrk::lib::decode_into(compressed, {static_cast<std::uint16_t*>(pixels), capacity / 2}, row_stride_bytes / 2,
                                  settings);
        } else {
            vrk::lib::decode_into(compressed, {static_cast<std::uint8_t*>(pixels), capacity}, row_stride_bytes,
                                  settings);
        }
    });
}

vrk_status vrk_decode_stream(vrk_read_fn read_fn, vrk_row_fn row_fn, void* user, const vrk_decode_options* options,
                             vrk_info* info) {
    bool info_given = false;
    const vrk_status status = run([&] {
        require(read_fn != nullptr && row_fn != nullptr);
        const vrk::DecodeOptions settings = decode_options_of(options);
        const std::size_t info_size = info != nullptr ? info_size_of(*info) : 0;
        vrk::Info headers; // keeps the header bytes info->header points to
        const auto on_info = [&](const vrk::Info& read) {
            if (info == nullptr) return;
            headers = read;
            put_info(*info, info_size, headers, headers.header.data());
            info_given = true;
        };
        const vrk::RowFunction on_row = [&](int y, const vrk::Row& row) {
            const void* samples = row.samples16.empty() ? static_cast<const void*>(row.samples8.data())
                                                        : static_cast<const void*>(row.samples16.data());
            const std::size_t bytes = row.samples8.size_bytes() + row.samples16.size_bytes();
            if (row_fn(user, static_cast<std::uint32_t>(y), samples, bytes) != 0)
                vrk::fail(vrk::ErrorCode::cannot_write);
        };
        CallbackSource source(read_fn, user);
        vrk::lib::decode_stream(source, on_row, settings, on_info);
    });
    // The header bytes go with the call.
    if (info_given) put(*info, info->struct_size, &vrk_info::header, nullptr);
    return status;
}

vrk_status vrk_encode_stream(std::uint32_t width, std::uint32_t height, std::uint32_t channels,
                             std::uint32_t bits_per_sample, vrk_row_source_fn row_source_fn, vrk_write_fn write_fn,
                             void* user, const vrk_options* options, std::uint64_t* written) {
    if (written != nullptr) *written = 0;
    return run([&] {
        require(row_source_fn != nullptr && write_fn != nullptr);
        const vrk::Options settings = options_of(options);
        vrk::RowSource rows{
            shape_field(width), shape_field(height), shape_field(channels), shape_field(bits_per_sample), {}};
        const std::size_t sample_bytes = rows.bits_per_sample > 8 ? 2 : 1;
        const std::size_t row_bytes =
            static_cast<std::size_t>(rows.width) * static_cast<std::size_t>(rows.channels) * sample_bytes;
        // One row at a time, 2-byte aligned for either depth; made at the
        // first row, once the library has accepted the shape.
        std::vector<std::uint16_t> row;
        rows.row = [&](int y) {
            if (row.empty()) row.resize((row_bytes + 1) / 2);
            if (row_source_fn(user, static_cast<std::uint32_t>(y), row.data(), row_bytes) != 0)
                vrk::fail(vrk::ErrorCode::cannot_read);
            if (sample_bytes == 2) return vrk::Row{{}, {row.data(), row_bytes / 2}};
            return vrk::Row{{reinterpret_cast<const std::uint8_t*>(row.data()), row_bytes}, {}};
        };
        CallbackSink sink(write_fn, user);
        const std::uint64_t size = vrk::lib::encode_stream(rows, settings, sink);
        if (written != nullptr) *written = size;
    });
}

vrk_status vrk_compress_image(const std::uint8_t* file, std::size_t size, vrk_format format, const vrk_options* options,
                              std::uint8_t** out, std::size_t* out_size) {
    clear_output(out, out_size);
    return run([&] {
        require(file != nullptr && out != nullptr && out_size != nullptr && format != VRK_FORMAT_RAW);
        MallocSink sink;
        vrk::lib::compress_image({file, size}, static_cast<vrk::ImageFormat>(format), options_of(options), {}, sink);
        sink.release(out, out_size);
    });
}

vrk_status vrk_compress_raw(const std::uint8_t* samples, std::size_t size, std::uint32_t width, std::uint32_t height,
                            std::uint32_t bytes_per_pixel, const vrk_options* options, std::uint8_t** out,
                            std::size_t* out_size) {
    clear_output(out, out_size);
    return run([&] {
        require(samples != nullptr && out != nullptr && out_size != nullptr);
        const vrk::RawLayout layout{shape_field(width), shape_field(height), shape_field(bytes_per_pixel)};
        MallocSink sink;
        vrk::lib::compress_image({samples, size}, vrk::ImageFormat::raw, options_of(options), layout, sink);
        sink.release(out, out_size);
    });
}

vrk_status vrk_restore_image(const std::uint8_t* data, std::size_t size, const vrk_decode_options* options,
                             vrk_format* format, std::uint8_t** out, std::size_t* out_size) {
    clear_output(out, out_size);
    return run([&] {
        require(data != nullptr && out != nullptr && out_size != nullptr);
        MallocSink sink;
        const vrk::ImageFormat restored = vrk::lib::restore_image({data, size}, sink, decode_options_of(options));
        sink.release(out, out_size);
        if (format != nullptr) *format = static_cast<vrk_format>(restored);
    });
}

vrk_status vrk_compress_file(const char* path, const vrk_options* options, std::uint32_t raw_width,
                             std::uint32_t raw_height, std::uint32_t raw_bytes_per_pixel, int overwrite,
                             char** out_path) {
    if (out_path != nullptr) *out_path = nullptr;
    return run([&] {
        require(path != nullptr);
        const vrk::RawLayout layout{shape_field(raw_width), shape_field(raw_height), shape_field(raw_bytes_per_pixel)};
        give_path(vrk::lib::compress_file(path, options_of(options), layout, overwrite != 0), out_path);
    });
}

vrk_status vrk_restore_file(const char* path, int overwrite, const vrk_decode_options* options, char** out_path) {
    if (out_path != nullptr) *out_path = nullptr;
    return run([&] {
        require(path != nullptr);
        give_path(vrk::lib::restore_file(path, overwrite != 0, decode_options_of(options)), out_path);
    });
}

void vrk_free(void* p) { std::free(p); }

} // extern "C"
