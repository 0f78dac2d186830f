#pragma once
// The commands a network face asks of one box, as plain data with values that passed the
// shared checks; what the box's model and its ports' directions allow is checked by the
// box's worker when the command is queued.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <variant>

#include "models.h"

namespace iox::boxes {

struct SetRelay { int relay; bool on; };
struct SetLine { Line line; bool on; };
struct SetPort { char port; std::uint8_t value; };
struct SetDirection { char port; bool output; };
struct SendWord { std::string word, clock, data, latch; };  // empty line names: the model's
struct SendPulse { Line line; int ms; };
struct SetPulseWidth { int width; };

using BoxCommand = std::variant<SetRelay, SetLine, SetPort, SetDirection, SendWord, SendPulse, SetPulseWidth>;

// Why a command was not carried out, by what the one who asked can do about it.
enum class Refused {
    BadValue,        // a value no box takes, or one this box's model lacks; a fixed direction
    UnknownCommand,  // no command of that name
    UnknownBox,      // no box of that serial number is served
    InputPort,       // the line or byte of a port set as input
    Unavailable,     // the box is offline, did not answer, is being updated, or is too busy
};

struct CommandRefusal {
    Refused why;
    std::string reason;
};

// Told once a queued command has been carried out (nothing) or could not be.
using CommandDone = std::function<void(const std::optional<CommandRefusal>&)>;

}  // namespace iox::boxes
