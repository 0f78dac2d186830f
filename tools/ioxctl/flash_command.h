#pragma once
// ioxctl flash: the firmware core's update, the one the update window runs, from the
// command line. The image is read and checked before any box is looked for, so a refused
// file sends nothing; then the box is marked, reset, reopened under its path and sent its
// lines, with a progress bar on a terminal and plain progress lines otherwise.

#include "environment.h"
#include "exit_codes.h"
#include "invocation.h"

namespace iox::ctl {

// waits: whether the box's restarts take real time (not on simulated or replayed boxes).
Exit runFlash(HidBackend& bus, const GlobalOptions& options, const FlashCommand& command, const Environment& env,
              bool waits);

}  // namespace iox::ctl
