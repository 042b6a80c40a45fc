/* vrk: lossless and near-lossless still-image compression, the C ABI.
 *
 * The library's one binary interface: C99 and any language that calls C use
 * it directly, and <vrk/vrk.hpp> is a header-only C++ layer over it. Samples
 * in memory or row by row to the bytes of a .vrk file and back, the headers
 * alone, and whole image files in memory or on disk.
 *
 * The rules every function keeps:
 *   - Statuses. Every function that can fail returns a vrk_status; none
 *     throws, aborts or unwinds into the caller. A NULL where a pointer is
 *     needed is VRK_INVALID_ARGUMENT; NULL options mean the defaults.
 *   - No state. No call keeps anything between calls and there is nothing to
 *     set up or tear down, so independent calls may run in parallel threads.
 *     A call never keeps a pointer it was given once it returns, and runs
 *     its callbacks only before it returns.
 *   - Ownership. Memory the library returns (out, out_path) is the caller's,
 *     released with vrk_free. After a failure every such pointer is NULL and
 *     every returned size 0, so there is nothing to release.
 *   - Counts. Every buffer size, capacity, stride and row length counts
 *     bytes. Widths and heights count pixels, channels 1 (grey) or 3
 *     (colour, interleaved). A sample of 8 bits is a byte; a sample of 9 to
 *     16 bits is a uint16_t in native byte order, so its buffers, rows and
 *     strides are 2-byte aligned and even (VRK_INVALID_ARGUMENT otherwise).
 *     A row is width * channels samples; a stride is the distance in bytes
 *     from one row's start to the next, 0 meaning rows packed end to end.
 *
 * Growing structs. vrk_options, vrk_decode_options and vrk_info begin with
 * struct_size: sizeof the struct as the caller's program was compiled, which
 * vrk_options_init, vrk_decode_options_init and vrk_info_init set along with
 * every field's default. Later versions of this header only append fields,
 * and zero is every field's default. So:
 *   - the library reads and writes only the fields that lie wholly within
 *     the caller's struct_size: a caller built against an older header gets
 *     the defaults of the fields it does not know;
 *   - a struct_size larger than this library's struct (a caller built
 *     against a newer header) is accepted when every byte past this
 *     library's fields is zero; otherwise the call is VRK_INVALID_ARGUMENT,
 *     since the caller asks for something this library cannot do (vrk_info
 *     is written, not read: its bytes past this library's fields are left
 *     alone);
 *   - a struct_size that does not reach the end of the first field after it
 *     is VRK_INVALID_ARGUMENT (most likely a struct never initialized).
 * Every option field is 64 bits wide, in this and every later version, so an
 * older struct_size never covers the padding where a newer field now lies.
 *
 * Callbacks (the stream functions) receive the caller's `user` pointer and
 * must return normally: no exception or longjmp may leave them. Each one is
 * called one call at a time, in order. row_fn and write_fn run on the
 * calling thread; read_fn and row_source_fn may run on a thread the call
 * starts, at the same time as the other callback, unless the options ask for
 * one thread. A callback asks to stop by returning nonzero (VRK_READ_FAILED
 * from read_fn); the call then cleans up and returns VRK_CANNOT_READ for a
 * stop from an input callback (read_fn, row_source_fn) and VRK_CANNOT_WRITE
 * for one from an output callback (row_fn, write_fn). Nothing past the stop
 * reaches an output callback, though an input callback may already have
 * been asked for data ahead of it. */
#ifndef VRK_H
#define VRK_H

#include <stddef.h>
#include <stdint.h>
#include <string.h>

#include <vrk/export.h>

