#pragma once
// Command line of iox-demo: the simulated boxes to offer and where to trace their reports.

#include <optional>
#include <string>
#include <vector>

#include "device/sim/sim_box.h"

namespace iox::demo {

struct Options {
    std::vector<sim::BoxConfig> boxes;  // never empty after a successful parse
    std::optional<std::string> tracePath;
    std::optional<std::string> recordPath;  // record the session at the HID backend
    std::optional<std::string> replayPath;  // play a recording instead of simulating boxes
    bool replayTiming = false;              // keep the recorded gaps
    bool simWindow = true;  // the "Simulated box" window beside the panel
    bool help = false;
};

struct ParseResult {
    std::optional<Options> options;
    std::string error;  // set when options is empty
};

// Parses "--box MODEL,SN" (repeatable), "--trace FILE", "--record FILE", "--replay FILE",
// "--replay-timing", "--no-sim-window" and "--help".
// With no --box, one "IOX-MODEL-C" box with serial number "10001".
ParseResult parseOptions(const std::vector<std::string>& args);

std::string usage();

}  // namespace iox::demo
