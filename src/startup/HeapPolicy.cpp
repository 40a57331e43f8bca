#include "HeapPolicy.h"

#include <cstdlib> // defines __GLIBC__ where it applies
#ifdef __GLIBC__
#include <malloc.h>
#endif

namespace HeapPolicy {

void KeepLargeBlocksApart()
{
#ifdef __GLIBC__
    // Setting the threshold at all turns its adjustment off.
    mallopt(M_MMAP_THRESHOLD, kLargeBlock);
#endif
}

Usage CurrentUsage()
{
#ifdef __GLIBC__
    const struct mallinfo2 info = mallinfo2();
    return {static_cast<long long>(info.uordblks + info.hblkhd),
            static_cast<long long>(info.fordblks)};
#else
    return {};
#endif
}

} // namespace HeapPolicy
