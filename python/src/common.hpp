// What the extension module shares between its parts: vrk::Error as the
// package's VrkError, read-only views of Python buffers, the GIL released
// around library calls, and the library's option structs.
#pragma once

#include <pybind11/pybind11.h>

#include <vrk/vrk.hpp>

#include <cstdint>
#include <exception>
#include <span>

namespace py = pybind11;

namespace vrk_python {

// The Python exception class that vrk::Error becomes; set once by the package.
inline PyObject* error_type = nullptr;

inline void set_error_type(py::object type) {
    Py_XDECREF(error_type);
    error_type = type.release().ptr(); // kept for the interpreter's lifetime
}

inline void raise_vrk_error(const vrk::Error& error) {
    if (error_type == nullptr) {
        PyErr_SetString(PyExc_RuntimeError, error.what());
        return;
    }
    try {
        py::object instance = py::reinterpret_borrow<py::object>(error_type)(static_cast<int>(error.code()));
        PyErr_SetObject(error_type, instance.ptr());
    } catch (py::error_already_set& failure) {
        failure.restore();
    }
}

// A status of the C ABI as the C++ API reports it.
inline void check(vrk_status status) {
    if (status != VRK_OK) throw vrk::Error(static_cast<vrk::ErrorCode>(status));
}

// A C-contiguous view of any object with the buffer protocol, released on
// destruction (which must happen with the GIL held).
class InputBuffer {
public:
    explicit InputBuffer(const py::object& object) {
        if (PyObject_GetBuffer(object.ptr(), &view_, PyBUF_C_CONTIGUOUS) != 0) throw py::error_already_set();
    }
    ~InputBuffer() { PyBuffer_Release(&view_); }
    InputBuffer(const InputBuffer&) = delete;
    InputBuffer& operator=(const InputBuffer&) = delete;

    // Never a null pointer, which the C ABI refuses even for no bytes.
    std::span<const std::uint8_t> bytes() const noexcept {
        static const std::uint8_t nothing = 0;
        const auto* data = view_.buf != nullptr ? static_cast<const std::uint8_t*>(view_.buf) : &nothing;
        return {data, static_cast<std::size_t>(view_.len)};
    }

private:
    Py_buffer view_{};
};

// Runs a library call with the GIL released, so other Python threads go on;
// the call must touch no Python object unless it takes the GIL back.
template <class Call>
auto without_gil(Call&& call) {
    py::gil_scoped_release unlocked;
    return call();
}

inline vrk::Options options_of(bool fast, bool graphics, int loss_factor, int threads) {
    vrk::Options options;
    options.fast = fast;
    options.graphics = graphics;
    options.loss_factor = loss_factor;
    options.threads = threads;
    return options;
}

inline vrk::DecodeOptions decode_options_of(std::uint64_t max_pixels, int threads) {
    vrk::DecodeOptions options;
    options.max_pixels = max_pixels;
    options.threads = threads;
    return options;
}

// Makes vrk::Error raise the package's VrkError (set by vrk/__init__.py through _set_error_type).
inline void register_error_translation(py::module_& m) {
    py::register_exception_translator([](std::exception_ptr pending) {
        try {
            if (pending) std::rethrow_exception(pending);
        } catch (const vrk::Error& error) {
            raise_vrk_error(error);
        }
    });
    m.def("_set_error_type", &set_error_type, py::arg("type"));
}

} // namespace vrk_python
