// What a vrk dataset's cd_values say about its chunks, worked out from the
// caller's options, the dataset's element type and its chunk shape: plain
// data and checks, with no HDF5 call, so the rules sit in one place.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <variant>

namespace vrk::hdf5 {

// The element type as far as the filter cares about it.
struct ElementType {
    bool integer = false;
    const char* kind = "integers"; // what the type is, for messages
    std::size_t size = 0;          // bytes
    bool is_signed = false;
    bool big_endian = false;
};

// Everything the filter needs to code one chunk (cd_values slots 1..12).
struct ChunkLayout {
    std::uint32_t loss_factor = 0;
    bool fast = false;
    bool graphics = false;
    bool colour = false;
    std::uint32_t rows = 0;
    std::uint32_t width = 0;
    std::uint32_t channels = 1;
    std::uint32_t element_size = 1;
    bool big_endian = false;
    bool is_signed = false;
    std::uint32_t bits = 8;

    std::size_t samples() const { return std::size_t{rows} * width * channels; }
    std::size_t bytes() const { return samples() * element_size; }
};

// The layout of a dataset about to be created, from the caller's cd_values
// (any number: only the user slots are read), or why it cannot be coded.
std::variant<ChunkLayout, std::string> plan_layout(std::span<const unsigned> user_values, const ElementType& type,
                                                   std::span<const std::uint64_t> chunk_dims);

// The full cd_values of a layout (VRK_HDF5_CD_VALUES slots).
void store_layout(const ChunkLayout& layout, std::span<unsigned> values);

// A layout back from a dataset's cd_values; nullopt when they are not the
// filter's (wrong count, version or value).
std::optional<ChunkLayout> load_layout(std::span<const unsigned> values);

} // namespace vrk::hdf5
