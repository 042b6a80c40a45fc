// The library's samples <-> .vrk functions, as the C ABI calls them: the
// public C and C++ APIs are thin layers over these. Every failure throws
// vrk::Error; a std::bad_alloc is left for the caller to turn into
// out_of_memory.
#pragma once

#include <vrk/vrk.hpp>

#include <cstddef>
#include <cstdint>
#include <span>

#include "core/byte_io.hpp"

namespace vrk::lib {

// Reads the headers alone; refuses what decoding would refuse there.
Info inspect(std::span<const std::uint8_t> compressed);

// Compresses the view's samples into `out` (the whole compressed file,
// closed); returns its size in bytes.
std::uint64_t encode(const ImageView& image, const Options& options, ByteSink& out);

// Compresses the rows `rows.row(y)` gives (once each, in order, possibly on
// another thread than the caller's) into `out`; returns the size in bytes.
std::uint64_t encode_stream(const RowSource& rows, const Options& options, ByteSink& out);

// Decodes into the caller's buffer, rows `row_stride` samples apart (0: packed).
Info decode_into(std::span<const std::uint8_t> compressed, std::span<std::uint8_t> destination, std::size_t row_stride,
                 const DecodeOptions& options);
Info decode_into(std::span<const std::uint8_t> compressed, std::span<std::uint16_t> destination, std::size_t row_stride,
                 const DecodeOptions& options);

// Decodes from any source, handing each row to `on_row` on the calling
// thread, in order; `on_info` (may be empty) hears the headers first.
Info decode_stream(ByteSource& compressed, const RowFunction& on_row, const DecodeOptions& options,
                   const std::function<void(const Info&)>& on_info = {});

} // namespace vrk::lib
