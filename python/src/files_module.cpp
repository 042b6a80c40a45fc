// vrk._vrk_files: compress_file and restore_file, in a module of their own so
// that the rest of the package imports even with a library built without them.
#include <string>

#include "common.hpp"

namespace {

using namespace vrk_python;

// Paths travel as the file system's bytes, so any name the OS accepts works.
py::bytes compress_file(const std::string& path, bool fast, bool graphics, int loss_factor, int threads, int width,
                        int height, int bytes_per_pixel, bool overwrite) {
    const vrk::Options options = options_of(fast, graphics, loss_factor, threads);
    const vrk::RawLayout raw = raw_layout_of(width, height, bytes_per_pixel);
    std::string output;
    {
        py::gil_scoped_release unlocked;
        output = vrk::compress_file(path, options, raw, overwrite);
    }
    return py::bytes(output);
}

py::bytes restore_file(const std::string& path, bool overwrite) {
    std::string output;
    {
        py::gil_scoped_release unlocked;
        output = vrk::restore_file(path, overwrite);
    }
    return py::bytes(output);
}

} // namespace

PYBIND11_MODULE(_vrk_files, m) {
    m.doc() = "The vrk C++ library's file functions; use vrk.compress_file and vrk.restore_file.";
    register_error_translation(m);
    m.def("compress_file", &compress_file, py::arg("path"), py::arg("fast"), py::arg("graphics"),
          py::arg("loss_factor"), py::arg("threads"), py::arg("width"), py::arg("height"),
          py::arg("bytes_per_pixel"), py::arg("overwrite"));
    m.def("restore_file", &restore_file, py::arg("path"), py::arg("overwrite"));
}
