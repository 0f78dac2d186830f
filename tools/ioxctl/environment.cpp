#include "environment.h"

#include <filesystem>
#include <thread>

#include <cerrno>
#include <unistd.h>

namespace iox::ctl {

void Environment::pause(std::chrono::milliseconds duration) const
{
    if (sleep)
        sleep(duration);
    else
        std::this_thread::sleep_for(duration);
}

PathAccess Environment::accessOf(const std::string& path) const
{
    if (pathAccess)
        return pathAccess(path);
    // Only device nodes can be asked; other paths (hidapi's libusb form, simulated boxes)
    // say nothing about permissions.
    if (path.rfind("/dev/", 0) != 0)
        return PathAccess::Unknown;
    if (::access(path.c_str(), R_OK | W_OK) == 0)
        return PathAccess::Allowed;
    return errno == EACCES ? PathAccess::Denied : PathAccess::Unknown;
}

bool Environment::exists(const std::string& path) const
{
    if (fileExists)
        return fileExists(path);
    std::error_code error;
    return std::filesystem::exists(path, error);
}

}  // namespace iox::ctl
