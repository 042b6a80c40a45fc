// vrk: lossless and near-lossless still-image compression.
//
// Four ways in, one format out:
//   - pixels:  encode / decode / decode_into turn samples in memory into the
//              bytes of a .vrk file and back, with inspect for the header;
//   - streams: encode_stream / decode_stream do the same row by row, in
//              constant memory, from and to any byte source or sink;
//   - images:  compress_image / restore_image turn a whole PGM, PPM, Sun
//              raster or raw file into a .vrk file and back, header and all;
//   - files:   compress_file / restore_file do what the vrk command does, on
//              disk, without its prompt.
// The same input gives the same bytes through every way and through the
// command line. Every failure throws vrk::Error with a fixed code and
// message; damaged or hostile input gives an error, never a wrong image
// reported as success. Independent calls may run in parallel threads.
//
// Header-only: every function here is an inline layer over the C ABI of
// <vrk/vrk.h>, which is all the library exports. Exceptions thrown by the
// caller's own functions (read, write, rows) come out of the call unchanged.
#pragma once

#include <vrk/vrk.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <exception>
#include <functional>
#include <new>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

namespace vrk {

// Every way a call can fail, with fixed numbers shared by the C and Python
// APIs. Each has one fixed message; 1 to 12 are the vrk command's own texts.
enum class ErrorCode : int {
    ok = 0,
    unsupported_image = 1,       // "Image header or type not supported or invalid"
    cannot_open_input = 2,       // "Cannot open input file"
    cannot_open_output = 3,      // "Cannot open output file"
    cannot_read = 4,             // "Cannot read from file"
    cannot_write = 5,            // "Cannot write to file"
    invalid_compressed_file = 6, // "Invalid compressed file"
    invalid_dimension = 7,       // "Invalid image dimension (<32)"
    invalid_parameters = 8,      // "Invalid image parameters"
    incorrect_crc = 9,           // "Incorrect image CRC"
    image_too_large = 10,        // "image is larger than specified dimension"
    cannot_close_image = 11,     // "Cannot close image file"
    out_of_memory = 12,          // "not enough memory"
    limit_exceeded = 13,         // "Image exceeds the decoding limit"
    output_exists = 14,          // "Output file exists"
    invalid_argument = 15,       // "Invalid argument"
    buffer_too_small = 16,       // "Buffer too small"
};

// The fixed message of an error code, without decoration.
inline const char* message_of(ErrorCode code) noexcept {
    return vrk_status_message(static_cast<vrk_status>(static_cast<int>(code)));
}

class Error : public std::runtime_error {
public:
    explicit Error(ErrorCode code) : std::runtime_error(message_of(code)), code_(code) {}
    ErrorCode code() const noexcept { return code_; }

private:
    ErrorCode code_;
};

// The library's version, "MAJOR.MINOR.PATCH".
inline const char* version() noexcept { return vrk_version(); }

// The image file formats; a compressed file remembers the one it came from.
enum class ImageFormat : int { raw = 1, sun_raster = 2, pgm = 3, ppm = 4 };

struct Options {
    bool fast = false;     // adaptive prefix codes instead of arithmetic coding
    bool graphics = false; // the graphics engine (prediction) for synthetic images
    int loss_factor = 0;   // 0 lossless, 1..12 lossy (near-lossless with `graphics`)
    int threads = 0;       // 0 automatic, 1 one thread, more: as many stages as help; < 0 invalid_argument
};

struct DecodeOptions {
    std::uint64_t max_pixels = 0; // width x height above this is refused (limit_exceeded); 0: no limit
    int threads = 0;              // as in Options
};

// What a compressed file holds, read from its headers alone.
struct Info {
    int width = 0;
    int height = 0;
    int channels = 1;         // 1 grey, 3 colour
    int bits_per_sample = 8;  // 8..16
    int bytes_per_sample = 1; // 1, or 2 for 9..16 bits
    int loss_factor = 0;
    bool fast = false;
    bool graphics = false;
    ImageFormat format = ImageFormat::pgm;
    std::vector<std::uint8_t> header; // the original file's header bytes (PNM comments, a colour map)
};

// Samples in memory, rows top to bottom, channels interleaved. 8-bit images
// use samples8, 9..16-bit images samples16 (native byte order). row_stride
// counts samples from one row's start to the next; 0 means width * channels.
struct ImageView {
    int width = 0;
    int height = 0;
    int channels = 1;
    int bits_per_sample = 8;
    std::span<const std::uint8_t> samples8{};
    std::span<const std::uint16_t> samples16{};
    std::size_t row_stride = 0;
};

// A decoded image: its Info and its samples, rows packed (width * channels
// samples a row). samples8 holds 8-bit images, samples16 deeper ones. A Sun
// raster keeps its file's sample order: 24-bit pixels come as blue, green,
// red, and an 8-bit one as colour-map indices (the map is in info.header).
struct Image {
    Info info;
    std::vector<std::uint8_t> samples8;
    std::vector<std::uint16_t> samples16;
};

// Reads the container header and the image header only, never the strips,
// and refuses what decoding would refuse there, with the same error.
inline Info inspect(std::span<const std::uint8_t> compressed);

// Compresses samples. The result is byte for byte what the vrk command makes
// of the PNM file of those samples: "P5\n<w> <h>\n<maxval>\n" (maxval 255 at
// 8 bits, 2^bits - 1 above, samples big-endian) for one channel,
// "P6\n<w> <h>\n255\n" for three. A sample above 2^bits - 1 is
// invalid_parameters. A view the library cannot read is invalid_argument:
// channels other than 1 or 3, colour deeper than 8 bits, a depth outside
// 8..16, a row_stride below width * channels, or a span (the one of its
// depth) shorter than height - 1 strides plus a row. Fewer than 32 columns
// or rows is invalid_dimension and more than 65535 invalid_parameters, as
// for the vrk command.
inline std::vector<std::uint8_t> encode(const ImageView& image, const Options& options = {});

// Decodes any compressed file; lossy files give the vrk command's samples.
inline Image decode(std::span<const std::uint8_t> compressed, const DecodeOptions& options = {});

// Decodes straight into the caller's buffer, rows row_stride samples apart
// (0: packed). The destination's sample type must match the image
// (invalid_argument); buffer_too_small (a stride shorter than a row, or too
// few samples for height - 1 strides plus a row) is thrown before anything
// is written.
inline Info decode_into(std::span<const std::uint8_t> compressed, std::span<std::uint8_t> destination,
                        std::size_t row_stride = 0, const DecodeOptions& options = {});
inline Info decode_into(std::span<const std::uint8_t> compressed, std::span<std::uint16_t> destination,
                        std::size_t row_stride = 0, const DecodeOptions& options = {});

// One row's samples (width * channels), in the one span that matches the depth.
struct Row {
    std::span<const std::uint8_t> samples8{};
    std::span<const std::uint16_t> samples16{};
};

// Fills the caller's span from any byte source; returns the count, 0 at the
// end. Decoding may call it on a stage thread of its own (unless
// DecodeOptions::threads is 1), while RowFunction runs; never twice at once.
using ReadFunction = std::function<std::size_t(std::span<std::uint8_t>)>;
// Takes the next bytes of the output.
using WriteFunction = std::function<void(std::span<const std::uint8_t>)>;
// Receives decoded row y, in order, on the calling thread.
using RowFunction = std::function<void(int y, const Row& row)>;

// Rows to encode: the shape, and a function giving row y (called once per
// row, in order; its span must stay valid until the next call). Encoding may
// call it on a stage thread of its own (unless Options::threads is 1), while
// WriteFunction runs on the calling thread.
struct RowSource {
    int width = 0;
    int height = 0;
    int channels = 1;
    int bits_per_sample = 8;
    std::function<Row(int y)> row{};
};

// Decodes a compressed stream row by row in constant memory; returns its Info.
inline Info decode_stream(const ReadFunction& read, const RowFunction& on_row, const DecodeOptions& options = {});

// Encodes rows into a compressed stream in constant memory, the same bytes as
// encode(); returns the number of bytes written.
inline std::uint64_t encode_stream(const RowSource& rows, const WriteFunction& write, const Options& options = {});

// Headerless samples: rows top to bottom, `bytes_per_pixel` bytes a pixel
// (1 grey, 2 grey of 16 bits with the high byte first, 3 colour).
struct RawLayout {
    int width = 0;
    int height = 0; // 0: as wide as high
    int bytes_per_pixel = 1;
};

// Compresses a whole image file: PGM, PPM, Sun raster, or raw samples laid
// out as `raw` says.
inline std::vector<std::uint8_t> compress_image(std::span<const std::uint8_t> image_file, ImageFormat format,
                                                const Options& options = {}, const RawLayout& raw = {});

struct RestoredImage {
    ImageFormat format;             // the format the image was compressed from
    std::vector<std::uint8_t> file; // the image file, its own header included
};

// Restores the image file a compressed file was made from, byte for byte;
// the options as decode takes them.
inline RestoredImage restore_image(std::span<const std::uint8_t> compressed);
inline RestoredImage restore_image(std::span<const std::uint8_t> compressed, const DecodeOptions& options);

// Compresses the image file at `path` (.raw, .ras, .pgm or .ppm, as the vrk
// command names them) into the .vrk file beside it and returns that path.
// An existing output is output_exists unless `overwrite`. Streams in
// constant memory.
inline std::string compress_file(const std::string& path, const Options& options = {}, const RawLayout& raw = {},
                                 bool overwrite = false);

// Restores the .vrk file at `path` into the image file it was made from and
// returns that path. On incorrect_crc the restored file is kept, as the vrk
// command keeps it.
inline std::string restore_file(const std::string& path, bool overwrite = false);
inline std::string restore_file(const std::string& path, bool overwrite, const DecodeOptions& options);

// The layer over the C ABI; nothing below is part of the API.

namespace detail {

[[noreturn]] inline void throw_error(vrk_status status) { throw Error(static_cast<ErrorCode>(status)); }

inline void check(vrk_status status) {
    if (status != VRK_OK) throw_error(status);
}

// The layer's own allocations fail as the library's do: out_of_memory.
template <class Body>
auto guarded(Body&& body) -> decltype(body()) {
    try {
        return body();
    } catch (const std::bad_alloc&) {
        throw_error(VRK_OUT_OF_MEMORY);
    }
}

inline vrk_options c_options(const Options& options) noexcept {
    vrk_options c;
    vrk_options_init(&c);
    c.fast = options.fast ? 1 : 0;
    c.graphics = options.graphics ? 1 : 0;
    c.loss_factor = options.loss_factor;
    c.threads = options.threads;
    return c;
}

inline vrk_decode_options c_options(const DecodeOptions& options) noexcept {
    vrk_decode_options c;
    vrk_decode_options_init(&c);
    c.max_pixels = options.max_pixels;
    c.threads = options.threads;
    return c;
}

// A shape field: a negative one becomes 0, which the library refuses as it
// refuses the negative value.
inline std::uint32_t c_count(int value) noexcept { return value < 0 ? 0u : static_cast<std::uint32_t>(value); }

// A stride of `samples` samples in bytes; one beyond memory stays beyond it
// (and even, so that only its length is wrong).
inline std::size_t stride_bytes(std::size_t samples, std::size_t sample_bytes) noexcept {
    return samples > SIZE_MAX / sample_bytes ? SIZE_MAX - 1 : samples * sample_bytes;
}

// C takes no null pointer even for an empty buffer: an empty span gets a
// valid (2-byte aligned) address, so that its size is what gets judged.
inline const void* address_of(const void* data, std::size_t size) noexcept {
    alignas(std::uint16_t) static const std::uint8_t nothing[2] = {};
    return size == 0 || data == nullptr ? nothing : data;
}

inline std::vector<std::uint8_t> copy_bytes(const std::uint8_t* data, std::size_t size) {
    return guarded(
        [&] { return size == 0 ? std::vector<std::uint8_t>{} : std::vector<std::uint8_t>(data, data + size); });
}

// Memory the library returned, released when this goes.
template <class T>
struct Returned {
    T* data = nullptr;
    Returned() = default;
    Returned(const Returned&) = delete;
    Returned& operator=(const Returned&) = delete;
    ~Returned() { vrk_free(data); }
};

inline Info info_of(const vrk_info& c, std::vector<std::uint8_t> header) {
    Info info;
    info.width = static_cast<int>(c.width);
    info.height = static_cast<int>(c.height);
    info.channels = static_cast<int>(c.channels);
    info.bits_per_sample = static_cast<int>(c.bits_per_sample);
    info.bytes_per_sample = static_cast<int>(c.bytes_per_sample);
    info.loss_factor = static_cast<int>(c.loss_factor);
    info.fast = c.fast != 0;
    info.graphics = c.graphics != 0;
    info.format = static_cast<ImageFormat>(c.format);
    info.header = std::move(header);
    return info;
}

// What a callback threw, kept across the C call it must not unwind through.
class Caught {
public:
    // Runs `body`; false when it threw (the C call is then told to stop).
    template <class Body>
    bool run(Body&& body) noexcept {
        try {
            body();
            return true;
        } catch (...) {
            error_ = std::current_exception();
            return false;
        }
    }
    // The same as a C callback's answer: 0 to go on, 1 to stop.
    template <class Body>
    int answer(Body&& body) noexcept {
        return run(body) ? 0 : 1;
    }
    explicit operator bool() const noexcept { return static_cast<bool>(error_); }
    [[noreturn]] void rethrow() const { std::rethrow_exception(error_); }

private:
    std::exception_ptr error_;
};

// After a stream call: a stop status is the callback's own exception coming
// back (the C call picked the one a one-thread run meets first); any other
// status is the library's.
inline void finish(vrk_status status, const Caught& output, const Caught& input) {
    if (status == VRK_CANNOT_WRITE && output) output.rethrow();
    if (status == VRK_CANNOT_READ && input) input.rethrow();
    check(status);
}

// A read function over bytes in memory.
struct MemoryReader {
    std::span<const std::uint8_t> rest;