#ifdef __cplusplus
extern "C" {
#endif

/* The numbers of vrk::ErrorCode; vrk_status_message gives each one's text
 * and vrk_status_name its name. */
typedef enum vrk_status {
    VRK_OK = 0,
    VRK_UNSUPPORTED_IMAGE = 1,       /* "Image header or type not supported or invalid" */
    VRK_CANNOT_OPEN_INPUT = 2,       /* "Cannot open input file" */
    VRK_CANNOT_OPEN_OUTPUT = 3,      /* "Cannot open output file" */
    VRK_CANNOT_READ = 4,             /* "Cannot read from file": the data ends too early, or read_fn stopped */
    VRK_CANNOT_WRITE = 5,            /* "Cannot write to file", or an output callback stopped */
    VRK_INVALID_COMPRESSED_FILE = 6, /* "Invalid compressed file" */
    VRK_INVALID_DIMENSION = 7,       /* "Invalid image dimension (<32)" */
    VRK_INVALID_PARAMETERS = 8,      /* "Invalid image parameters" */
    VRK_INCORRECT_CRC = 9,           /* "Incorrect image CRC" */
    VRK_IMAGE_TOO_LARGE = 10,        /* "image is larger than specified dimension" */
    VRK_CANNOT_CLOSE_IMAGE = 11,     /* "Cannot close image file" */
    VRK_OUT_OF_MEMORY = 12,          /* "not enough memory" */
    VRK_LIMIT_EXCEEDED = 13,         /* "Image exceeds the decoding limit" */
    VRK_OUTPUT_EXISTS = 14,          /* "Output file exists" */
    VRK_INVALID_ARGUMENT = 15,       /* "Invalid argument" */
    VRK_BUFFER_TOO_SMALL = 16        /* "Buffer too small" */
} vrk_status;

/* The image file formats; a compressed file remembers the one it came from. */
typedef enum vrk_format {
    VRK_FORMAT_RAW = 1,
    VRK_FORMAT_SUN_RASTER = 2,
    VRK_FORMAT_PGM = 3,
    VRK_FORMAT_PPM = 4
} vrk_format;

/* How to compress. Defaults (zero): lossless, the wavelet engine, the
 * arithmetic coder, automatic threads. */
typedef struct vrk_options {
    size_t struct_size;  /* sizeof(vrk_options) in the caller's program */
    int64_t fast;        /* nonzero: adaptive prefix codes instead of arithmetic coding */
    int64_t graphics;    /* nonzero: the graphics engine (prediction) for synthetic images */
    int64_t loss_factor; /* 0 lossless, 1..12 lossy (near-lossless with graphics) */
    int64_t threads;     /* 0 automatic, 1 one thread, more: as many stages as help; negative is invalid */
} vrk_options;

/* How to decode. Defaults (zero): no limit, automatic threads. */
typedef struct vrk_decode_options {
    size_t struct_size;  /* sizeof(vrk_decode_options) in the caller's program */
    uint64_t max_pixels; /* width x height above this is VRK_LIMIT_EXCEEDED, found before any buffer for the
                            image exists; 0: no limit */
    int64_t threads;     /* as in vrk_options */
} vrk_decode_options;

/* What a compressed file holds, read from its headers alone. */
typedef struct vrk_info {
    size_t struct_size; /* sizeof(vrk_info) in the caller's program */
    uint32_t width;
    uint32_t height;
    uint32_t channels;         /* 1 grey, 3 colour */
    uint32_t bits_per_sample;  /* 8..16 */
    uint32_t bytes_per_sample; /* 1, or 2 for 9..16 bits */
    uint32_t loss_factor;
    int fast;
    int graphics;
    vrk_format format;     /* the image file format it was compressed from */
    const uint8_t* header; /* the original file's own header bytes (PNM comments, a colour map): see each call */
    size_t header_size;    /* in bytes */
} vrk_info;

/* The defaults, and struct_size as this program was compiled: these are
 * inline so that they use the caller's sizeof, never the library's. */
static inline void vrk_options_init(vrk_options* options) {
    memset(options, 0, sizeof *options);
    options->struct_size = sizeof *options;
}

static inline void vrk_decode_options_init(vrk_decode_options* options) {
    memset(options, 0, sizeof *options);
    options->struct_size = sizeof *options;
}

static inline void vrk_info_init(vrk_info* info) {
    memset(info, 0, sizeof *info);
    info->struct_size = sizeof *info;
}

/* "MAJOR.MINOR.PATCH". */
VRK_API const char* vrk_version(void);

/* The fixed message of a status ("ok" for VRK_OK; "unknown error" for a
 * number that is no status); never NULL. */
VRK_API const char* vrk_status_message(vrk_status status);

/* The status's lower-case name, as the C++ enumerator spells it
 * ("cannot_read"); NULL for a number that is no status. */
VRK_API const char* vrk_status_name(vrk_status status);

/* Reads the headers of the `size` bytes at `data` into *info, refusing what
 * decoding would refuse there with the same status. info->header points into
 * `data`. */
VRK_API vrk_status vrk_inspect(const uint8_t* data, size_t size, vrk_info* info);

/* Compresses the samples in the `size` bytes at `pixels`: height rows top to
 * bottom, row_stride_bytes apart (0: packed). 1 or 3 channels (3 only at 8
 * bits), 8..16 bits. Too few bytes for height - 1 strides and a row, or a
 * stride shorter than a row, is VRK_INVALID_ARGUMENT; a sample above
 * 2^bits - 1 is VRK_INVALID_PARAMETERS; fewer than 32 columns or rows is
 * VRK_INVALID_DIMENSION. The result is byte for byte what the vrk command
 * makes of the PGM or PPM file of the samples. On VRK_OK, *out holds
 * *out_size bytes. */
VRK_API vrk_status vrk_encode(const void* pixels, size_t size, size_t row_stride_bytes, uint32_t width, uint32_t height,
                              uint32_t channels, uint32_t bits_per_sample, const vrk_options* options, uint8_t** out,
                              size_t* out_size);

/* Decodes the `size` bytes at `data` into the caller's `capacity` bytes at
 * `pixels`, rows row_stride_bytes apart (0: packed), samples as vrk_encode
 * takes them (vrk_inspect tells their depth). VRK_BUFFER_TOO_SMALL, before
 * anything is written, when the stride is shorter than a row or the rows do
 * not fit the capacity. */
VRK_API vrk_status vrk_decode(const uint8_t* data, size_t size, void* pixels, size_t row_stride_bytes, size_t capacity,
                              const vrk_decode_options* options);

/* Reads up to `capacity` bytes of a compressed file into `buffer`. Returns
 * how many (fewer is fine: it is asked again), 0 at the end of the file, or
 * VRK_READ_FAILED to stop the call. A count above `capacity` is
 * VRK_INVALID_ARGUMENT. */
typedef size_t (*vrk_read_fn)(void* user, uint8_t* buffer, size_t capacity);
#define VRK_READ_FAILED ((size_t)-1)

/* Receives decoded row y (0, 1, ... in order): row_bytes bytes, valid during
 * the call only. Returns 0 to go on, nonzero to stop. */
typedef int (*vrk_row_fn)(void* user, uint32_t y, const void* row, size_t row_bytes);

/* Fills row y (0, 1, ... each once, in order) of the image to encode: all
 * row_bytes bytes at `row`. Returns 0 to go on, nonzero to stop. */
typedef int (*vrk_row_source_fn)(void* user, uint32_t y, void* row, size_t row_bytes);

/* Takes the next `size` bytes of a compressed file, all of them. Returns 0
 * to go on, nonzero to stop. */
typedef int (*vrk_write_fn)(void* user, const uint8_t* bytes, size_t size);

/* Decodes the compressed file read_fn gives, in constant memory, handing
 * each row to row_fn; reads exactly the file's bytes. info may be NULL;
 * otherwise it is filled in as soon as the headers are read, before the
 * first row, and its header points into the library's memory, valid until
 * the call returns, when it becomes NULL (copy it in row_fn if needed). */
VRK_API vrk_status vrk_decode_stream(vrk_read_fn read_fn, vrk_row_fn row_fn, void* user,
                                     const vrk_decode_options* options, vrk_info* info);

/* Encodes the rows row_source_fn gives into write_fn, in constant memory:
 * the same bytes as vrk_encode. The shape is checked as vrk_encode checks
 * it, before any callback runs. On VRK_OK *written (if not NULL) is the
 * compressed size in bytes; otherwise 0. */
VRK_API vrk_status vrk_encode_stream(uint32_t width, uint32_t height, uint32_t channels, uint32_t bits_per_sample,
                                     vrk_row_source_fn row_source_fn, vrk_write_fn write_fn, void* user,
                                     const vrk_options* options, uint64_t* written);

/* Compresses the whole PGM, PPM or Sun raster file in the `size` bytes at
 * `file` (VRK_FORMAT_RAW is VRK_INVALID_ARGUMENT here: raw samples need the
 * layout vrk_compress_raw takes). On VRK_OK, *out holds *out_size bytes. */
VRK_API vrk_status vrk_compress_image(const uint8_t* file, size_t size, vrk_format format, const vrk_options* options,
                                      uint8_t** out, size_t* out_size);

/* Compresses headerless samples: rows top to bottom, bytes_per_pixel bytes a
 * pixel (1 grey, 2 grey of 16 bits with the high byte first, 3 colour);
 * height 0 means as high as wide. Otherwise as vrk_compress_image. */
VRK_API vrk_status vrk_compress_raw(const uint8_t* samples, size_t size, uint32_t width, uint32_t height,
                                    uint32_t bytes_per_pixel, const vrk_options* options, uint8_t** out,
                                    size_t* out_size);

/* Restores the image file a compressed file was made from, byte for byte,
 * and the format it was in (format may be NULL). On VRK_OK, *out holds
 * *out_size bytes. */
VRK_API vrk_status vrk_restore_image(const uint8_t* data, size_t size, const vrk_decode_options* options,
                                     vrk_format* format, uint8_t** out, size_t* out_size);

/* Compresses the image file at `path` (.raw, .ras, .pgm or .ppm, as the vrk
 * command names them) into the .vrk file beside it, in constant memory. A
 * raw file's layout is raw_width, raw_height (0: as high as wide) and
 * raw_bytes_per_pixel, as vrk_compress_raw takes them; other files ignore
 * them. An existing output is VRK_OUTPUT_EXISTS unless `overwrite` is
 * nonzero. On VRK_OK, *out_path (if out_path is not NULL) is the output's
 * path, NUL-terminated. */
VRK_API vrk_status vrk_compress_file(const char* path, const vrk_options* options, uint32_t raw_width,
                                     uint32_t raw_height, uint32_t raw_bytes_per_pixel, int overwrite, char** out_path);

/* Restores the .vrk file at `path` into the image file it was made from,
 * as vrk_compress_file does the other way. On VRK_INCORRECT_CRC the
 * restored file is kept, as the vrk command keeps it. */
VRK_API vrk_status vrk_restore_file(const char* path, int overwrite, const vrk_decode_options* options,
                                    char** out_path);

/* Releases memory the library returned; NULL is ignored. */
VRK_API void vrk_free(void* p);

#ifdef __cplusplus
} /* extern "C" */
#endif

#endif /* VRK_H */
