// vrk._vrk: the library's public API for the Python package. The package
// (vrk/__init__.py) checks and normalises arguments and builds the Python
// objects; this module only moves bytes and samples, with the GIL released
// around every call into the library. Results are written where they end up
// (a bytes object, the caller's array), so a call needs its input, its
// output and the library's few strips of working memory.
#include <pybind11/numpy.h>

#include "common.hpp"

#include <vrk/vrk.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>
#include <span>
#include <string>
#include <utility>

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

py::bytes to_bytes(std::span<const std::uint8_t> data) {
    return py::bytes(reinterpret_cast<const char*>(data.data()), data.size());
}

py::tuple info_tuple(const vrk::Info& info) {
    return py::make_tuple(info.width, info.height, info.channels, info.bits_per_sample, info.bytes_per_sample,
                          info.loss_factor, info.fast, info.graphics, static_cast<int>(info.format),
                          to_bytes(info.header));
}

Py_ssize_t ssize(std::size_t size) {
    if (size > static_cast<std::size_t>(PY_SSIZE_T_MAX)) throw std::bad_alloc();
    return static_cast<Py_ssize_t>(size);
}

// A bytes object filled while the GIL is released: writes go straight into
// its memory, which no other code can see yet. Growing takes the GIL back,
// as resizing needs it; blocks that large grow and shrink in place (realloc
// remaps their pages), so the output is never held twice.
class GrowingBytes {
public:
    explicit GrowingBytes(std::size_t capacity)
        : object_(PyBytes_FromStringAndSize(nullptr, ssize(capacity))), capacity_(capacity) {
        if (object_ == nullptr) throw py::error_already_set();
    }
    ~GrowingBytes() { Py_XDECREF(object_); } // with the GIL held
    GrowingBytes(const GrowingBytes&) = delete;
    GrowingBytes& operator=(const GrowingBytes&) = delete;

    // Without the GIL.
    void append(std::span<const std::uint8_t> bytes) {
        if (bytes.size() > capacity_ - size_) grow(bytes.size());
        std::memcpy(PyBytes_AS_STRING(object_) + size_, bytes.data(), bytes.size());
        size_ += bytes.size();
    }

    // With the GIL held: the bytes written, and nothing more.
    py::bytes finish() {
        if (size_ != capacity_ && _PyBytes_Resize(&object_, ssize(size_)) != 0) throw py::error_already_set();
        return py::reinterpret_steal<py::bytes>(std::exchange(object_, nullptr));
    }

private:
    void grow(std::size_t more) {
        const std::size_t capacity = std::max(size_ + more, capacity_ + capacity_ / 2);
        py::gil_scoped_acquire locked;
        if (_PyBytes_Resize(&object_, ssize(capacity)) != 0) { // object_ is gone: NULL
            PyErr_Clear();
            throw std::bad_alloc(); // MemoryError, once out of the library call
        }
        capacity_ = capacity;
    }

    PyObject* object_;
    std::size_t capacity_;
    std::size_t size_ = 0;
};

// The layout of a (rows, columns, channels) sample array whose rows may lie
// any positive whole number of samples apart but whose samples within a row
// are packed: the one layout the library reads and writes in place.
struct RowLayout {
    int height = 0;
    int width = 0;
    int channels = 0;
    std::size_t row_samples = 0;  // width * channels
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
    layout.row_samples = static_cast<std::size_t>(width * channels);
    layout.row_stride = height == 1 ? layout.row_samples : static_cast<std::size_t>(array.strides(0) / item);
    layout.span_samples = (static_cast<std::size_t>(height) - 1) * layout.row_stride + layout.row_samples;
    return layout;
}

bool holds_uint8(const py::array& array) { return array.dtype().equal(py::dtype::of<std::uint8_t>()); }
bool holds_uint16(const py::array& array) { return array.dtype().equal(py::dtype::of<std::uint16_t>()); }

// Streams the rows out of the array into a bytes object: the same bytes as
// the library's in-memory encoder, without its growing copy of the output.
py::bytes encode(const py::array& array, int bits_per_sample, bool fast, bool graphics, int loss_factor, int threads) {
    const bool eight = holds_uint8(array);
    if (!eight && !holds_uint16(array)) throw py::value_error("samples must be uint8 or native uint16");
    const RowLayout layout = row_layout_of(array);
    // `array` is referenced by the caller for the whole call, so its memory stays.
    const auto* samples = static_cast<const std::uint8_t*>(array.data());
    const std::size_t item = eight ? 1 : 2;
    vrk::RowSource rows;
    rows.width = layout.width;
    rows.height = layout.height;
    rows.channels = layout.channels;
    rows.bits_per_sample = bits_per_sample;
    rows.row = [&](int y) {
        const std::uint8_t* start = samples + static_cast<std::size_t>(y) * layout.row_stride * item;
        if (eight) return vrk::Row{{start, layout.row_samples}, {}};
        return vrk::Row{{}, {reinterpret_cast<const std::uint16_t*>(start), layout.row_samples}};
    };
    // Room for half the samples up front (untouched pages cost nothing), and
    // more only when the image compresses worse than that.
    constexpr std::size_t slack = 64 * 1024;
    const std::size_t sample_bytes = static_cast<std::size_t>(layout.height) * layout.row_samples * item;
    GrowingBytes out(std::min<std::size_t>(sample_bytes / 2, std::size_t{64} << 20) + slack);
    const vrk::Options options = options_of(fast, graphics, loss_factor, threads);
    const vrk::WriteFunction write = [&](std::span<const std::uint8_t> bytes) { out.append(bytes); };
    without_gil([&] { vrk::encode_stream(rows, write, options); });
    return out.finish();
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
                         std::uint32_t width, std::uint32_t height, std::uint32_t bytes_per_pixel) {
    const InputBuffer input(data);
    const auto file = input.bytes();
    vrk_options options;
    vrk_options_init(&options);
    options.fast = fast ? 1 : 0;
    options.graphics = graphics ? 1 : 0;
    options.loss_factor = loss_factor;
    options.threads = threads;
    // The C call's own buffer becomes the bytes object: one copy, where the
    // C++ layer would make two.
    std::uint8_t* out = nullptr;
    std::size_t out_size = 0;
    const vrk_status status = without_gil([&] {
        if (format == VRK_FORMAT_RAW)
            return vrk_compress_raw(file.data(), file.size(), width, height, bytes_per_pixel, &options, &out,
                                    &out_size);
        return vrk_compress_image(file.data(), file.size(), static_cast<vrk_format>(format), &options, &out, &out_size);
    });
    const std::unique_ptr<std::uint8_t, void (*)(void*)> owned(out, &vrk_free);
    check(status);
    return to_bytes({out, out_size});
}

