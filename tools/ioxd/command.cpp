#include "command.h"

#include <algorithm>

namespace iox::mqtt {

Command parseCommand(std::string_view prefix, std::string_view topic, std::string_view payload)
{
    Command command;
    const auto parts = boxes::slashWords(topic);
    const auto prefixParts = boxes::slashWords(prefix);
    if (parts.size() < prefixParts.size() + 2 ||
        !std::equal(prefixParts.begin(), prefixParts.end(), parts.begin())) {
        command.reason = "unknown topic";
        return command;
    }
    command.serial = std::string(parts[prefixParts.size()]);
    if (parts.back() != "set" || parts.size() < prefixParts.size() + 3) {
        command.reason = "unknown topic";
        return command;
    }
    auto parsed = boxes::parseCommandWords({parts.begin() + static_cast<long>(prefixParts.size()) + 1, parts.end() - 1},
                                           payload);
    if (auto* action = std::get_if<Action>(&parsed))
        command.action = std::move(*action);
    else if (const auto& refusal = std::get<boxes::CommandRefusal>(parsed); refusal.why == boxes::Refused::UnknownCommand)
        command.reason = "unknown topic";
    else
        command.reason = refusal.reason;
    return command;
}

}  // namespace iox::mqtt
