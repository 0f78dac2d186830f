#include "log.h"

#include <cstdio>
#include <mutex>

namespace iox::ioxd {

void logLine(const std::string& line)
{
    static std::mutex lock;
    std::lock_guard held(lock);
    std::fprintf(stderr, "ioxd: %s\n", line.c_str());
    std::fflush(stderr);
}

}  // namespace iox::ioxd
