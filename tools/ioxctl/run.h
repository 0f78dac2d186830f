#pragma once
// One run of ioxctl: the command line parsed and checked, the bus chosen (real boxes,
// the environment's bus, or --simulate's boxes), traced when asked, and the command run.

#include <string>
#include <vector>

#include "environment.h"

namespace iox::ctl {

// args: the arguments after the program's name. The result is the exit code.
int run(const std::vector<std::string>& args, const Environment& env);

}  // namespace iox::ctl
