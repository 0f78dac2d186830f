#pragma once
// ioxctl wait: reads the line's port back to back until the line reads the level asked,
// then prints the seconds waited. Ends with its own exit code at the timeout, and on a
// signal.

#include "environment.h"
#include "exit_codes.h"
#include "invocation.h"

namespace iox::ctl {

Exit runWait(USB_IO& device, const WaitCommand& command, const Environment& env);

}  // namespace iox::ctl