// Restores the image file straight into a bytes object of its exact size:
// the headers give it (the file's header, then every row, 16-bit samples
// high byte first), and the rows are streamed into place.
py::tuple restore_image(const py::object& data, std::uint64_t max_pixels, int threads) {
    const InputBuffer input(data);
    const vrk::Info info = vrk::inspect(input.bytes());
    // The output exists before decoding starts, so the limit is judged first.
    const std::uint64_t pixels = static_cast<std::uint64_t>(info.width) * static_cast<std::uint64_t>(info.height);
    if (max_pixels != 0 && pixels > max_pixels) throw vrk::Error(vrk::ErrorCode::limit_exceeded);
    const std::size_t row_bytes = static_cast<std::size_t>(info.width) * static_cast<std::size_t>(info.channels) *
                                  static_cast<std::size_t>(info.bytes_per_sample);
    const std::size_t size = info.header.size() + row_bytes * static_cast<std::size_t>(info.height);
    auto file = py::reinterpret_steal<py::bytes>(PyBytes_FromStringAndSize(nullptr, ssize(size)));
    if (!file) throw py::error_already_set();
    auto* const start = reinterpret_cast<std::uint8_t*>(PyBytes_AS_STRING(file.ptr()));
    if (!info.header.empty()) std::memcpy(start, info.header.data(), info.header.size());
    std::uint8_t* const rows = start + info.header.size();

    std::span<const std::uint8_t> rest = input.bytes();
    const vrk::ReadFunction read = [&](std::span<std::uint8_t> buffer) {
        const std::size_t n = std::min(buffer.size(), rest.size());
        if (n != 0) std::memcpy(buffer.data(), rest.data(), n);
        rest = rest.subspan(n);
        return n;
    };
    int rows_written = 0;
    const vrk::RowFunction on_row = [&](int y, const vrk::Row& row) {
        if (y < 0 || y >= info.height || row.samples8.size_bytes() + row.samples16.size_bytes() != row_bytes)
            throw vrk::Error(vrk::ErrorCode::invalid_compressed_file); // not the image the headers declared
        std::uint8_t* target = rows + static_cast<std::size_t>(y) * row_bytes;
        if (row.samples16.empty()) {
            std::memcpy(target, row.samples8.data(), row_bytes);
        } else {
            for (const std::uint16_t sample : row.samples16) {
                *target++ = static_cast<std::uint8_t>(sample >> 8);
                *target++ = static_cast<std::uint8_t>(sample);
            }
        }
        ++rows_written;
    };
    const vrk::DecodeOptions options = decode_options_of(max_pixels, threads);
    without_gil([&] { vrk::decode_stream(read, on_row, options); });
    if (rows_written != info.height) throw vrk::Error(vrk::ErrorCode::invalid_compressed_file);
    return py::make_tuple(static_cast<int>(info.format), file);
}

// Paths travel as the file system's bytes, so any name the OS accepts works.
py::bytes compress_file(const std::string& path, bool fast, bool graphics, int loss_factor, int threads, int width,
                        int height, int bytes_per_pixel, bool overwrite) {
    const vrk::Options options = options_of(fast, graphics, loss_factor, threads);
    vrk::RawLayout raw;
    raw.width = width;
    raw.height = height;
    raw.bytes_per_pixel = bytes_per_pixel;
    const std::string output = without_gil([&] { return vrk::compress_file(path, options, raw, overwrite); });
    return py::bytes(output);
}

py::bytes restore_file(const std::string& path, bool overwrite, std::uint64_t max_pixels, int threads) {
    const vrk::DecodeOptions options = decode_options_of(max_pixels, threads);
    const std::string output = without_gil([&] { return vrk::restore_file(path, overwrite, options); });
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
    m.def("decode_into", &decode_into, py::arg("data"), py::arg("out").noconvert(), py::arg("max_pixels"),
          py::arg("threads"));
    m.def("inspect", &inspect, py::arg("data"));
    m.def("compress_image", &compress_image, py::arg("data"), py::arg("format"), py::arg("fast"), py::arg("graphics"),
          py::arg("loss_factor"), py::arg("threads"), py::arg("width"), py::arg("height"), py::arg("bytes_per_pixel"));
    m.def("restore_image", &restore_image, py::arg("data"), py::arg("max_pixels"), py::arg("threads"));
    m.def("compress_file", &compress_file, py::arg("path"), py::arg("fast"), py::arg("graphics"),
          py::arg("loss_factor"), py::arg("threads"), py::arg("width"), py::arg("height"), py::arg("bytes_per_pixel"),
          py::arg("overwrite"));
    m.def("restore_file", &restore_file, py::arg("path"), py::arg("overwrite"), py::arg("max_pixels"),
          py::arg("threads"));
}
