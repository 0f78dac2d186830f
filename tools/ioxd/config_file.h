#pragma once
// The configuration file as written: one "key = value" a line, '#' or ';' starting a comment
// line, blank lines skipped. A value may be quoted ("...") to keep its blanks. What the keys
// mean is the command line's business; this only reads the file and says where each line was.

#include <optional>
#include <string>
#include <vector>

namespace iox::ioxd {

struct Setting {
    int line = 0;  // from 1
    std::string key, value;
};

struct ConfigFile {
    std::vector<Setting> settings;
    std::string error;  // "FILE:LINE: why", or that the file cannot be read; empty when read whole
};

ConfigFile readConfigFile(const std::string& path);

}  // namespace iox::ioxd
