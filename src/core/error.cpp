#include "core/error.hpp"

namespace vrk {

static_assert(
    [] {
        for (std::size_t i = 0; i < error_table.size(); ++i)
            if (static_cast<std::size_t>(error_table[i].code) != i) return false;
        return true;
    }(),
    "the error table lists the codes in order, from 0");

} // namespace vrk
