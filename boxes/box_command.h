#pragma once
// The commands a network face asks of one box, as plain data with values that passed the
// shared checks; what the box's model and its ports' directions allow is checked by the
// box's worker when the command is queued.

#include <cstdint>
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

}  // namespace iox::boxes
