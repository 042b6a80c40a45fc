// One strip's samples, as the image holds them: rows of width * channels
// samples, channels interleaved in the order the image file stores them.
// 8-bit images hold one std::uint8_t a sample, deeper ones one std::uint16_t.
// This is what an engine's pixel stage takes when encoding and gives back
// when decoding; no engine knows the file the samples come from or go to.
#pragma once

#include <cstdint>

namespace vrk {

struct StripSamples {
    void* data = nullptr; // std::uint8_t or std::uint16_t, by the image's depth

    template <class Sample>
    Sample* as() const noexcept {
        return static_cast<Sample*>(data);
    }
};

} // namespace vrk
