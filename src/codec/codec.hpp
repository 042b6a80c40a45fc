// One run of the codec, once the image parameters are known and the heads
// of both files are in place: buffers, coder, engine, trailing CRC word.
#pragma once

#include <cstdint>

#include "core/byte_io.hpp"
#include "core/image_parameters.hpp"
#include "core/stage_pipeline.hpp"

namespace vrk {

// How a run uses threads. threads: 0 automatic (two stages when the machine
// has two cores or more), 1 one thread, 2 or more the pixel stage and the
// entropy stage on two threads. The bytes are the same for any value.
struct RunSettings {
    int threads = 0;
    StageObserver* observer = nullptr; // tests watch the stages through it
};

// The number of stage threads a `threads` setting gives on this machine: 1 or 2.
int stage_threads(int threads) noexcept;

// Codes the pixels of `image_file` (at its first pixel byte) into
// `compressed` (after its head); returns the bytes the coder wrote: the strip
// records and the trailing CRC word. Closes both.
std::int64_t encode_image(const ImageParameters& image, std::uint32_t header_crc, ByteSource& image_file,
                          ByteSink& compressed, const RunSettings& settings = {});

// The whole compressed file: the container header and the image header
// bytes, then encode_image; returns the file's size in bytes.
std::int64_t write_compressed_file(const ImageParameters& image, std::uint32_t header_crc, ByteSource& image_file,
                                   ByteSink& compressed, const RunSettings& settings = {});

// Decodes the strip records of `compressed` into `image_file` (after its
// header bytes) and checks the trailing CRC word ("Incorrect image CRC").
// Closes both; on a CRC mismatch the restored image has been written.
void decode_image(const ImageParameters& image, std::uint32_t header_crc, ByteSource& compressed, ByteSink& image_file,
                  const RunSettings& settings = {});

} // namespace vrk
