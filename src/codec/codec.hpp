// One run of the codec over an image's strips, once its parameters are
// known: rows of samples to strip records and back.
#pragma once

#include <cstdint>

#include "codec/compressed_stream.hpp"
#include "codec/sample_rows.hpp"
#include "core/image_parameters.hpp"
#include "core/stage_pipeline.hpp"

namespace vrk {

// How a run uses threads. threads: 0 automatic (two stages when the machine
// has two cores or more), 1 one thread, 2 or more the pixel stage and the
// entropy stage on two threads. The bytes are the same for any value.
struct RunSettings {
    int threads = 0;
    SampleLayout layout{};
    StageObserver* observer = nullptr; // tests watch the stages through it
};

// The number of stage threads a `threads` setting gives on this machine: 1 or 2.
int stage_threads(int threads) noexcept;

// Codes every row of `samples` into strip records written to `out` (after
// its headers); returns the image CRC continued from `header_crc`, for
// out.finish once the caller has checked the end of its input.
std::uint32_t encode_strips(const ImageParameters& image, std::uint32_t header_crc, SampleSource& samples,
                            CompressedWriter& out, const RunSettings& settings = {});

// Decodes every strip record of `in` into rows handed to `samples`; returns
// the image CRC continued from `header_crc`, for in.finish.
std::uint32_t decode_strips(const ImageParameters& image, std::uint32_t header_crc, CompressedReader& in,
                            SampleSink& samples, const RunSettings& settings = {});

} // namespace vrk
