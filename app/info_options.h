#pragma once
// --help and --version of the window programs: answered on stdout before the window system
// is touched, so they work without a display and open no window.

#include <cstdio>
#include <optional>
#include <string_view>

#include "iox_version.h"

namespace iox::app {

// The exit status when argv asks for the help or the version, else nothing.
inline std::optional<int> answerInfoOption(int argc, char** argv, const char* program, const char* help)
{
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--version") {
            std::printf("%s %s\n", program, kVersion);
            return 0;
        }
        if (arg == "--help" || arg == "-h") {
            std::fputs(help, stdout);
            return 0;
        }
    }
    return std::nullopt;
}

}  // namespace iox::app
