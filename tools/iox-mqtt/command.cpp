#include "command.h"

#include <algorithm>
#include <vector>

namespace iox::mqtt {

namespace {

std::vector<std::string_view> split(std::string_view text)
{
    std::vector<std::string_view> parts;
    for (std::size_t at = 0;;) {
        const auto slash = text.find('/', at);
        parts.push_back(text.substr(at, slash == std::string_view::npos ? std::string_view::npos : slash - at));
        if (slash == std::string_view::npos)
            return parts;
        at = slash + 1;
    }
}

}  // namespace

Command parseCommand(std::string_view prefix, std::string_view topic, std::string_view payload)
{
    Command command;
    const auto parts = split(topic);
    const auto prefixParts = split(prefix);
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
