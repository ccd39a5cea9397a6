#pragma once
// Hints to the host about how the program uses its memory.
#include <cstddef>

namespace platform {

// Asks the host to back the whole pages of [Start, Start + Bytes) with large pages where it can,
// so that filling a large block takes a few faults instead of one for every small page. Nothing
// changes where the host has none; the bytes are the same either way.
void PreferLargePages(void* Start, size_t Bytes);

}  // namespace platform
