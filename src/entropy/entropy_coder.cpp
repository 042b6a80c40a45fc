// Placeholder until the entropy coder lands.
#include "entropy/entropy_coder.hpp"
#include "frontend/error.hpp"
namespace vrk {
EntropyCoder::EntropyCoder(ByteSink&, bool, int) : state_(nullptr) {}
EntropyCoder::EntropyCoder(ByteSource&, bool, int) : state_(nullptr) {}
EntropyCoder::~EntropyCoder() = default;
bool EntropyCoder::encoding() const noexcept { return true; }
std::size_t EntropyCoder::code_buffer_capacity(std::size_t values, int) noexcept { return values * 8 + 64; }
void EntropyCoder::begin_strip(std::uint8_t*, std::size_t) {}
void EntropyCoder::finish_strip() {}
void EntropyCoder::code_plane(StripRows, std::int32_t*, int, int) {}
void EntropyCoder::code_band(int, StripRows, int, int, std::int32_t*, std::int32_t*) {}
std::int64_t EntropyCoder::write_check_word(std::uint32_t) { return 0; }
std::uint32_t EntropyCoder::read_check_word() { return 0; }
} // namespace vrk
