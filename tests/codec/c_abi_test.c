/* The C ABI as C programs built against other versions of vrk.h call it:
 * an older caller's smaller structs, a newer caller's larger ones, and the
 * stream functions with their user pointers, stopped by their callbacks.
 * Plain C99; prints each failed check and exits nonzero if there is any. */
#include <vrk/vrk.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static int failures = 0;

static void check(int ok, const char* what, int line) {
    if (!ok) {
        fprintf(stderr, "c_abi_test.c:%d: failed: %s\n", line, what);
        ++failures;
    }
}
#define CHECK(condition) check((condition) ? 1 : 0, #condition, __LINE__)

/* 100 rows: four strips, so that two stage threads have work to share. */
enum { width = 48, height = 100, row_bytes = width * 2 };
static uint16_t samples[height][width]; /* 12 bits */

static void make_samples(void) {
    uint32_t seed = 99;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            seed = seed * 1103515245u + 12345u;
            samples[y][x] = (uint16_t)((x * 50 + y * 30 + (seed >> 16) % 32) % 4096);
        }
}

static vrk_options options_with(int64_t loss_factor, int64_t threads) {
    vrk_options options;
    vrk_options_init(&options);
    options.loss_factor = loss_factor;
    options.threads = threads;
    return options;
}

/* The samples compressed with the full struct of this header. */
static uint8_t* reference(int64_t loss_factor, size_t* size) {
    const vrk_options options = options_with(loss_factor, 0);
    uint8_t* out = NULL;
    CHECK(vrk_encode(samples, sizeof samples, 0, width, height, 1, 12, &options, &out, size) == VRK_OK);
    return out;
}

/* ---- An older caller: its header's structs end one field earlier. ---- */

typedef struct old_options {
    size_t struct_size;
    int64_t fast;
    int64_t graphics;
    int64_t loss_factor; /* no threads yet */
} old_options;

typedef struct old_decode_options {
    size_t struct_size;
    uint64_t max_pixels; /* no threads yet */
} old_decode_options;

typedef struct old_info {
    size_t struct_size;
    uint32_t width;
    uint32_t height;
    uint32_t channels; /* nothing after it yet */
} old_info;

static void test_an_older_caller(void) {
    size_t expected_size = 0;
    uint8_t* expected = reference(2, &expected_size);
    /* What follows each old struct in memory is an invalid value for the
     * field it lacks (threads -1, header bytes 0xEE): read or written, it shows. */
    struct {
        old_options options;
        int64_t after;
    } old = {{sizeof(old_options), 0, 0, 2}, -1};
    uint8_t* out = NULL;
    size_t out_size = 0;
    CHECK(vrk_encode(samples, sizeof samples, 0, width, height, 1, 12, (const vrk_options*)&old.options, &out,
                     &out_size) == VRK_OK);
    CHECK(out_size == expected_size && memcmp(out, expected, out_size) == 0);
    vrk_free(out);

    /* The same from a struct of exactly its own size (AddressSanitizer sees any read past it). */
    old_options* alone = malloc(sizeof *alone);
    *alone = old.options;
    CHECK(vrk_encode(samples, sizeof samples, 0, width, height, 1, 12, (const vrk_options*)alone, &out, &out_size) ==
          VRK_OK);
    CHECK(out_size == expected_size && memcmp(out, expected, out_size) == 0);
    vrk_free(out);
    free(alone);

    struct {
        old_decode_options options;
        int64_t after;
    } old_decode = {{sizeof(old_decode_options), width * height}, -1};
    static uint16_t decoded[height][width];
    CHECK(vrk_decode(expected, expected_size, decoded, 0, sizeof decoded,
                     (const vrk_decode_options*)&old_decode.options) == VRK_OK);
    old_decode.options.max_pixels = width * height - 1; /* the field it has is still read */
    CHECK(vrk_decode(expected, expected_size, decoded, 0, sizeof decoded,
                     (const vrk_decode_options*)&old_decode.options) == VRK_LIMIT_EXCEEDED);

    struct {
        old_info info;
        uint8_t after[64];
    } old_out;
    memset(&old_out, 0xEE, sizeof old_out);
    old_out.info.struct_size = sizeof(old_info);
    CHECK(vrk_inspect(expected, expected_size, (vrk_info*)&old_out.info) == VRK_OK);
    CHECK(old_out.info.width == width && old_out.info.height == height && old_out.info.channels == 1);
    for (size_t i = 0; i < sizeof old_out.after; ++i) CHECK(old_out.after[i] == 0xEE);
    vrk_free(expected);
}

/* ---- A newer caller, and structs never initialized. ---- */

