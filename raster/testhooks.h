#pragma once
// Hooks for tests only: simulate a machine that runs out of memory.

#include <cstdint>

namespace raster {

// Allocations of the library larger than bytes fail; UINT64_MAX lifts it.
void setAllocationLimitForTest(uint64_t bytes);

} // namespace raster
