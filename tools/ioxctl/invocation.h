#pragma once
// What one ioxctl command line asks for, as plain data: the options that pick and reach a
// box, and one command with its values already checked.

#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "boxes/models.h"
#include "device/sim/sim_box.h"

namespace iox::ctl {

struct GlobalOptions {
    std::optional<std::string> serial;     // --sn
    std::optional<std::string> path;       // --path
    std::vector<sim::BoxConfig> simulate;  // --simulate, in order; empty: real boxes
    bool trace = false;
    std::optional<std::string> record;  // --record FILE
    std::optional<std::string> replay;  // --replay FILE: the recorded boxes instead of a bus
    bool replayTiming = false;          // --replay-timing
    bool json = false;
};

struct ListCommand {};
struct RelayCommand { int relay; bool on; };
struct RelaysCommand { std::uint8_t value; };
struct PortDirectionCommand { char port; bool output; };
struct PortSetCommand { char port; std::uint8_t value; };
struct LineCommand { std::string line; int level; };
struct PulseCommand { std::string line; int ms; };
struct SpiCommand { std::string clock, data, le, word; };
struct PulseWidthCommand { int us; };
struct ReadCommand {
    enum class What { PortA, PortB, Relays, Line, All } what;
    std::string line;  // for What::Line
};
struct WatchCommand {
    std::optional<unsigned> count;    // lines to print, then end
    std::optional<double> seconds;    // time to run, then end
    unsigned intervalMs = 50;         // pause between polls: at most 20 polls a second
};
struct WaitCommand {
    boxes::Line line;
    bool high = true;
    double seconds = 10;  // then exit 12
};
struct FlashCommand { std::string file; };
struct DoctorCommand {};
struct HexCheckCommand { std::string file; };

using Command = std::variant<ListCommand, RelayCommand, RelaysCommand, PortDirectionCommand, PortSetCommand,
                             LineCommand, PulseCommand, SpiCommand, PulseWidthCommand, ReadCommand, WatchCommand,
                             WaitCommand, FlashCommand, DoctorCommand, HexCheckCommand>;

struct Invocation {
    GlobalOptions options;
    Command command;
};

}  // namespace iox::ctl
