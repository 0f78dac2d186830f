#pragma once
// Finding the box a command is for: the boxes on the bus by path, what each one says about
// itself, and the choice by --sn or --path with a clear refusal when it is not one box.

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "environment.h"
#include "exit_codes.h"
#include "invocation.h"

namespace iox::ctl {

// Paths of the interfaces with the box's vendor and product ID, in the platform's order.
// Nothing is opened.
std::vector<std::string> boxPaths(HidBackend& bus);

struct BoxIdentity {
    std::string path;
    bool opened = false;    // the path could be opened
    bool answered = false;  // the box answered its serial-number request
    std::string serial, model, revision;
    int level = 0;          // firmware level, GetExtFirmware's result
};

// Opens the box at path on its own and asks it for its serial number; with full, also for
// its model name and firmware.
BoxIdentity identify(HidBackend& bus, const std::string& path, const Environment& env, bool full);

struct Selection {
    std::optional<std::string> path;  // the chosen box
    Exit exit = Exit::Ok;
    std::string message;              // the refusal, when no box was chosen
};

// The one box that --path or --sn names, or the only box attached. Only the serial-number
// request is sent, and only when --sn has to be looked up.
Selection selectBox(HidBackend& bus, const GlobalOptions& options, const Environment& env);

// Selects and connects the box, then runs body on the connection. Refusals are printed on
// env.err and their code returned; the connection is closed afterwards.
Exit withBox(HidBackend& bus, const GlobalOptions& options, const Environment& env,
             const std::function<Exit(USB_IO& device, const std::string& path)>& body);

}  // namespace iox::ctl
