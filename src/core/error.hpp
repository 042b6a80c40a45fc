// Raising the system's fixed errors from inside the library.
#pragma once

#include <vrk/vrk.hpp>

namespace vrk {

[[noreturn]] inline void fail(ErrorCode code) { throw Error(code); }

} // namespace vrk
