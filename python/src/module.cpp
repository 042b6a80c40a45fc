// vrk._vrk: the C++ library's public API for the Python package. The package
// (vrk/__init__.py) checks and normalises arguments and builds the Python
// objects; this module only moves bytes and samples, with the GIL released
// around every call into the library.
#include <pybind11/numpy.h>

#include "common.hpp"

#include <vrk/vrk.h>

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace {

using namespace vrk_python;

// The library's table of status names, as (name, number) pairs: every number
// from 0 up to the first one the table has no name for.
py::list status_names() {
    py::list pairs;
    for (int number = 0;; ++number) {
        const char* name = vrk_status_name(static_cast<vrk_status>(number));
        if (name == nullptr) return pairs;
        pairs.append(py::make_tuple(std::string(name), number));
    }
}

py::tuple info_tuple(const vrk::Info& info) {
    return py::make_tuple(info.width, info.height, info.channels, info.bits_per_sample, info.bytes_per_sample,
                          info.loss_factor, info.fast, info.graphics, static_cast<int>(info.format),
                          to_bytes(info.header));
}

// The layout of a (rows, columns, channels) sample array whose rows may lie
// any positive whole number of samples apart but whose samples within a row
// are packed: the one layout the library reads and writes in place.
struct RowLayout {
    int height = 0;
    int width = 0;
    int channels = 0;
    std::size_t row_stride = 0;   // in samples
    std::size_t span_samples = 0; // from the first sample to one past the last
};

RowLayout row_layout_of(const py::array& array) {
    if (array.ndim() != 3) throw py::value_error("expected a (rows, columns, channels) array");
    const auto item = array.itemsize();
    const py::ssize_t height = array.shape(0), width = array.shape(1), channels = array.shape(2);
    RowLayout layout;
    if (height > INT32_MAX || width > INT32_MAX || channels > INT32_MAX)
        throw py::value_error("array dimension too large");
    layout.height = static_cast<int>(height);
    layout.width = static_cast<int>(width);
    layout.channels = static_cast<int>(channels);
    if (height == 0 || width == 0 || channels == 0) return layout; // no samples: the library judges the size
    const bool packed_channels = channels == 1 || array.strides(2) == item;
    const bool packed_pixels = width == 1 || array.strides(1) == channels * item;
    const py::ssize_t row_bytes = width * channels * item;
    const bool rows_apart = height == 1 || (array.strides(0) >= row_bytes && array.strides(0) % item == 0);
    if (!packed_channels || !packed_pixels || !rows_apart)
        throw py::value_error("array rows must hold packed samples and lie a whole number of samples apart");
    layout.row_stride =
        height == 1 ? static_cast<std::size_t>(width * channels) : static_cast<std::size_t>(array.strides(0) / item);
    layout.span_samples =
        (static_cast<std::size_t>(height) - 1) * layout.row_stride + static_cast<std::size_t>(width * channels);
    return layout;
}

bool holds_uint8(const py::array& array) { return array.dtype().equal(py::dtype::of<std::uint8_t>()); }
bool holds_uint16(const py::array& array) { return array.dtype().equal(py::dtype::of<std::uint16_t>()); }

py::bytes encode(const py::array& array, int bits_per_sample, bool fast, bool graphics, int loss_factor, int threads) {
    const bool eight = holds_uint8(array);
    if (!eight && !holds_uint16(array)) throw py::value_error("samples must be uint8 or native uint16");
    const RowLayout layout = row_layout_of(array);
    vrk::ImageView view;
    view.width = layout.width;
    view.height = layout.height;
    view.channels = layout.channels;
    view.bits_per_sample = bits_per_sample;
    view.row_stride = layout.row_stride;
    if (eight)
        view.samples8 = {static_cast<const std::uint8_t*>(array.data()), layout.span_samples};
    else
        view.samples16 = {static_cast<const std::uint16_t*>(array.data()), layout.span_samples};
    const vrk::Options options = options_of(fast, graphics, loss_factor, threads);
    // `array` is referenced by the caller for the whole call, so its memory stays.
    const std::vector<std::uint8_t> compressed = without_gil([&] { return vrk::encode(view, options); });
    return to_bytes(compressed);
}

vrk::DecodeOptions decode_options_of(std::uint64_t max_pixels, int threads) {
    vrk::DecodeOptions options;
    options.max_pixels = max_pixels;
    options.threads = threads;
    return options;
}

// A numpy array that owns the library's sample vector, without copying it.
template <typename Sample>
py::array array_owning(std::vector<Sample>&& samples, const vrk::Info& info) {
    auto* owned = new std::vector<Sample>(std::move(samples));
    py::capsule owner(owned, [](void* pointer) { delete static_cast<std::vector<Sample>*>(pointer); });
    std::vector<py::ssize_t> shape{info.height, info.width};
    if (info.channels != 1) shape.push_back(info.channels);
    return py::array_t<Sample>(shape, owned->data(), owner);
}

py::tuple decode(const py::object& data, std::uint64_t max_pixels, int threads) {
    const InputBuffer input(data);
    const vrk::DecodeOptions options = decode_options_of(max_pixels, threads);
    vrk::Image image = without_gil([&] { return vrk::decode(input.bytes(), options); });
    py::array samples = image.info.bytes_per_sample == 1 ? array_owning(std::move(image.samples8), image.info)
                                                         : array_owning(std::move(image.samples16), image.info);
    return py::make_tuple(info_tuple(image.info), samples);
}

py::tuple decode_into(const py::object& data, const py::array& out, std::uint64_t max_pixels, int threads) {
    if (!out.writeable()) throw py::value_error("out is read-only");
    const bool eight = holds_uint8(out);
    if (!eight && !holds_uint16(out)) throw py::value_error("out must be uint8 or native uint16");
    const RowLayout layout = row_layout_of(out);
    const InputBuffer input(data);
    const vrk::DecodeOptions options = decode_options_of(max_pixels, threads);
    // `out` is referenced by the caller for the whole call, so its memory stays.
    void* destination = const_cast<void*>(out.data());
    const vrk::Info info = without_gil([&] {
        if (eight)
            return vrk::decode_into(input.bytes(), {static_cast<std::uint8_t*>(destination), layout.span_samples},
                                    layout.row_stride, options);
        return vrk::decode_into(input.bytes(), {static_cast<std::uint16_t*>(destination), layout.span_samples},
                                layout.row_stride, options);
    });
    return info_tuple(info);
}

py::tuple inspect(const py::object& data) {
    const InputBuffer input(data);
    const vrk::Info info = without_gil([&] { return vrk::inspect(input.bytes()); });
    return info_tuple(info);
}

py::bytes compress_image(const py::object& data, int format, bool fast, bool graphics, int loss_factor, int threads,
                         int width, int height, int bytes_per_pixel) {
    const InputBuffer input(data);
    const vrk::Options options = options_of(fast, graphics, loss_factor, threads);
    const vrk::RawLayout raw = raw_layout_of(width, height, bytes_per_pixel);
    const std::vector<std::uint8_t> compressed = without_gil(
        [&] { return vrk::compress_image(input.bytes(), static_cast<vrk::ImageFormat>(format), options, raw); });
    return to_bytes(compressed);
}

py::tuple restore_image(const py::object& data) {
    const InputBuffer input(data);
    const vrk::RestoredImage restored = without_gil([&] { return vrk::restore_image(input.bytes()); });
    return py::make_tuple(static_cast<int>(restored.format), to_bytes(restored.file));
}

// Paths travel as the file system's bytes, so any name the OS accepts works.
py::bytes compress_file(const std::string& path, bool fast, bool graphics, int loss_factor, int threads, int width,
                        int height, int bytes_per_pixel, bool overwrite) {
    const vrk::Options options = options_of(fast, graphics, loss_factor, threads);
    const vrk::RawLayout raw = raw_layout_of(width, height, bytes_per_pixel);
    const std::string output = without_gil([&] { return vrk::compress_file(path, options, raw, overwrite); });
    return py::bytes(output);
}

py::bytes restore_file(const std::string& path, bool overwrite) {
    const std::string output = without_gil([&] { return vrk::restore_file(path, overwrite); });
    return py::bytes(output);
}

} // namespace

