// Placeholder until the wavelet engine lands.
#include "wavelet/wavelet_engine.hpp"
#include "frontend/error.hpp"
namespace vrk {
std::uint32_t wavelet_code_image(std::uint32_t, CodecContext&, EntropyCoder&, ImageFile&) {
    fail(ErrorCode::unsupported_image);
}
} // namespace vrk
