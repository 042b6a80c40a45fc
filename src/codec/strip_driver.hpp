// The strip loop of both engines, in both directions.
//
// For each strip, in this order:
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
//
// The stages share nothing but the strip planes: the pixel stage alone
// touches the image file, the pixel bytes, the engine's state and the CRC;
// the entropy stage alone the coder and the compressed file. So the pixel
// stage of one strip and the entropy stage of its neighbour can run on two
// threads, with the strip planes double-buffered between them.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/byte_io.hpp"
#include "core/crc.hpp"
#include "core/error.hpp"
#include "core/image_parameters.hpp"
#include "core/stage_pipeline.hpp"
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
    // `threads` 2 runs the pixel stage and the entropy stage of consecutive
    // strips on two threads; 1 runs both on the calling thread.
    StripDriver(const ImageParameters& image, int threads, StageObserver* observer = nullptr)
        : image_(image), engine_(image), pixels_(static_cast<std::size_t>(max_strip_rows) * image.row_bytes()),
          crc_covers_coefficients_(Engine::crc_covers_coefficients(image)), observer_(observer) {
        for_each_strip(image.height, [this](const Strip& strip) { strips_.push_back(strip); });
        threaded_ = threads >= 2 && strips_.size() >= 2;
        slots_.reserve(threaded_ ? 2 : 1);
        for (int slot = 0; slot < (threaded_ ? 2 : 1); ++slot)
            slots_.emplace_back(image.plane_count(), Engine::plane_stride(image));
    }

    // Codes the image file's pixels (from its first pixel byte) strip by
    // strip, checks that the file ends there and closes it; returns the CRC
    // continued from `crc`. The pixel stage runs first for each strip.
    std::uint32_t encode(std::uint32_t crc, ByteSource& image_file, EntropyCoder& coder) {
        run_two_stages(
            count(), threaded_,
            [&](int k, int slot) {
                const Strip& strip = strips_[static_cast<std::size_t>(k)];
                const std::size_t bytes = strip_bytes(strip);
                image_file.read_exact(pixels_.data(), bytes);
                StripPlanes& planes = slots_[static_cast<std::size_t>(slot)];
                if constexpr (Engine::last_strip_codes_rows_left_before) inherit_rows_left_before(strip, slot);
                engine_.forward(strip, pixels_.data(), planes);
                crc = crc_covers_coefficients_ ? crc_of_planes(crc, strip, planes)
                                               : crc_update(crc, pixels_.data(), bytes);
            },
            [&](int k, int slot) { code_strip(k, slot, coder); }, observer_);
        if (image_file.read_byte() >= 0) fail(ErrorCode::image_too_large);
        if (!image_file.close()) fail(ErrorCode::cannot_close_image);
        return crc;
    }

    // Decodes every strip record into pixel bytes written to the image file
    // (after its header), then closes it; returns the CRC continued from
    // `crc`. The entropy stage runs first for each strip.
    std::uint32_t decode(std::uint32_t crc, EntropyCoder& coder, ByteSink& image_file) {
        run_two_stages(
            count(), threaded_, [&](int k, int slot) { code_strip(k, slot, coder); },
            [&](int k, int slot) {
                const Strip& strip = strips_[static_cast<std::size_t>(k)];
                StripPlanes& planes = slots_[static_cast<std::size_t>(slot)];
                const std::size_t bytes = strip_bytes(strip);
                if (crc_covers_coefficients_) crc = crc_of_planes(crc, strip, planes);
                engine_.back(strip, planes, pixels_.data());
                if (!crc_covers_coefficients_) crc = crc_update(crc, pixels_.data(), bytes);
                image_file.write_exact(pixels_.data(), bytes);
            },
            observer_);
        if (!image_file.close()) fail(ErrorCode::cannot_close_image);
        return crc;
    }

private:
    int count() const noexcept { return static_cast<int>(strips_.size()); }

    std::size_t strip_bytes(const Strip& strip) const noexcept {
        return static_cast<std::size_t>(strip.rows) * image_.row_bytes();
    }

    // The entropy stage of one strip: the same calls in both directions.
    void code_strip(int k, int slot, EntropyCoder& coder) {
        coder.begin_strip();
        engine_.code(strips_[static_cast<std::size_t>(k)], slots_[static_cast<std::size_t>(slot)], coder);
        coder.finish_strip();
    }

    // A short last strip codes, in its rows past the image, what the strip
    // before left in the same rows. With two slots those rows are in the
    // other one; the entropy stage only reads them, so copying is safe.
    void inherit_rows_left_before(const Strip& strip, int slot) noexcept {
        if (slots_.size() < 2 || strip.first() || strip.rows == strip.padded_rows) return;
        StripPlanes& to = slots_[static_cast<std::size_t>(slot)];
        const StripPlanes& from = slots_[static_cast<std::size_t>(1 - slot)];
        const auto values = static_cast<std::size_t>(to.stride());
        for (int plane = 0; plane < to.planes(); ++plane)
            for (int r = strip.rows; r < strip.padded_rows; ++r)
                std::copy_n(from.row(plane, r), values, to.row(plane, r));
    }

    // Every plane's padded rows, whole strip rows wide.
    static std::uint32_t crc_of_planes(std::uint32_t crc, const Strip& strip, const StripPlanes& planes) noexcept {
        for (int plane = 0; plane < planes.planes(); ++plane)
            for (int r = 0; r < strip.padded_rows; ++r)
                crc = crc_update_values(crc, planes.row(plane, r), static_cast<std::size_t>(planes.stride()));
        return crc;
    }

    const ImageParameters& image_;
    Engine engine_;
    std::vector<Strip> strips_;
    std::vector<StripPlanes> slots_;   // what the pixel stage hands the entropy stage: one per thread
    std::vector<std::uint8_t> pixels_; // one strip of the image file's pixel bytes; pixel stage only
    bool crc_covers_coefficients_;
    bool threaded_ = false;
    StageObserver* observer_;
};

} // namespace vrk
