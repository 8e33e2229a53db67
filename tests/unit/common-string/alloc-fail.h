// Sizes that the heap refuses, so that allocation-failure paths run without
// any hook in the allocator.
#pragma once

#include <stddef.h>
#include <stdint.h>

// Half the address space: never available to a test process, and small
// enough that no size computation wraps.
inline constexpr size_t g_cbUnallocatable = SIZE_MAX / 2;