static void test_struct_sizes(void) {
    size_t expected_size = 0;
    uint8_t* expected = reference(0, &expected_size);
    struct {
        vrk_options options;
        int64_t newer; /* a field this library does not know */
    } newer;
    memset(&newer, 0, sizeof newer);
    newer.options.struct_size = sizeof newer;
    uint8_t* out = NULL;
    size_t out_size = 0;
    CHECK(vrk_encode(samples, sizeof samples, 0, width, height, 1, 12, &newer.options, &out, &out_size) == VRK_OK);
    CHECK(out_size == expected_size && memcmp(out, expected, out_size) == 0);
    vrk_free(out);
    newer.newer = 1; /* asks for what this library cannot do */
    CHECK(vrk_encode(samples, sizeof samples, 0, width, height, 1, 12, &newer.options, &out, &out_size) ==
          VRK_INVALID_ARGUMENT);
    CHECK(out == NULL && out_size == 0);

    const size_t too_small[] = {0, sizeof(size_t), sizeof(size_t) + 2}; /* short of the first field's end */
    for (size_t i = 0; i < sizeof too_small / sizeof too_small[0]; ++i) {
        vrk_options options = options_with(0, 0);
        options.struct_size = too_small[i];
        CHECK(vrk_encode(samples, sizeof samples, 0, width, height, 1, 12, &options, &out, &out_size) ==
              VRK_INVALID_ARGUMENT);
        vrk_decode_options decode_options;
        vrk_decode_options_init(&decode_options);
        decode_options.struct_size = too_small[i];
        static uint16_t decoded[height][width];
        CHECK(vrk_decode(expected, expected_size, decoded, 0, sizeof decoded, &decode_options) == VRK_INVALID_ARGUMENT);
        vrk_info info;
        vrk_info_init(&info);
        info.struct_size = too_small[i];
        CHECK(vrk_inspect(expected, expected_size, &info) == VRK_INVALID_ARGUMENT);
    }
    vrk_free(expected);
}

/* ---- The stream functions, with user pointers. ---- */

/* What the callbacks of one call share. */
typedef struct stream {
    const uint8_t* data; /* the compressed bytes to read, or NULL */
    size_t size, position, chunk;
    uint8_t* out; /* the compressed bytes written */
    size_t out_size, capacity;
    uint32_t rows_seen; /* rows given or received, in order */
    int rows_wrong;
    int stop_at;    /* the call of the callback under test that asks to stop; -1 never */
    int calls;      /* of the callback under test */
    vrk_info* info; /* vrk_decode_stream's, seen from row_fn */
    int info_seen;  /* info was filled before the first row */
} stream;

static stream new_stream(const uint8_t* data, size_t size, int stop_at) {
    stream s;
    memset(&s, 0, sizeof s);
    s.data = data;
    s.size = size;
    s.chunk = 7;
    s.stop_at = stop_at;
    return s;
}

static int stop_now(stream* s) { return s->calls++ == s->stop_at; }

static size_t read_chunks(void* user, uint8_t* buffer, size_t capacity) {
    stream* s = user;
    size_t n = s->size - s->position;
    if (n > capacity) n = capacity;
    if (n > s->chunk) n = s->chunk;
    memcpy(buffer, s->data + s->position, n);
    s->position += n;
    return n;
}

static size_t read_then_fail(void* user, uint8_t* buffer, size_t capacity) {
    stream* s = user;
    return stop_now(s) ? VRK_READ_FAILED : read_chunks(user, buffer, capacity);
}

static size_t read_too_much(void* user, uint8_t* buffer, size_t capacity) {
    (void)user;
    (void)buffer;
    return capacity + 1;
}

static int take_row(void* user, uint32_t y, const void* row, size_t size) {
    stream* s = user;
    if (y == 0) s->info_seen = s->info->width == width && s->info->header != NULL;
    if (y != s->rows_seen++ || size != row_bytes || memcmp(row, samples[y], size) != 0) ++s->rows_wrong;
    return 0;
}

static int take_row_then_stop(void* user, uint32_t y, const void* row, size_t size) {
    stream* s = user;
    take_row(user, y, row, size);
    return stop_now(s);
}

static int give_row(void* user, uint32_t y, void* row, size_t size) {
    stream* s = user;
    if (y != s->rows_seen++ || size != row_bytes) ++s->rows_wrong;
    memcpy(row, samples[y], size < row_bytes ? size : row_bytes);
    return 0;
}

static int give_row_then_stop(void* user, uint32_t y, void* row, size_t size) {
    stream* s = user;
    give_row(user, y, row, size);
    return stop_now(s);
}

