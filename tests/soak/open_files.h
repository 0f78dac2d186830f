#pragma once
// The process's open file descriptors, counted from /proc/self/fd.

#include <cstddef>
#include <filesystem>

namespace iox::testing {

inline std::size_t openFileCount()
{
    std::size_t n = 0;
    std::error_code error;
    for (auto it = std::filesystem::directory_iterator("/proc/self/fd", error);
         !error && it != std::filesystem::directory_iterator(); it.increment(error))
        ++n;
    return n;  // the listing's own descriptor included: compare counts, not values
}

}  // namespace iox::testing
