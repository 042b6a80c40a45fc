// The HDF5 filter: HDF5's callbacks over vrk's C ABI. can_apply and
// set_local check a dataset when it is created and write the chunk layout
// into its cd_values; the filter codes one chunk as one vrk image, or
// decodes it, refusing any chunk that does not declare that layout.
#include <H5PLextern.h>
#include <hdf5.h>

#include <bit>
#include <cstring>
#include <exception>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include <vrk/hdf5_filter.h>
#include <vrk/vrk.h>

#include "layout.hpp"

namespace vrk::hdf5 {
namespace {

constexpr std::size_t max_values = 32; // more than any layout has

// Pushes an error onto HDF5's stack, where h5py and the tools report it.
void push_error(const char* function, hid_t minor, const std::string& message) {
    H5Epush2(H5E_DEFAULT, __FILE__, function, __LINE__, H5E_ERR_CLS, H5E_PLINE, minor, "vrk: %s", message.c_str());
}

// The layout a dataset's creation properties and element type ask for, and
// the filter's flags in that pipeline.
std::variant<ChunkLayout, std::string> plan_for(hid_t dcpl, hid_t type, unsigned* flags) {
    unsigned values[max_values] = {};
    std::size_t count = max_values;
    if (H5Pget_filter_by_id2(dcpl, VRK_HDF5_FILTER_ID, flags, &count, values, 0, nullptr, nullptr) < 0)
        return std::string("cannot read the filter's cd_values");
    if (count > max_values) count = max_values;

    ElementType element;
    H5T_class_t type_class = H5Tget_class(type);
    element.integer = type_class == H5T_INTEGER;
    element.kind = type_class == H5T_FLOAT      ? "floating-point numbers"
                   : type_class == H5T_COMPOUND ? "compound elements"
                                                : "elements, which are no integers";
    element.size = H5Tget_size(type);
    element.is_signed = element.integer && H5Tget_sign(type) == H5T_SGN_2;
    element.big_endian = element.integer && H5Tget_order(type) == H5T_ORDER_BE;

    hsize_t dims[H5S_MAX_RANK];
    int rank = H5Pget_chunk(dcpl, H5S_MAX_RANK, dims);
    if (rank <= 0) return std::string("the dataset must be chunked: each chunk is one image");
    std::vector<std::uint64_t> chunk(dims, dims + rank);
    return plan_layout(std::span<const unsigned>(values, count), element, chunk);
}

// The layout of a dataset about to be created, or none after pushing the
// reason onto HDF5's error stack.
std::optional<ChunkLayout> checked_layout(hid_t dcpl, hid_t type, unsigned* flags, const char* function, hid_t minor) {
    auto plan = plan_for(dcpl, type, flags);
    if (auto* why = std::get_if<std::string>(&plan)) {
        push_error(function, minor, *why);
        return std::nullopt;
    }
    return std::get<ChunkLayout>(plan);
}

htri_t can_apply(hid_t dcpl, hid_t type, hid_t) {
    try {
        unsigned flags = 0;
        // Negative, not 0: HDF5 would skip an optional filter that answers 0 and store raw chunks.
        return checked_layout(dcpl, type, &flags, "vrk_can_apply", H5E_CANAPPLY) ? 1 : -1;
    } catch (const std::exception&) {
        return -1;
    }
}

herr_t set_local(hid_t dcpl, hid_t type, hid_t) {
    try {
        unsigned flags = 0;
        const std::optional<ChunkLayout> layout = checked_layout(dcpl, type, &flags, "vrk_set_local", H5E_SETLOCAL);
        if (!layout) return -1;
        unsigned values[VRK_HDF5_CD_VALUES];
        store_layout(*layout, values);
        // Mandatory: a chunk the filter cannot code then fails its write instead of being stored raw.
        flags &= ~static_cast<unsigned>(H5Z_FLAG_OPTIONAL);
        if (H5Pmodify_filter(dcpl, VRK_HDF5_FILTER_ID, flags, VRK_HDF5_CD_VALUES, values) < 0) {
            push_error("vrk_set_local", H5E_SETLOCAL, "cannot store the chunk layout in cd_values");
            return -1;
        }
        return 0;
    } catch (const std::exception&) {
        return -1;
    }
}

constexpr std::uint16_t byte_swapped(std::uint16_t v) { return static_cast<std::uint16_t>((v >> 8) | (v << 8)); }

// Signed samples are stored with 2^(bits - 1) added; out of range, they
// wrap above 2^bits - 1, which the encoder refuses.
std::uint16_t sign_offset(const ChunkLayout& layout) { return static_cast<std::uint16_t>(1u << (layout.bits - 1)); }

bool swaps(const ChunkLayout& layout) { return layout.big_endian != (std::endian::native == std::endian::big); }

// Replaces HDF5's buffer with `size` bytes copied from `bytes`.
std::size_t hand_over(const void* bytes, std::size_t size, std::size_t* buf_size, void** buf) {
    void* out = H5allocate_memory(size, false);
    if (out == nullptr) {
        push_error("vrk_filter", H5E_CANTALLOC, "not enough memory for the chunk");
        return 0;
    }
    std::memcpy(out, bytes, size);
    H5free_memory(*buf);
    *buf = out;
    *buf_size = size;
    return size;
}

std::size_t encode_chunk(const ChunkLayout& layout, std::size_t nbytes, std::size_t* buf_size, void** buf) {
    if (nbytes != layout.bytes()) {
        push_error("vrk_filter", H5E_WRITEERROR,
                   "the chunk holds " + std::to_string(nbytes) + " bytes, not the " + std::to_string(layout.bytes()) +
                       " its layout says");
        return 0;
    }
    const void* pixels = *buf;
    std::vector<std::uint8_t> bytes;
    std::vector<std::uint16_t> words;
    if (layout.element_size == 1 && layout.is_signed) {
        bytes.resize(nbytes);
        auto* in = static_cast<const std::uint8_t*>(*buf);
        for (std::size_t i = 0; i < nbytes; ++i) bytes[i] = in[i] ^ 0x80u;
        pixels = bytes.data();
    } else if (layout.element_size == 2) {
        // The library takes native uint16_t samples.
        words.resize(layout.samples());
        std::memcpy(words.data(), *buf, nbytes);
        bool swap = swaps(layout);
        std::uint16_t offset = layout.is_signed ? sign_offset(layout) : 0;
        for (auto& w : words) w = static_cast<std::uint16_t>((swap ? byte_swapped(w) : w) + offset);
        pixels = words.data();
    }
    vrk_options options;
    vrk_options_init(&options);
    options.loss_factor = layout.loss_factor;
    options.fast = layout.fast;
    options.graphics = layout.graphics;
    std::uint8_t* out = nullptr;
    std::size_t out_size = 0;
    vrk_status status = vrk_encode(pixels, nbytes, 0, layout.width, layout.rows, layout.channels, layout.bits, &options,
                                   &out, &out_size);
    if (status != VRK_OK) {
        std::string why = vrk_status_message(status);
        if (status == VRK_INVALID_PARAMETERS)
            why += " (a sample outside the " + std::to_string(layout.bits) + " bits the dataset codes)";
        push_error("vrk_filter", H5E_WRITEERROR, "cannot compress the chunk: " + why);
        return 0;
    }
    std::size_t result = hand_over(out, out_size, buf_size, buf);
    vrk_free(out);
    return result;
}

std::size_t decode_chunk(const ChunkLayout& layout, std::size_t nbytes, std::size_t* buf_size, void** buf) {
    auto* data = static_cast<const std::uint8_t*>(*buf);
    vrk_info info;
    vrk_info_init(&info);
    vrk_status status = vrk_inspect(data, nbytes, &info);
    if (status != VRK_OK) {
        push_error("vrk_filter", H5E_READERROR, std::string("damaged chunk: ") + vrk_status_message(status));
        return 0;
    }
    // Nothing is allocated for a shape the dataset does not have.
    if (info.width != layout.width || info.height != layout.rows || info.channels != layout.channels ||
        info.bits_per_sample != layout.bits) {
        push_error("vrk_filter", H5E_READERROR,
                   "damaged chunk: it declares " + std::to_string(info.width) + " x " + std::to_string(info.height) +
                       " pixels of " + std::to_string(info.channels) + " channel(s) and " +
                       std::to_string(info.bits_per_sample) + " bits; the dataset's chunks are " +
                       std::to_string(layout.width) + " x " + std::to_string(layout.rows) + " of " +
                       std::to_string(layout.channels) + " and " + std::to_string(layout.bits));
        return 0;
    }
    void* out = H5allocate_memory(layout.bytes(), false);
    if (out == nullptr) {
        push_error("vrk_filter", H5E_CANTALLOC, "not enough memory for the chunk");
        return 0;
    }
    vrk_decode_options options;
    vrk_decode_options_init(&options);
    options.max_pixels = std::uint64_t{layout.rows} * layout.width;
    status = vrk_decode(data, nbytes, out, 0, layout.bytes(), &options);
    if (status != VRK_OK) {
        H5free_memory(out);
        push_error("vrk_filter", H5E_READERROR, std::string("damaged chunk: ") + vrk_status_message(status));
        return 0;
    }
    if (layout.element_size == 1 && layout.is_signed) {
        auto* bytes = static_cast<std::uint8_t*>(out);
        for (std::size_t i = 0; i < layout.bytes(); ++i) bytes[i] ^= 0x80u;
    } else if (layout.element_size == 2 && (layout.is_signed || swaps(layout))) {
        auto* words = static_cast<std::uint16_t*>(out); // from H5allocate_memory (malloc): aligned
        bool swap = swaps(layout);
        std::uint16_t offset = layout.is_signed ? sign_offset(layout) : 0;
        for (std::size_t i = 0; i < layout.samples(); ++i) {
            auto w = static_cast<std::uint16_t>(words[i] - offset);
            words[i] = swap ? byte_swapped(w) : w;
        }
    }
    H5free_memory(*buf);
    *buf = out;
    *buf_size = layout.bytes();
    return layout.bytes();
}

std::size_t filter(unsigned flags, std::size_t cd_nelmts, const unsigned cd_values[], std::size_t nbytes,
                   std::size_t* buf_size, void** buf) {
    try {
        auto layout = load_layout(std::span<const unsigned>(cd_values, cd_nelmts));
        if (!layout) {
            push_error("vrk_filter", H5E_BADVALUE, "the dataset's cd_values are not a layout this plugin knows");
            return 0;
        }
        return (flags & H5Z_FLAG_REVERSE) ? decode_chunk(*layout, nbytes, buf_size, buf)
                                          : encode_chunk(*layout, nbytes, buf_size, buf);
    } catch (const std::exception&) {
        return 0; // std::bad_alloc: HDF5 reports the filter's failure
    }
}

const H5Z_class2_t filter_class = {
    H5Z_CLASS_T_VERS,
    static_cast<H5Z_filter_t>(VRK_HDF5_FILTER_ID),
    1,
    1,
    "vrk: lossless and near-lossless image compression",
    can_apply,
    set_local,
    filter,
};

} // namespace
} // namespace vrk::hdf5

// The plugin's two entry points, which HDF5 looks up by name.
extern "C" {
H5PL_type_t H5PLget_plugin_type(void) { return H5PL_TYPE_FILTER; }
const void* H5PLget_plugin_info(void) { return &vrk::hdf5::filter_class; }
}
