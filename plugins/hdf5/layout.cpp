#include "layout.hpp"

#include <vrk/hdf5_filter.h>

namespace vrk::hdf5 {
namespace {

constexpr std::uint64_t min_side = 32;
constexpr std::uint64_t max_side = 65535;
constexpr unsigned max_loss_factor = 12;

std::string side_error(const char* what, std::uint64_t value) {
    return std::string("images are 32 to 65535 pixels a side, and this chunk's ") + what + " is " +
           std::to_string(value);
}

} // namespace

std::variant<ChunkLayout, std::string> plan_layout(std::span<const unsigned> user_values, const ElementType& type,
                                                   std::span<const std::uint64_t> chunk_dims) {
    // Missing slots are 0, every option's default.
    auto slot = [&](std::size_t i) { return i < user_values.size() ? user_values[i] : 0u; };
    unsigned version = slot(VRK_HDF5_CD_VERSION);
    if (version != 0 && version != VRK_HDF5_LAYOUT_VERSION)
        return "cd_values[0] is layout version " + std::to_string(version) + "; this plugin knows version 1";
    ChunkLayout layout;
    layout.loss_factor = slot(VRK_HDF5_CD_LOSS_FACTOR);
    if (layout.loss_factor > max_loss_factor)
        return "the loss factor must be 0 to 12, not " + std::to_string(layout.loss_factor);
    layout.fast = slot(VRK_HDF5_CD_FAST) != 0;
    layout.graphics = slot(VRK_HDF5_CD_GRAPHICS) != 0;
    layout.colour = slot(VRK_HDF5_CD_COLOUR) != 0;

    if (!type.integer || (type.size != 1 && type.size != 2))
        return std::string("only 8- and 16-bit integers can be coded, not this dataset's ") +
               (type.integer ? std::to_string(type.size * 8) + "-bit integers" : type.kind);
    layout.element_size = static_cast<std::uint32_t>(type.size);
    layout.is_signed = type.is_signed;
    layout.big_endian = type.big_endian;

    unsigned bits = slot(VRK_HDF5_CD_BITS);
    if (type.size == 1) {
        if (bits != 0 && bits != 8) return "8-bit elements are coded with 8 bits, not " + std::to_string(bits);
        layout.bits = 8;
    } else {
        if (bits != 0 && (bits < 9 || bits > 16))
            return "16-bit elements are coded with 9 to 16 bits, not " + std::to_string(bits);
        layout.bits = bits == 0 ? 16 : bits;
    }

    // The last dimension is the width (width x 3 for colour); the others stack as rows.
    std::size_t rank = chunk_dims.size();
    std::size_t row_dims = rank == 0 ? 0 : rank - 1;
    if (layout.colour) {
        if (type.size != 1) return std::string("colour is for 8-bit elements only");
        if (rank < 2 || chunk_dims[rank - 1] != 3)
            return std::string("colour chunks end in a dimension of 3 (the channels)");
        layout.channels = 3;
        row_dims = rank - 2;
    }
    std::uint64_t width = rank > row_dims ? chunk_dims[row_dims] : 0;
    std::uint64_t rows = 1;
    for (std::size_t i = 0; i < row_dims; ++i) {
        rows *= chunk_dims[i];
        if (rows > max_side) break; // before it can overflow
    }
    if (width < min_side || width > max_side) return side_error("width", width);
    if (rows < min_side || rows > max_side) return side_error("stacked height (its rows)", rows);
    layout.width = static_cast<std::uint32_t>(width);
    layout.rows = static_cast<std::uint32_t>(rows);
    return layout;
}

void store_layout(const ChunkLayout& layout, std::span<unsigned> values) {
    values[VRK_HDF5_CD_VERSION] = VRK_HDF5_LAYOUT_VERSION;
    values[VRK_HDF5_CD_LOSS_FACTOR] = layout.loss_factor;
    values[VRK_HDF5_CD_FAST] = layout.fast;
    values[VRK_HDF5_CD_GRAPHICS] = layout.graphics;
    values[VRK_HDF5_CD_BITS] = layout.element_size == 2 && layout.bits != 16 ? layout.bits : 0;
    values[VRK_HDF5_CD_COLOUR] = layout.colour;
    values[VRK_HDF5_CD_ROWS] = layout.rows;
    values[VRK_HDF5_CD_WIDTH] = layout.width;
    values[VRK_HDF5_CD_CHANNELS] = layout.channels;
    values[VRK_HDF5_CD_ELEMENT_SIZE] = layout.element_size;
    values[VRK_HDF5_CD_BIG_ENDIAN] = layout.big_endian;
    values[VRK_HDF5_CD_SIGNED] = layout.is_signed;
    values[VRK_HDF5_CD_CODED_BITS] = layout.bits;
}

std::optional<ChunkLayout> load_layout(std::span<const unsigned> values) {
    if (values.size() < VRK_HDF5_CD_VALUES || values[VRK_HDF5_CD_VERSION] != VRK_HDF5_LAYOUT_VERSION)
        return std::nullopt;
    ChunkLayout layout;
    layout.loss_factor = values[VRK_HDF5_CD_LOSS_FACTOR];
    layout.fast = values[VRK_HDF5_CD_FAST] != 0;
    layout.graphics = values[VRK_HDF5_CD_GRAPHICS] != 0;
    layout.colour = values[VRK_HDF5_CD_COLOUR] != 0;
    layout.rows = values[VRK_HDF5_CD_ROWS];
    layout.width = values[VRK_HDF5_CD_WIDTH];
    layout.channels = values[VRK_HDF5_CD_CHANNELS];
    layout.element_size = values[VRK_HDF5_CD_ELEMENT_SIZE];
    layout.big_endian = values[VRK_HDF5_CD_BIG_ENDIAN] != 0;
    layout.is_signed = values[VRK_HDF5_CD_SIGNED] != 0;
    layout.bits = values[VRK_HDF5_CD_CODED_BITS];
    // Values a file could carry but the filter never writes: refused, so that nothing below trusts them.
    bool sides =
        layout.rows >= min_side && layout.rows <= max_side && layout.width >= min_side && layout.width <= max_side;
    bool depth = layout.element_size == 1   ? layout.bits == 8 && (layout.channels == 1 || layout.channels == 3)
                 : layout.element_size == 2 ? layout.bits >= 9 && layout.bits <= 16 && layout.channels == 1
                                            : false;
    if (!sides || !depth || layout.loss_factor > max_loss_factor) return std::nullopt;
    return layout;
}

} // namespace vrk::hdf5
