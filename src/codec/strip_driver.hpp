// The strip loop of both engines, in both directions.
//
// For each strip, in this order:
//   encode: read the strip's rows of samples -> engine.forward (samples to
//           planes) -> CRC -> entropy stage (engine.entropy_code between
//           begin and finish) -> strip record
//   decode: strip record -> entropy stage -> CRC of coefficients ->
//           engine.inverse (planes to samples) -> CRC of samples -> rows out
// The driver owns the strip schedule, the strip's samples, the strip planes
// that pass from one stage to the other and the running CRC, which covers the
// samples as the image file stores them (the sample layout says how). An
// engine supplies only its two pixel-stage directions, its entropy-stage
// calls (the same in both directions), its plane stride and what its CRC
// covers: the samples (as the decoder sees them) or, in lossy wavelet runs,
// the quantized coefficients.
//
// The stages share nothing but the strip planes: the pixel stage alone
// touches the rows, the samples, the engine's state and the CRC; the entropy
// stage alone the coder and the compressed file. So the pixel stage of one
// strip and the entropy stage of its neighbour can run on two threads, with
// the strip planes double-buffered between them. Encoding with the
// arithmetic coder on two threads, the pixel stage also splits the strip's
// values into sets and extra bits (value_splitter.hpp), so that the serial
// entropy stage codes only the sets. Decoding cannot move work the same way:
// reading the extra bits costs the decoder almost nothing beside its wait
// for each symbol.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "codec/compressed_stream.hpp"
#include "codec/sample_rows.hpp"
#include "core/crc.hpp"
#include "core/image_parameters.hpp"
#include "core/stage_pipeline.hpp"
#include "core/strip_planes.hpp"
#include "core/strip_samples.hpp"
#include "core/strip_schedule.hpp"
#include "entropy/entropy_coder.hpp"
#include "entropy/value_splitter.hpp"

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
    StripDriver(const ImageParameters& image, int threads, SampleLayout layout = {}, StageObserver* observer = nullptr)
        : image_(image), engine_(image), layout_(layout),
          crc_covers_coefficients_(Engine::crc_covers_coefficients(image)), observer_(observer) {
        const std::size_t strip_samples = static_cast<std::size_t>(max_strip_rows) * row_samples();
        if (deep())
            samples16_.resize(strip_samples);
        else
            samples8_.resize(strip_samples);
        for_each_strip(image.height, [this](const Strip& strip) { strips_.push_back(strip); });
        threaded_ = threads >= 2 && strips_.size() >= 2;
        slots_.reserve(threaded_ ? 2 : 1);
        for (int slot = 0; slot < (threaded_ ? 2 : 1); ++slot)
            slots_.emplace_back(image.plane_count(), Engine::plane_stride(image));
    }

    // Codes every row of `source` strip by strip into `out`; returns the CRC
    // continued from `crc`. The pixel stage runs first for each strip.
    std::uint32_t encode(std::uint32_t crc, SampleSource& source, EntropyCoder& coder, CompressedWriter& out) {
        // On two threads with the arithmetic coder, the pixel stage also
        // splits each value into its set and its extra bits, which needs no
        // model, and the entropy stage codes the sets alone: about a tenth
        // of its work moves to the other thread. On one thread the extra
        // pass would only cost time.
        std::vector<ValueSplitter> splitters;
        if (threaded_ && coder.codes_split_sets()) {
            const std::size_t max_values = strip_limits<Engine>(image_).max_values;
            for (StripPlanes& planes : slots_) {
                planes.add_bytes();
                splitters.emplace_back(image_.bits_per_sample, max_values);
            }
        }
        run_two_stages(
            count(), threaded_,
            [&](int k, int slot) {
                const Strip& strip = strips_[static_cast<std::size_t>(k)];
                read_rows(source, strip);
                StripPlanes& planes = slots_[static_cast<std::size_t>(slot)];
                if constexpr (Engine::last_strip_codes_rows_left_before) inherit_rows_left_before(strip, slot);
                engine_.forward(strip, samples(), planes);
                crc = crc_covers_coefficients_ ? crc_of_planes(crc, strip, planes) : crc_of_samples(crc, strip);
                if (splitters.empty()) return;
                ValueSplitter& splitter = splitters[static_cast<std::size_t>(slot)];
                splitter.begin_strip();
                engine_.entropy_code(strip, planes, splitter);
            },
            [&](int k, int slot) {
                coder.begin_strip();
                entropy_code(k, slot, coder);
                EntropyCoder::StripStreams streams = coder.finish_strip();
                // The slot's splitter is idle until this strip is written.
                if (!splitters.empty()) streams.raw_bits = splitters[static_cast<std::size_t>(slot)].finish_strip();
                out.write_strip(streams);
            },
            observer_);
        return crc;
    }

    // Decodes every strip record of `in` into rows handed to `sink`; returns
    // the CRC continued from `crc`. The entropy stage runs first for each strip.
    std::uint32_t decode(std::uint32_t crc, CompressedReader& in, EntropyCoder& coder, SampleSink& sink) {
        run_two_stages(
            count(), threaded_,
            [&](int k, int slot) {
                in.read_strip(coder.code_buffer());
                coder.begin_strip();
                entropy_code(k, slot, coder);
                coder.finish_strip();
            },
            [&](int k, int slot) {
                const Strip& strip = strips_[static_cast<std::size_t>(k)];
                StripPlanes& planes = slots_[static_cast<std::size_t>(slot)];
                if (crc_covers_coefficients_) crc = crc_of_planes(crc, strip, planes);
                engine_.inverse(strip, planes, samples());
                if (!crc_covers_coefficients_) crc = crc_of_samples(crc, strip);
                write_rows(sink, strip);
            },
            observer_);
        return crc;
    }

