// Placeholder until the graphics engine lands.
#include "graphics/graphics_engine.hpp"
#include "frontend/error.hpp"
namespace vrk {
std::uint32_t graphics_code_image(std::uint32_t, CodecContext&, EntropyCoder&, ImageFile&) {
    fail(ErrorCode::unsupported_image);
}
} // namespace vrk
