#include "log.h"

#include <cstdio>
#include <mutex>

namespace iox::mqtt {

void logLine(const std::string& line)
{
    static std::mutex lock;
    std::lock_guard held(lock);
    std::fprintf(stderr, "iox-mqtt: %s\n", line.c_str());
    std::fflush(stderr);
}

}  // namespace iox::mqtt
