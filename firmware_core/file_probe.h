#pragma once
// Whether a file of a given path could be created, found by creating a probe file beside
// it and removing it again. A file that already exists is never opened, changed or removed.

#include <string>

namespace iox::firmware {

// Probes with path + "_", or path + "_1", "_2"... when that name is taken already. False
// for an empty path, a name holding a wildcard ('*' or '?'), or when no probe can be made.
bool canCreateFile(const std::string& path);

}  // namespace iox::firmware
