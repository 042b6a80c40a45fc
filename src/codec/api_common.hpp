// What every public entry point does with its options and failures.
#pragma once

#include <vrk/vrk.hpp>

#include <cstdint>
#include <new>

#include "core/error.hpp"
#include "core/image_parameters.hpp"

namespace vrk {

// The container header's mode flags for the options.
inline std::uint32_t mode_flags_for(const Options& options) noexcept {
    return (options.fast ? mode_fast : 0) | (options.graphics ? mode_graphics : 0);
}

// A negative threads setting is the caller's mistake: invalid_argument.
inline void check_threads(int threads) {
    if (threads < 0) fail(ErrorCode::invalid_argument);
}

// Runs `body`; an allocation failure anywhere in it becomes out_of_memory.
template <class Body>
auto guarded(Body&& body) -> decltype(body()) {
    try {
        return body();
    } catch (const std::bad_alloc&) {
        fail(ErrorCode::out_of_memory);
    }
}

} // namespace vrk
