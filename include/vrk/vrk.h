/* vrk: lossless and near-lossless still-image compression, the C API.
 *
 * The same codec as <vrk/vrk.hpp>, for C99 and any language that calls C:
 * samples in memory to the bytes of a .vrk file and back, the header alone,
 * and whole image files. Every call returns a status; none throws, aborts or
 * keeps state between calls, so independent calls may run in parallel
 * threads. Buffers the library allocates are released with vrk_free. */
#ifndef VRK_H
#define VRK_H

#include <stddef.h>
#include <stdint.h>

#include <vrk/export.h>

#ifdef __cplusplus
extern "C" {
#endif

/* The numbers of vrk::ErrorCode; vrk_status_message gives each one's text. */
typedef enum vrk_status {
    VRK_OK = 0,
    VRK_UNSUPPORTED_IMAGE = 1,       /* "Image header or type not supported or invalid" */
    VRK_CANNOT_OPEN_INPUT = 2,       /* "Cannot open input file" */
    VRK_CANNOT_OPEN_OUTPUT = 3,      /* "Cannot open output file" */
    VRK_CANNOT_READ = 4,             /* "Cannot read from file": the data ends too early */
    VRK_CANNOT_WRITE = 5,            /* "Cannot write to file" */
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

/* Zeroed: lossless, the wavelet engine and the arithmetic coder. */
typedef struct vrk_options {
    int fast;        /* nonzero: adaptive prefix codes instead of arithmetic coding */
    int graphics;    /* nonzero: the predictive engine for synthetic images */
    int loss_factor; /* 0 lossless, 1..12 lossy (near-lossless with graphics) */
    int threads;     /* 0 automatic, 1 one thread, more: as many stages as help */
} vrk_options;

typedef struct vrk_decode_options {
    uint64_t max_pixels; /* width x height above this is VRK_LIMIT_EXCEEDED; 0: no limit */
    int threads;         /* as in vrk_options */
} vrk_decode_options;

/* What a compressed file holds, read from its headers alone. */
typedef struct vrk_info {
    uint32_t width;
    uint32_t height;
    uint32_t channels;         /* 1 grey, 3 colour */
    uint32_t bits_per_sample;  /* 8..16 */
    uint32_t bytes_per_sample; /* 1, or 2 for 9..16 bits */
    uint32_t loss_factor;
    int fast;
    int graphics;
    vrk_format format;
    const uint8_t* header; /* the original file's header bytes, inside the caller's data */
    size_t header_size;
} vrk_info;

/* "MAJOR.MINOR.PATCH". */
VRK_API const char* vrk_version(void);

/* The fixed message of a status ("ok" for VRK_OK); never NULL. */
VRK_API const char* vrk_status_message(vrk_status status);

/* Reads the headers of `data` into *info, refusing what decoding would
 * refuse there with the same status. */
VRK_API vrk_status vrk_inspect(const uint8_t* data, size_t size, vrk_info* info);

/* Compresses samples: rows top to bottom, channels interleaved, rows
 * row_stride_bytes apart (0: packed). 1 or 3 channels (3 only at 8 bits),
 * 8..16 bits; 8-bit samples are bytes, deeper ones uint16_t in native byte
 * order (pixels and the stride then 2-byte aligned). The result is byte for
 * byte what the vrk command makes of the PGM or PPM file of the samples. On
 * VRK_OK, *out (released with vrk_free) holds *out_size bytes; otherwise
 * *out is NULL. options may be NULL. */
VRK_API vrk_status vrk_encode(const void* pixels, size_t row_stride_bytes, uint32_t width, uint32_t height,
                              uint32_t channels, uint32_t bits_per_sample, const vrk_options* options,
                              uint8_t** out, size_t* out_size);

/* Decodes into the caller's buffer of `capacity` bytes, rows
 * row_stride_bytes apart (0: packed), samples as vrk_encode takes them.
 * VRK_BUFFER_TOO_SMALL, before anything is written, when a stride is shorter
 * than a row or the rows do not fit the capacity. options may be NULL. */
VRK_API vrk_status vrk_decode(const uint8_t* data, size_t size, void* pixels, size_t row_stride_bytes,
                              size_t capacity, const vrk_decode_options* options);

/* Compresses a whole PGM, PPM or Sun raster file (VRK_FORMAT_RAW is
 * VRK_INVALID_ARGUMENT here: raw samples need the layout vrk_compress_raw
 * takes). On VRK_OK, *out (released with vrk_free) holds *out_size bytes;
 * otherwise *out is NULL. options may be NULL. */
VRK_API vrk_status vrk_compress_image(const uint8_t* file, size_t size, vrk_format format,
                                      const vrk_options* options, uint8_t** out, size_t* out_size);

/* Compresses headerless samples: rows top to bottom, bytes_per_pixel bytes a
 * pixel (1 grey, 2 grey of 16 bits with the high byte first, 3 colour);
 * height 0 means as high as wide. Otherwise as vrk_compress_image. */
VRK_API vrk_status vrk_compress_raw(const uint8_t* samples, size_t size, uint32_t width, uint32_t height,
                                    uint32_t bytes_per_pixel, const vrk_options* options, uint8_t** out,
                                    size_t* out_size);

/* Restores the image file a compressed file was made from, byte for byte,
 * and the format it was in (format may be NULL). On VRK_OK, *out (released
 * with vrk_free) holds *out_size bytes. */
VRK_API vrk_status vrk_restore_image(const uint8_t* data, size_t size, vrk_format* format, uint8_t** out,
                                     size_t* out_size);

/* Releases a buffer the library returned; NULL is ignored. */
VRK_API void vrk_free(void* p);

#ifdef __cplusplus
} /* extern "C" */
#endif

#endif /* VRK_H */
