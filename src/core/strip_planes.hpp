// The rows of one strip, plane by plane: what the pixel stage of an engine
// hands to the entropy stage when encoding (transform coefficients or
// prediction residuals) and takes back from it when decoding.
#pragma once

#include <cassert>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/strip_schedule.hpp"

namespace vrk {

// One byte beside each value of a strip array, in the same layout.
struct StripByteRows {
    std::uint8_t* base;
    std::ptrdiff_t stride;
    std::uint8_t* row(int i) const noexcept { return base + i * stride; }
};

// Rows of a strip array: row i starts at base + i * stride. When the strip
// planes carry bytes beside their values, `byte_base` is where those start.
struct StripRows {
    std::int32_t* base;
    std::ptrdiff_t stride;
    std::uint8_t* byte_base = nullptr;
    std::int32_t* row(int i) const noexcept { return base + i * stride; }
    bool has_bytes() const noexcept { return byte_base != nullptr; }
    StripByteRows bytes() const noexcept { return {byte_base, stride}; }
};

// max_strip_rows rows of `stride` values for each plane, zero at the start.
// Memory depends on the width only, never on the image height.
class StripPlanes {
public:
    StripPlanes(int planes, int stride)
        : values_(static_cast<std::size_t>(planes) * max_strip_rows * static_cast<std::size_t>(stride), 0),
          planes_(planes), stride_(stride) {}

    int planes() const noexcept { return planes_; }
    std::ptrdiff_t stride() const noexcept { return stride_; }

    // Gives every value a byte beside it (the entropy coder keeps each
    // value's set there while encoding); once per run.
    void add_bytes() { bytes_.assign(values_.size(), 0); }

    StripRows rows(int plane) noexcept {
        assert(plane >= 0 && plane < planes_);
        const std::ptrdiff_t start = static_cast<std::ptrdiff_t>(plane) * max_strip_rows * stride_;
        return {values_.data() + start, stride_, bytes_.empty() ? nullptr : bytes_.data() + start};
    }
    std::int32_t* row(int plane, int i) noexcept { return rows(plane).row(i); }
    const std::int32_t* row(int plane, int i) const noexcept { return const_cast<StripPlanes*>(this)->row(plane, i); }

private:
    std::vector<std::int32_t> values_;
    std::vector<std::uint8_t> bytes_; // empty unless add_bytes() was called
    int planes_;
    std::ptrdiff_t stride_;
};

} // namespace vrk
