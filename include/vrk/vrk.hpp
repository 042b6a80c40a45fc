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
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

#include <vrk/export.h>

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
VRK_API const char* message_of(ErrorCode code) noexcept;

class VRK_API Error : public std::runtime_error {
public:
    explicit Error(ErrorCode code) : std::runtime_error(message_of(code)), code_(code) {}
    ErrorCode code() const noexcept { return code_; }

private:
    ErrorCode code_;
};

// The library's version, "MAJOR.MINOR.PATCH".
VRK_API const char* version() noexcept;

// The image file formats; a compressed file remembers the one it came from.
enum class ImageFormat : int { raw = 1, sun_raster = 2, pgm = 3, ppm = 4 };

struct Options {
    bool fast = false;     // adaptive prefix codes instead of arithmetic coding
    bool graphics = false; // the predictive engine for synthetic images
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
VRK_API Info inspect(std::span<const std::uint8_t> compressed);

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
VRK_API std::vector<std::uint8_t> encode(const ImageView& image, const Options& options = {});

// Decodes any compressed file; lossy files give the vrk command's samples.
VRK_API Image decode(std::span<const std::uint8_t> compressed, const DecodeOptions& options = {});

// Decodes straight into the caller's buffer, rows row_stride samples apart
// (0: packed). The destination's sample type must match the image
// (invalid_argument); buffer_too_small (a stride shorter than a row, or too
// few samples for height - 1 strides plus a row) is thrown before anything
// is written.
VRK_API Info decode_into(std::span<const std::uint8_t> compressed, std::span<std::uint8_t> destination,
                         std::size_t row_stride = 0, const DecodeOptions& options = {});
VRK_API Info decode_into(std::span<const std::uint8_t> compressed, std::span<std::uint16_t> destination,
                         std::size_t row_stride = 0, const DecodeOptions& options = {});

// One row's samples (width * channels), in the one span that matches the depth.
struct Row {
    std::span<const std::uint8_t> samples8{};
    std::span<const std::uint16_t> samples16{};
};

// Fills the caller's span from any byte source; returns the count, 0 at the end.
using ReadFunction = std::function<std::size_t(std::span<std::uint8_t>)>;
// Takes the next bytes of the output.
using WriteFunction = std::function<void(std::span<const std::uint8_t>)>;
// Receives decoded row y, in order, on the calling thread.
using RowFunction = std::function<void(int y, const Row& row)>;

// Rows to encode: the shape, and a function giving row y (called once per
// row, in order; its span must stay valid until the next call).
struct RowSource {
    int width = 0;
    int height = 0;
    int channels = 1;
    int bits_per_sample = 8;
    std::function<Row(int y)> row{};
};

// Decodes a compressed stream row by row in constant memory; returns its Info.
VRK_API Info decode_stream(const ReadFunction& read, const RowFunction& on_row, const DecodeOptions& options = {});

// Encodes rows into a compressed stream in constant memory, the same bytes as
// encode(); returns the number of bytes written.
VRK_API std::uint64_t encode_stream(const RowSource& rows, const WriteFunction& write, const Options& options = {});

// Headerless samples: rows top to bottom, `bytes_per_pixel` bytes a pixel
// (1 grey, 2 grey of 16 bits with the high byte first, 3 colour).
struct RawLayout {
    int width = 0;
    int height = 0; // 0: as wide as high
    int bytes_per_pixel = 1;
};

// Compresses a whole image file: PGM, PPM, Sun raster, or raw samples laid
// out as `raw` says.
VRK_API std::vector<std::uint8_t> compress_image(std::span<const std::uint8_t> image_file, ImageFormat format,
                                                 const Options& options = {}, const RawLayout& raw = {});

struct RestoredImage {
    ImageFormat format;             // the format the image was compressed from
    std::vector<std::uint8_t> file; // the image file, its own header included
};

// Restores the image file a compressed file was made from, byte for byte.
VRK_API RestoredImage restore_image(std::span<const std::uint8_t> compressed);

// Compresses the image file at `path` (.raw, .ras, .pgm or .ppm, as the vrk
// command names them) into the .vrk file beside it and returns that path.
// An existing output is output_exists unless `overwrite`. Streams in
// constant memory.
VRK_API std::string compress_file(const std::string& path, const Options& options = {}, const RawLayout& raw = {},
                                  bool overwrite = false);

// Restores the .vrk file at `path` into the image file it was made from and
// returns that path. On incorrect_crc the restored file is kept, as the vrk
// command keeps it.
VRK_API std::string restore_file(const std::string& path, bool overwrite = false);

} // namespace vrk
