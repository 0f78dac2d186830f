#pragma once
// The commands that arrive on a box's /set topics, read from topic and payload in full
// before anything reaches a box: a refused message gives a reason and sends nothing. The
// values pass the checks every front end shares; what the box's model allows is the worker's.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

#include "boxes/box_command.h"

namespace iox::mqtt {

// Payloads above this size are refused unread.
inline constexpr std::size_t kMaxPayload = 4096;

using Action = boxes::BoxCommand;

struct Command {
    std::string serial;  // from the topic; empty when the topic is not a box's
    std::optional<Action> action;
    std::string reason;  // why the command was refused, when action is empty
};

// topic is "<prefix>/<sn>/..."; prefix as configured, without a trailing '/'.
Command parseCommand(std::string_view prefix, std::string_view topic, std::string_view payload);

}  // namespace iox::mqtt
