#include "platform/memory.h"

#include <cstdint>

#include <sys/mman.h>
#include <unistd.h>

namespace platform {

void PreferLargePages(void* Start, size_t Bytes) {
#ifdef MADV_HUGEPAGE
    static const uintptr_t page = uintptr_t(sysconf(_SC_PAGESIZE));
    const uintptr_t begin = (uintptr_t(Start) + page - 1) & ~(page - 1);
    const uintptr_t end = (uintptr_t(Start) + Bytes) & ~(page - 1);
    if (end > begin) madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
#else
    (void)Start;
    (void)Bytes;
#endif
}

}  // namespace platform
