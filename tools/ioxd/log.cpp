#include "log.h"

#include <cstdio>
#include <mutex>

namespace iox::ioxd {

void logLine(const std::string& line)
{
    // Text from the network (a file name, a path) cannot forge a line of its own.
    std::string shown = line;
    for (char& c : shown)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f)
            c = '?';
    static std::mutex lock;
    std::lock_guard held(lock);
    std::fprintf(stderr, "ioxd: %s\n", shown.c_str());
    std::fflush(stderr);
}

}  // namespace iox::ioxd
