#pragma once
#include <cstdint>

namespace platform {

// Milliseconds since an arbitrary start, wrapping at 2^32 like the host's multimedia timer.
uint32_t ClockMs();

}  // namespace platform
