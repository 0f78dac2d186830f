#pragma once
// Bytes the process holds on the heap right now, for checks that memory does not grow.
// Under AddressSanitizer its allocator's own count (freed blocks in quarantine are not
// held); otherwise glibc's.

#include <cstddef>

#if defined(__SANITIZE_ADDRESS__)
#define IOX_HEAP_FROM_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define IOX_HEAP_FROM_ASAN 1
#endif
#endif

#ifdef IOX_HEAP_FROM_ASAN
// Declared here: GCC's sanitizer headers do not include the allocator interface.
extern "C" std::size_t __sanitizer_get_current_allocated_bytes();
#else
#include <malloc.h>
#endif

namespace iox::testing {

inline std::size_t liveHeapBytes()
{
#ifdef IOX_HEAP_FROM_ASAN
    return __sanitizer_get_current_allocated_bytes();
#else
    return mallinfo2().uordblks;
#endif
}

}  // namespace iox::testing
