// Counts every heap allocation the process makes (malloc, calloc, realloc, the aligned
// forms, and operator new, which goes through malloc), so a benchmark can show that a phase
// of a run allocates nothing.
//
// The count is process-wide and lock-free; any thread may read it. In a sanitizer build the
// sanitizer owns the allocator, nothing is counted and ALLOC_Counting() is false.
#pragma once

#include <cstdint>

// Allocations since the program started.
uint64_t ALLOC_Count();

// False when allocations cannot be counted in this build.
bool ALLOC_Counting();
