#pragma once
// Exit codes of ioxctl, one per kind of outcome, so scripts can tell failures apart.

#include <string>

namespace iox::ctl {

enum class Exit : int {
    Ok = 0,
    BadArgument = 2,      // refused before anything was sent to a box
    NoBox = 3,            // no box on the bus
    SeveralBoxes = 4,     // several boxes and no --sn or --path, or several share the --sn
    NotFound = 5,         // no box with that serial number or path
    CannotOpen = 6,       // a box is there but cannot be opened (permissions, another program)
    NotAnswering = 7,     // the box took no request or gave no answer in time
    ImageRefused = 8,     // the firmware image fails its checks; nothing was sent
    UpdateFailed = 9,     // the update began but did not finish; the box is in its bootloader
    NotUpdatable = 10,    // the box's firmware level takes no update
    Interrupted = 11,     // a signal stopped flash before the box's reset (nothing more was sent), or a wait
    WaitTimedOut = 12,    // the line did not read so within wait's --timeout
};

inline int code(Exit exit) { return static_cast<int>(exit); }

// The table of codes and meanings, as --help shows it.
std::string exitCodeTable();

}  // namespace iox::ctl
