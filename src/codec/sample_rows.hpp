// Rows of samples in and out of the codec, and how an image file lays them
// out (which the image CRC follows).
#pragma once

#include <bit>
#include <cassert>
#include <cstdint>

namespace vrk {

// How the image file stores samples: 16-bit samples in `byte_order`,
// channels in the order the rows hold them (a Sun raster's blue, green, red
// come as such). The image CRC covers the samples as these bytes.
struct SampleLayout {
    std::endian byte_order = std::endian::big;
};

// Where an encoder's rows come from. Rows are width * channels samples,
// packed; 8-bit images use the uint8_t call, deeper ones the uint16_t one.
// The rows of a strip are asked for once each, top to bottom, possibly on
// another thread than the caller's.
class SampleSource {
public:
    virtual ~SampleSource() = default;
    virtual void read_rows(int first, int count, std::uint8_t* samples) {
        (void)first, (void)count, (void)samples;
        assert(!"an 8-bit source");
    }
    virtual void read_rows(int first, int count, std::uint16_t* samples) {
        (void)first, (void)count, (void)samples;
        assert(!"a 16-bit source");
    }
};

// Where a decoder's rows go, top to bottom, on the calling thread.
class SampleSink {
public:
    virtual ~SampleSink() = default;
    virtual void write_rows(int first, int count, const std::uint8_t* samples) {
        (void)first, (void)count, (void)samples;
        assert(!"an 8-bit sink");
    }
    virtual void write_rows(int first, int count, const std::uint16_t* samples) {
        (void)first, (void)count, (void)samples;
        assert(!"a 16-bit sink");
    }
};

} // namespace vrk
