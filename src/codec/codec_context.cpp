#include "codec/codec_context.hpp"

#include "frontend/error.hpp"

namespace vrk {

void end_image_file(ImageFile& file) {
    if (file.source != nullptr) {
        if (file.source->read_byte() >= 0) fail(ErrorCode::image_too_large);
        if (!file.source->close()) fail(ErrorCode::cannot_close_image);
    }
    if (file.sink != nullptr && !file.sink->close()) fail(ErrorCode::cannot_close_image);
}

} // namespace vrk