    static std::size_t read(void* user, std::uint8_t* buffer, std::size_t capacity) noexcept {
        auto& self = *static_cast<MemoryReader*>(user);
        const std::size_t n = std::min(capacity, self.rest.size());
        if (n != 0) std::memcpy(buffer, self.rest.data(), n);
        self.rest = self.rest.subspan(n);
        return n;
    }
};

template <class Sample>
Info decode_into(std::span<const std::uint8_t> compressed, std::span<Sample> destination, std::size_t row_stride,
                 const DecodeOptions& options) {
    Info info = vrk::inspect(compressed);
    if ((info.bytes_per_sample == 2) != (sizeof(Sample) == 2)) throw_error(VRK_INVALID_ARGUMENT);
    const vrk_decode_options c = c_options(options);
    check(vrk_decode(compressed.data(), compressed.size(),
                     const_cast<void*>(address_of(destination.data(), destination.size())),
                     stride_bytes(row_stride, sizeof(Sample)), destination.size_bytes(), &c));
    return info;
}

} // namespace detail

inline Info inspect(std::span<const std::uint8_t> compressed) {
    vrk_info c;
    vrk_info_init(&c);
    const auto* data = static_cast<const std::uint8_t*>(detail::address_of(compressed.data(), compressed.size()));
    detail::check(vrk_inspect(data, compressed.size(), &c));
    return detail::info_of(c, detail::copy_bytes(c.header, c.header_size));
}

inline std::vector<std::uint8_t> encode(const ImageView& image, const Options& options) {
    using detail::c_count;
    const bool deep = image.bits_per_sample > 8;
    const void* pixels = deep ? detail::address_of(image.samples16.data(), image.samples16.size())
                              : detail::address_of(image.samples8.data(), image.samples8.size());
    const std::size_t size = deep ? image.samples16.size_bytes() : image.samples8.size_bytes();
    const vrk_options c = detail::c_options(options);
    detail::Returned<std::uint8_t> out;
    std::size_t out_size = 0;
    detail::check(vrk_encode(pixels, size, detail::stride_bytes(image.row_stride, deep ? 2 : 1), c_count(image.width),
                             c_count(image.height), c_count(image.channels), c_count(image.bits_per_sample), &c,
                             &out.data, &out_size));
    return detail::copy_bytes(out.data, out_size);
}

inline Image decode(std::span<const std::uint8_t> compressed, const DecodeOptions& options) {
    // The headers first, then the rows as they arrive: a cut or damaged file
    // costs no more memory than the rows it delivered.
    struct Context {
        detail::MemoryReader reader;
        Image image;
        detail::Caught caught;
    } context{{compressed}, {vrk::inspect(compressed), {}, {}}, {}};
    const vrk_decode_options c = detail::c_options(options);
    const vrk_row_fn on_row = [](void* user, std::uint32_t, const void* row, std::size_t row_bytes) -> int {
        auto& self = *static_cast<Context*>(user);
        return self.caught.answer([&] {
            detail::guarded([&] {
                if (self.image.info.bytes_per_sample == 2) {
                    const auto* samples = static_cast<const std::uint16_t*>(row);
                    self.image.samples16.insert(self.image.samples16.end(), samples, samples + row_bytes / 2);
                } else {
                    const auto* samples = static_cast<const std::uint8_t*>(row);
                    self.image.samples8.insert(self.image.samples8.end(), samples, samples + row_bytes);
                }
            });
        });
    };
    const vrk_read_fn read = [](void* user, std::uint8_t* buffer, std::size_t capacity) {
        return detail::MemoryReader::read(&static_cast<Context*>(user)->reader, buffer, capacity);
    };
    const vrk_status status = vrk_decode_stream(read, on_row, &context, &c, nullptr);
    detail::finish(status, context.caught, {});
    return std::move(context.image);
}

inline Info decode_into(std::span<const std::uint8_t> compressed, std::span<std::uint8_t> destination,
                        std::size_t row_stride, const DecodeOptions& options) {
    return detail::decode_into(compressed, destination, row_stride, options);
}

inline Info decode_into(std::span<const std::uint8_t> compressed, std::span<std::uint16_t> destination,
                        std::size_t row_stride, const DecodeOptions& options) {
    return detail::decode_into(compressed, destination, row_stride, options);
}

inline Info decode_stream(const ReadFunction& read, const RowFunction& on_row, const DecodeOptions& options) {
    struct Context {
        const ReadFunction& read;
        const RowFunction& on_row;
        vrk_info info;
        std::vector<std::uint8_t> header;
        detail::Caught read_error;
        detail::Caught row_error;
    } context{read, on_row, {}, {}, {}, {}};
    vrk_info_init(&context.info);
    const vrk_read_fn c_read = [](void* user, std::uint8_t* buffer, std::size_t capacity) -> std::size_t {
        auto& self = *static_cast<Context*>(user);
        std::size_t n = 0;
        const bool went_on = self.read_error.run([&] {
            n = self.read(std::span<std::uint8_t>(buffer, capacity));
            if (n > capacity) detail::throw_error(VRK_INVALID_ARGUMENT); // claims more than it was given room for
        });
        return went_on ? n : VRK_READ_FAILED;
    };
    const vrk_row_fn c_row = [](void* user, std::uint32_t y, const void* row, std::size_t row_bytes) -> int {
        auto& self = *static_cast<Context*>(user);
        return self.row_error.answer([&] {
            // The header bytes live only during the call: kept at the first row.
            if (y == 0) self.header = detail::copy_bytes(self.info.header, self.info.header_size);
            Row samples;
            if (self.info.bytes_per_sample == 2)
                samples.samples16 = {static_cast<const std::uint16_t*>(row), row_bytes / 2};
            else
                samples.samples8 = {static_cast<const std::uint8_t*>(row), row_bytes};
            self.on_row(static_cast<int>(y), samples);
        });
    };
    const vrk_decode_options c = detail::c_options(options);
    const vrk_status status =
        vrk_decode_stream(read ? c_read : nullptr, on_row ? c_row : nullptr, &context, &c, &context.info);
    detail::finish(status, context.row_error, context.read_error);
    return detail::info_of(context.info, std::move(context.header));
}

inline std::uint64_t encode_stream(const RowSource& rows, const WriteFunction& write, const Options& options) {
    using detail::c_count;
    struct Context {
        const RowSource& rows;
        const WriteFunction& write;
        detail::Caught row_error;
        detail::Caught write_error;
    } context{rows, write, {}, {}};
    const vrk_row_source_fn c_row = [](void* user, std::uint32_t y, void* row, std::size_t row_bytes) -> int {
        auto& self = *static_cast<Context*>(user);
        return self.row_error.answer([&] {
            const Row given = self.rows.row(static_cast<int>(y));
            // The span of the image's depth, as long as a row at least.
            const bool deep = self.rows.bits_per_sample > 8;
            const void* samples = deep ? static_cast<const void*>(given.samples16.data()) : given.samples8.data();
            const std::size_t size = deep ? given.samples16.size_bytes() : given.samples8.size_bytes();
            if (size < row_bytes) detail::throw_error(VRK_INVALID_ARGUMENT);
            std::memcpy(row, samples, row_bytes);
        });
    };
    const vrk_write_fn c_write = [](void* user, const std::uint8_t* bytes, std::size_t size) -> int {
        auto& self = *static_cast<Context*>(user);
        return self.write_error.answer([&] { self.write(std::span<const std::uint8_t>(bytes, size)); });
    };
    const vrk_options c = detail::c_options(options);
    std::uint64_t written = 0;
    const vrk_status status = vrk_encode_stream(c_count(rows.width), c_count(rows.height), c_count(rows.channels),
                                                c_count(rows.bits_per_sample), rows.row ? c_row : nullptr,
                                                write ? c_write : nullptr, &context, &c, &written);
    detail::finish(status, context.write_error, context.row_error);
    return written;
}

inline std::vector<std::uint8_t> compress_image(std::span<const std::uint8_t> image_file, ImageFormat format,
                                                const Options& options, const RawLayout& raw) {
    const auto* file = static_cast<const std::uint8_t*>(detail::address_of(image_file.data(), image_file.size()));
    const vrk_options c = detail::c_options(options);
    detail::Returned<std::uint8_t> out;
    std::size_t out_size = 0;
    if (format == ImageFormat::raw)
        detail::check(vrk_compress_raw(file, image_file.size(), detail::c_count(raw.width), detail::c_count(raw.height),
                                       detail::c_count(raw.bytes_per_pixel), &c, &out.data, &out_size));
    else
        detail::check(vrk_compress_image(file, image_file.size(), static_cast<vrk_format>(static_cast<int>(format)), &c,
                                         &out.data, &out_size));
    return detail::copy_bytes(out.data, out_size);
}

inline RestoredImage restore_image(std::span<const std::uint8_t> compressed) { return restore_image(compressed, {}); }

inline RestoredImage restore_image(std::span<const std::uint8_t> compressed, const DecodeOptions& options) {
    const auto* data = static_cast<const std::uint8_t*>(detail::address_of(compressed.data(), compressed.size()));
    const vrk_decode_options c = detail::c_options(options);
    vrk_format format = VRK_FORMAT_RAW;
    detail::Returned<std::uint8_t> out;
    std::size_t out_size = 0;
    detail::check(vrk_restore_image(data, compressed.size(), &c, &format, &out.data, &out_size));
    return {static_cast<ImageFormat>(format), detail::copy_bytes(out.data, out_size)};
}

inline std::string compress_file(const std::string& path, const Options& options, const RawLayout& raw,
                                 bool overwrite) {
    const vrk_options c = detail::c_options(options);
    detail::Returned<char> output;
    detail::check(vrk_compress_file(path.c_str(), &c, detail::c_count(raw.width), detail::c_count(raw.height),
                                    detail::c_count(raw.bytes_per_pixel), overwrite ? 1 : 0, &output.data));
    return detail::guarded([&] { return std::string(output.data); });
}

inline std::string restore_file(const std::string& path, bool overwrite) { return restore_file(path, overwrite, {}); }

inline std::string restore_file(const std::string& path, bool overwrite, const DecodeOptions& options) {
    const vrk_decode_options c = detail::c_options(options);
    detail::Returned<char> output;
    detail::check(vrk_restore_file(path.c_str(), overwrite ? 1 : 0, &c, &output.data));
    return detail::guarded([&] { return std::string(output.data); });
}

} // namespace vrk