private:
    int count() const noexcept { return static_cast<int>(strips_.size()); }
    bool deep() const noexcept { return image_.bytes_per_pixel == 2; }
    std::size_t row_samples() const noexcept {
        return static_cast<std::size_t>(image_.width) * static_cast<std::size_t>(image_.plane_count());
    }
    std::size_t strip_samples(const Strip& strip) const noexcept {
        return static_cast<std::size_t>(strip.rows) * row_samples();
    }
    StripSamples samples() noexcept {
        return {deep() ? static_cast<void*>(samples16_.data()) : static_cast<void*>(samples8_.data())};
    }

    void read_rows(SampleSource& source, const Strip& strip) {
        if (deep())
            source.read_rows(strip.first_row, strip.rows, samples16_.data());
        else
            source.read_rows(strip.first_row, strip.rows, samples8_.data());
    }

    void write_rows(SampleSink& sink, const Strip& strip) {
        if (deep())
            sink.write_rows(strip.first_row, strip.rows, samples16_.data());
        else
            sink.write_rows(strip.first_row, strip.rows, samples8_.data());
    }

    // The strip's samples as the image file stores them.
    std::uint32_t crc_of_samples(std::uint32_t crc, const Strip& strip) const noexcept {
        return deep() ? crc_update_samples16(crc, samples16_.data(), strip_samples(strip), layout_.byte_order)
                      : crc_update(crc, samples8_.data(), strip_samples(strip));
    }

    // The entropy stage of one strip: the same calls in both directions.
    void entropy_code(int k, int slot, EntropyCoder& coder) {
        engine_.entropy_code(strips_[static_cast<std::size_t>(k)], slots_[static_cast<std::size_t>(slot)], coder);
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
    SampleLayout layout_;
    std::vector<Strip> strips_;
    std::vector<StripPlanes> slots_; // what the pixel stage hands the entropy stage: one per thread
    // One strip's samples, of the image's depth; pixel stage only.
    std::vector<std::uint8_t> samples8_;
    std::vector<std::uint16_t> samples16_;
    bool crc_covers_coefficients_;
    bool threaded_ = false;
    StageObserver* observer_;
};

} // namespace vrk