static int write_bytes(void* user, const uint8_t* bytes, size_t size) {
    stream* s = user;
    if (s->out_size + size > s->capacity) {
        s->capacity = 2 * (s->out_size + size);
        s->out = realloc(s->out, s->capacity);
    }
    memcpy(s->out + s->out_size, bytes, size);
    s->out_size += size;
    return 0;
}

static int write_then_stop(void* user, const uint8_t* bytes, size_t size) {
    stream* s = user;
    return stop_now(s) ? 1 : write_bytes(user, bytes, size);
}

static void test_streams(void) {
    size_t expected_size = 0;
    uint8_t* expected = reference(0, &expected_size);
    for (int threads = 1; threads <= 2; ++threads) {
        const vrk_options options = options_with(0, threads);
        vrk_decode_options decode_options;
        vrk_decode_options_init(&decode_options);
        decode_options.threads = threads;

        stream s = new_stream(NULL, 0, -1);
        uint64_t written = 0;
        CHECK(vrk_encode_stream(width, height, 1, 12, give_row, write_bytes, &s, &options, &written) == VRK_OK);
        CHECK(s.out_size == expected_size && memcmp(s.out, expected, expected_size) == 0);
        CHECK(written == expected_size && s.rows_seen == height && s.rows_wrong == 0);
        free(s.out);

        vrk_info info;
        vrk_info_init(&info);
        s = new_stream(expected, expected_size, -1);
        s.info = &info;
        CHECK(vrk_decode_stream(read_chunks, take_row, &s, &decode_options, &info) == VRK_OK);
        CHECK(s.rows_seen == height && s.rows_wrong == 0 && s.position == expected_size);
        CHECK(s.info_seen);
        CHECK(info.width == width && info.bits_per_sample == 12 && info.header_size > 0);
        CHECK(info.header == NULL); /* its bytes went with the call */

        /* Stops: a clean status, and nothing delivered past the stop. */
        s = new_stream(NULL, 0, 40);
        CHECK(vrk_encode_stream(width, height, 1, 12, give_row_then_stop, write_bytes, &s, &options, &written) ==
              VRK_CANNOT_READ);
        CHECK(written == 0 && s.calls == 41);
        free(s.out);
        s = new_stream(NULL, 0, 1);
        CHECK(vrk_encode_stream(width, height, 1, 12, give_row, write_then_stop, &s, &options, &written) ==
              VRK_CANNOT_WRITE);
        CHECK(s.calls == 2);
        free(s.out);
        s = new_stream(expected, expected_size, 40);
        s.info = &info;
        CHECK(vrk_decode_stream(read_chunks, take_row_then_stop, &s, &decode_options, &info) == VRK_CANNOT_WRITE);
        CHECK(s.rows_seen == 41 && s.rows_wrong == 0);
        s = new_stream(expected, expected_size, 30);
        s.info = &info;
        CHECK(vrk_decode_stream(read_then_fail, take_row, &s, &decode_options, &info) == VRK_CANNOT_READ);
        CHECK(s.rows_seen < height && s.rows_wrong == 0);
    }

    stream s = new_stream(expected, expected_size, -1);
    vrk_info info;
    vrk_info_init(&info);
    s.info = &info;
    CHECK(vrk_decode_stream(read_too_much, take_row, &s, NULL, NULL) == VRK_INVALID_ARGUMENT);
    CHECK(vrk_decode_stream(read_chunks, take_row, &s, NULL, NULL) == VRK_OK); /* info may be NULL */
    CHECK(vrk_decode_stream(NULL, take_row, &s, NULL, NULL) == VRK_INVALID_ARGUMENT);
    CHECK(vrk_decode_stream(read_chunks, NULL, &s, NULL, NULL) == VRK_INVALID_ARGUMENT);
    uint64_t written = 99;
    CHECK(vrk_encode_stream(width, height, 1, 12, NULL, write_bytes, &s, NULL, &written) == VRK_INVALID_ARGUMENT);
    CHECK(written == 0);
    CHECK(vrk_encode_stream(width, height, 1, 12, give_row, NULL, &s, NULL, NULL) == VRK_INVALID_ARGUMENT);
    s = new_stream(NULL, 0, -1);
    CHECK(vrk_encode_stream(width, 31, 1, 12, give_row, write_bytes, &s, NULL, NULL) == VRK_INVALID_DIMENSION);
    CHECK(s.rows_seen == 0 && s.out == NULL); /* the shape is checked before any callback */
    vrk_free(expected);
}

int main(void) {
    make_samples();
    test_an_older_caller();
    test_struct_sizes();
    test_streams();
    if (failures != 0) fprintf(stderr, "%d checks failed\n", failures);
    return failures == 0 ? 0 : 1;
}
