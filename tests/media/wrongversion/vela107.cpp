// A companion library of the version before the one the player requires.
#include <cstdint>

extern "C" int32_t velaVersion(void) { return 107; }
