/* The C API in a few lines: encodes a synthetic 12-bit image, reads the
 * compressed file's header, decodes it into a buffer and checks that every
 * sample came back. Builds as C99 against the installed package:
 *   cc -std=c99 c_roundtrip.c $(pkg-config --cflags --libs --static vrk) */
#include <vrk/vrk.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

enum { width = 96, height = 64 };

static int check(vrk_status status, const char* what) {
    if (status != VRK_OK) fprintf(stderr, "%s: %s (status %d)\n", what, vrk_status_message(status), (int)status);
    return status == VRK_OK;
}

int main(void) {
    static uint16_t samples[height][width];
    static uint16_t decoded[height][width];
    uint32_t seed = 12345;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            seed = seed * 1103515245u + 12345u;
            samples[y][x] = (uint16_t)((x * 40 + y * 20 + (seed >> 16) % 64) % 4096);
        }

    uint8_t* compressed = NULL;
    size_t compressed_size = 0;
    vrk_options options;
    vrk_options_init(&options); /* the defaults: lossless, the wavelet engine, arithmetic coding */
    options.threads = 1;
    /* Every size is in bytes: the buffer, and the stride (0: rows packed). */
    if (!check(vrk_encode(samples, sizeof samples, 0, width, height, 1, 12, &options, &compressed, &compressed_size),
               "encode"))
        return 1;

    vrk_info info;
    vrk_info_init(&info);
    int ok = check(vrk_inspect(compressed, compressed_size, &info), "inspect") && info.width == width &&
             info.height == height && info.channels == 1 && info.bits_per_sample == 12 && info.bytes_per_sample == 2 &&
             info.format == VRK_FORMAT_PGM;
    ok = ok && check(vrk_decode(compressed, compressed_size, decoded, 0, sizeof decoded, NULL), "decode");
    ok = ok && memcmp(samples, decoded, sizeof samples) == 0;
    /* A buffer one byte short is refused before anything is written. */
    ok = ok && vrk_decode(compressed, compressed_size, decoded, 0, sizeof decoded - 1, NULL) == VRK_BUFFER_TOO_SMALL;

    printf("vrk %s: %dx%d, %u bits: %u bytes -> %u bytes, %s\n", vrk_version(), width, height,
           (unsigned)info.bits_per_sample, (unsigned)sizeof samples, (unsigned)compressed_size,
           ok ? "restored exactly" : "FAILED");
    vrk_free(compressed);
    return ok ? 0 : 1;
}
