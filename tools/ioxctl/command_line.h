#pragma once
// ioxctl's command line (CLI11) turned into an Invocation, every value checked.

#include <optional>
#include <string>
#include <vector>

#include "exit_codes.h"
#include "invocation.h"

namespace iox::ctl {

struct ParseOutcome {
    std::optional<Invocation> invocation;
    Exit exit = Exit::Ok;  // without an invocation: Ok after --help, else BadArgument
    std::string text;      // the help (for stdout) or the refusal (for stderr)
};

// args: the arguments after the program's name.
ParseOutcome parseCommandLine(const std::vector<std::string>& args);

}  // namespace iox::ctl
