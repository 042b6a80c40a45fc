// One run's record: the image parameters and the working buffers, plus the
// image file the engine reads pixels from (encoding) or writes them to
// (decoding).
#pragma once

#include <cstdint>

#include "frontend/byte_io.hpp"
#include "frontend/image_parameters.hpp"
#include "wavelet/codec_buffers.hpp"

namespace vrk {

struct CodecContext {
    ImageParameters image;
    CodecBuffers buffers;
};

// The image file of a run: a source of pixel bytes when encoding, a sink
// when decoding. Exactly one of the two is set.
struct ImageFile {
    ByteSource* source = nullptr;
    ByteSink* sink = nullptr;
};

// After the last strip: an encoder's image file must end exactly after the
// last pixel ("image is larger than specified dimension"); then the file is
// closed ("Cannot close image file").
void end_image_file(ImageFile& file);

} // namespace vrk
