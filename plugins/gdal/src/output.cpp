#include "output.hpp"

#include <cpl_error.h>
#include <cpl_vsi.h>

#include <cstring>

namespace vrk::gdal {

bool deliver(const uint8_t* bytes, size_t size, OutputMode mode, void** output_data, size_t* output_size) {
    switch (mode) {
    case OutputMode::size_only: *output_size = size; return true;
    case OutputMode::allocate: {
        void* copy = VSIMalloc(size == 0 ? 1 : size);
        if (copy == nullptr) {
            CPLError(CE_Failure, CPLE_OutOfMemory, "vrk: cannot allocate %zu bytes", size);
            *output_size = 0;
            return false;
        }
        std::memcpy(copy, bytes, size);
        *output_data = copy;
        *output_size = size;
        return true;
    }
    case OutputMode::caller:
        if (*output_size < size) {
            *output_size = size; // the contract: a failure for want of space reports the size needed
            return false;
        }
        std::memcpy(*output_data, bytes, size);
        *output_size = size;
        return true;
    }
    return false;
}

} // namespace vrk::gdal
