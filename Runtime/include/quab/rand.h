// The process-wide pseudo-random generator (unique names, not security).
#pragma once

#include <quab/types.h>

// A value in first..last, both included.
uint32_t RTRandRange(uint32_t uFirst, uint32_t uLast);
