// The strip loop of both engines, in both directions.
//
// One run, one strip at a time:
//   encode: read the strip's pixel bytes -> engine.forward (pixels to planes)
//           -> CRC -> entropy stage (engine.code between begin and finish)
//   decode: entropy stage -> CRC of coefficients -> engine.back (planes to
//           pixels) -> CRC of pixels -> write the strip's pixel bytes
// The driver owns the strip schedule, the staged pixel bytes, the strip
// planes that pass from one stage to the other, the running CRC and the end
// of the image file. An engine supplies only its two pixel-stage directions,
// its entropy-stage calls (the same in both directions), its plane stride and
// what its CRC covers: the pixel bytes (as the decoder sees them) or, in lossy
// normal mode, the quantized coefficients.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/byte_io.hpp"
#include "core/crc.hpp"
#include "core/error.hpp"
#include "core/image_parameters.hpp"
#include "core/strip_planes.hpp"
#include "core/strip_schedule.hpp"
#include "entropy/entropy_coder.hpp"

namespace vrk {

// What an engine's strips need from the entropy coder.
template <class Engine>
EntropyCoder::StripLimits strip_limits(const ImageParameters& image) noexcept {
    const int stride = Engine::plane_stride(image);
    return {stride, static_cast<std::size_t>(max_strip_rows) * static_cast<std::size_t>(stride) *
                        static_cast<std::size_t>(image.plane_count())};
}

template <class Engine>
class StripDriver {
public:
    explicit StripDriver(const ImageParameters& image)
        : image_(image), engine_(image), planes_(image.plane_count(), Engine::plane_stride(image)),
          pixels_(static_cast<std::size_t>(max_strip_rows) * image.row_bytes()),
          crc_covers_coefficients_(Engine::crc_covers_coefficients(image)) {}

    // Codes the image file's pixels (from its first pixel byte) strip by
    // strip, checks that the file ends there and closes it; returns the CRC
    // continued from `crc`.
    std::uint32_t encode(std::uint32_t crc, ByteSource& image_file, EntropyCoder& coder) {
        for_each_strip(image_.height, [&](const Strip& strip) {
            const std::size_t bytes = strip_bytes(strip);
            image_file.read_exact(pixels_.data(), bytes);
            engine_.forward(strip, pixels_.data(), planes_);
            crc = crc_covers_coefficients_ ? crc_of_planes(crc, strip) : crc_update(crc, pixels_.data(), bytes);
            coder.begin_strip();
            engine_.code(strip, planes_, coder);
            coder.finish_strip();
        });
        if (image_file.read_byte() >= 0) fail(ErrorCode::image_too_large);
        if (!image_file.close()) fail(ErrorCode::cannot_close_image);
        return crc;
    }

    // Decodes every strip record into pixel bytes written to the image file
    // (after its header), then closes it; returns the CRC continued from `crc`.
    std::uint32_t decode(std::uint32_t crc, EntropyCoder& coder, ByteSink& image_file) {
        for_each_strip(image_.height, [&](const Strip& strip) {
            const std::size_t bytes = strip_bytes(strip);
            coder.begin_strip();
            engine_.code(strip, planes_, coder);
            coder.finish_strip();
            if (crc_covers_coefficients_) crc = crc_of_planes(crc, strip);
            engine_.back(strip, planes_, pixels_.data());
            if (!crc_covers_coefficients_) crc = crc_update(crc, pixels_.data(), bytes);
            image_file.write_exact(pixels_.data(), bytes);
        });
        if (!image_file.close()) fail(ErrorCode::cannot_close_image);
        return crc;
    }

private:
    std::size_t strip_bytes(const Strip& strip) const noexcept {
        return static_cast<std::size_t>(strip.rows) * image_.row_bytes();
    }

    // Every plane's padded rows, whole strip rows wide.
    std::uint32_t crc_of_planes(std::uint32_t crc, const Strip& strip) const noexcept {
        for (int plane = 0; plane < planes_.planes(); ++plane)
            for (int r = 0; r < strip.padded_rows; ++r)
                crc = crc_update_values(crc, planes_.row(plane, r), static_cast<std::size_t>(planes_.stride()));
        return crc;
    }

    const ImageParameters& image_;
    Engine engine_;
    StripPlanes planes_;
    std::vector<std::uint8_t> pixels_; // one strip of the image file's pixel bytes
    bool crc_covers_coefficients_;
};

} // namespace vrk
