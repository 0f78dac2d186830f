#pragma once
// The box a command is for, chosen by --sn or --path or as the only box attached, with the
// refusal and exit code for each other outcome.

#include <functional>
#include <string>

#include "boxes/selection.h"
#include "environment.h"
#include "exit_codes.h"
#include "invocation.h"

namespace iox::ctl {

// Selects and connects the box, then runs body on the connection. Refusals are printed on
// env.err and their code returned; the connection is closed afterwards.
Exit withBox(HidBackend& bus, const GlobalOptions& options, const Environment& env,
             const std::function<Exit(USB_IO& device, const std::string& path)>& body);

}  // namespace iox::ctl
