#pragma once
// The commands that arrive on a box's /set topics: the topic's levels after the serial number
// and before "set", with the payload, are the shared command vocabulary.

#include <optional>
#include <string>
#include <string_view>

#include "boxes/command_words.h"

namespace iox::mqtt {

using Action = boxes::BoxCommand;

struct Command {
    std::string serial;  // from the topic; empty when the topic is not a box's
    std::optional<Action> action;
    std::string reason;  // why the command was refused, when action is empty
};

// topic is "<prefix>/<sn>/..."; prefix as configured, without a trailing '/'.
Command parseCommand(std::string_view prefix, std::string_view topic, std::string_view payload);

}  // namespace iox::mqtt
