#include "file_probe.h"

#include <fcntl.h>
#include <unistd.h>

#include <filesystem>
#include <system_error>

namespace iox::firmware {

namespace {
constexpr int kProbeNames = 100;
}

bool canCreateFile(const std::string& path)
{
    if (path.empty())
        return false;
    // A wildcard makes a pattern, not a name, on every platform.
    const std::string name = path.substr(path.rfind('/') + 1);
    if (name.find_first_of("*?") != std::string::npos)
        return false;
    for (int n = 0; n < kProbeNames; ++n) {
        const std::string probe = path + '_' + (n == 0 ? std::string() : std::to_string(n));
        // O_EXCL fails rather than open a file that exists: what is there stays untouched.
        const int fd = ::open(probe.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) {
            ::close(fd);
            ::unlink(probe.c_str());
            return true;
        }
        std::error_code error;
        if (!std::filesystem::exists(probe, error))
            return false;  // not taken, just impossible to create
    }
    return false;
}

}  // namespace iox::firmware
