// The stream API: rows to a compressed stream and back, in constant memory.
#include <vrk/vrk.hpp>

#include "codec/pixel_bridge.hpp"
#include "core/error.hpp"

namespace vrk {

namespace {

// The caller's read function as a byte source: no read-ahead, so exactly the
// compressed file's bytes are taken from it.
class FunctionSource final : public ByteSource {
public:
    explicit FunctionSource(const ReadFunction& read) : read_(read) {}

    std::size_t read(std::uint8_t* destination, std::size_t n) override {
        std::size_t done = 0;
        while (done < n && !ended_) {
            const std::size_t got = read_(std::span<std::uint8_t>(destination + done, n - done));
            if (got > n - done) fail(ErrorCode::invalid_argument); // claims more than it was given room for
            if (got == 0) ended_ = true;
            done += got;
        }
        return done;
    }

    // A compressed file is read once, front to back.
    void rewind() override { fail(ErrorCode::cannot_read); }

private:
    const ReadFunction& read_;
    bool ended_ = false;
};

class FunctionSink final : public ByteSink {
public:
    explicit FunctionSink(const WriteFunction& write) : write_(write) {}
    std::size_t write(const std::uint8_t* source, std::size_t n) override {
        write_(std::span<const std::uint8_t>(source, n));
        return n;
    }

private:
    const WriteFunction& write_;
};

// Hands each row to the caller; deep rows go through one reused row of samples.
class CallbackRows final : public RowSink {
public:
    CallbackRows(const ImageParameters& image, const RowFunction& on_row) : RowSink(image), on_row_(on_row) {
        if (image.bytes_per_pixel == 2) wide_.resize(row_samples());
    }

private:
    void deliver(int y, const std::uint8_t* bytes) override {
        if (wide_.empty()) {
            on_row_(y, Row{{bytes, row_samples()}, {}});
        } else {
            unpack_samples16(bytes, row_samples(), wide_.data());
            on_row_(y, Row{{}, wide_});
        }
    }

    const RowFunction& on_row_;
    std::vector<std::uint16_t> wide_;
};

} // namespace

Info decode_stream(const ReadFunction& read, const RowFunction& on_row, const DecodeOptions& options) {
    if (!read || !on_row) fail(ErrorCode::invalid_argument);
    return guarded([&] {
        FunctionSource source(read);
        ImageParameters image;
        const std::uint32_t header_crc = read_compressed_headers(source, image);
        check_decode_options(image, options);
        CallbackRows rows(image, on_row);
        decode_rows(image, header_crc, source, rows, options.threads);
        return info_of(image);
    });
}

std::uint64_t encode_stream(const RowSource& rows, const WriteFunction& write, const Options& options) {
    const SampleShape shape{rows.width, rows.height, rows.channels, rows.bits_per_sample};
    check_sample_shape(shape);
    if (!rows.row || !write) fail(ErrorCode::invalid_argument);
    return guarded([&] {
        FunctionSink sink(write);
        return encode_rows(shape, rows.row, options, sink);
    });
}

} // namespace vrk