PYBIND11_MODULE(_vrk, m) {
    m.doc() = "The vrk C++ library; use the vrk package, which wraps these functions.";

    vrk_python::register_error_translation(m);
    m.def("version", [] { return std::string(vrk::version()); });
    m.def("status_names", &status_names);
    m.def(
        "message_of", [](int code) { return std::string(vrk::message_of(static_cast<vrk::ErrorCode>(code))); },
        py::arg("code"));
    m.def("encode", &encode, py::arg("array").noconvert(), py::arg("bits_per_sample"), py::arg("fast"),
          py::arg("graphics"), py::arg("loss_factor"), py::arg("threads"));
    m.def("decode", &decode, py::arg("data"), py::arg("max_pixels"), py::arg("threads"));
    m.def("decode_into", &decode_into, py::arg("data"), py::arg("out").noconvert(), py::arg("max_pixels"),
          py::arg("threads"));
    m.def("inspect", &inspect, py::arg("data"));
    m.def("compress_image", &compress_image, py::arg("data"), py::arg("format"), py::arg("fast"), py::arg("graphics"),
          py::arg("loss_factor"), py::arg("threads"), py::arg("width"), py::arg("height"), py::arg("bytes_per_pixel"));
    m.def("restore_image", &restore_image, py::arg("data"));
    m.def("compress_file", &compress_file, py::arg("path"), py::arg("fast"), py::arg("graphics"),
          py::arg("loss_factor"), py::arg("threads"), py::arg("width"), py::arg("height"), py::arg("bytes_per_pixel"),
          py::arg("overwrite"));
    m.def("restore_file", &restore_file, py::arg("path"), py::arg("overwrite"));
}
