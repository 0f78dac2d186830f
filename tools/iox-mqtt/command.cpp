#include "command.h"

#include <algorithm>
#include <cctype>
#include <vector>

#include <nlohmann/json.hpp>

#include "boxes/checks.h"
#include "device/commands.h"

namespace iox::mqtt {

namespace {

struct Refused {
    std::string reason;
};

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

// The checked value, or the refusal with the shared reason; `key` names a JSON field.
template <class T>
T need(const boxes::Checked<T>& checked, const std::string& key = {})
{
    if (!checked)
        throw Refused{(key.empty() ? "" : "\"" + key + "\": ") + checked.refusal().reason};
    return *checked;
}

bool sameWord(std::string_view text, std::string_view word)
{
    return std::equal(text.begin(), text.end(), word.begin(), word.end(),
                      [](char a, char b) { return std::tolower(static_cast<unsigned char>(a)) == b; });
}

bool onOff(std::string_view payload)
{
    if (sameWord(payload, "on"))
        return true;
    if (sameWord(payload, "off"))
        return false;
    throw Refused{"payload must be ON or OFF, got " + boxes::shown(payload)};
}

// Blanks and line ends around a payload are how it was typed or piped, not what it says.
std::string_view trimmed(std::string_view payload)
{
    const auto first = payload.find_first_not_of(" \t\r\n");
    if (first == std::string_view::npos)
        return {};
    return payload.substr(first, payload.find_last_not_of(" \t\r\n") - first + 1);
}

nlohmann::json object(std::string_view payload)
{
    auto json = nlohmann::json::parse(payload, nullptr, false);
    if (json.is_discarded() || !json.is_object())
        throw Refused{"payload must be a JSON object, got " + boxes::shown(payload)};
    return json;
}

std::string text(const nlohmann::json& json, const char* key, bool required)
{
    const auto it = json.find(key);
    if (it == json.end()) {
        if (required)
            throw Refused{std::string("\"") + key + "\" missing"};
        return {};
    }
    if (!it->is_string())
        throw Refused{std::string("\"") + key + "\" must be a text"};
    return it->get<std::string>();
}

boxes::SendWord spi(std::string_view payload)
{
    const auto json = object(payload);
    boxes::SendWord send{text(json, "word", true), text(json, "clock", false), text(json, "data", false),
                 text(json, "latch", false)};
    need(boxes::checkWord(send.word, kSpiOutMaxBits), "word");
    for (const auto& [key, name] : {std::pair{"clock", &send.clock}, {"data", &send.data}, {"latch", &send.latch}})
        if (!name->empty())
            *name = need(boxes::checkLine(*name), key).name();
    return send;
}

// A JSON number as the checks take it: a whole number, or a text that no check takes.
boxes::Checked<int> pulseLength(const nlohmann::json& ms)
{
    if (ms.is_number_unsigned())
        return boxes::checkPulseLength(static_cast<long long>(std::min<std::uint64_t>(ms.get<std::uint64_t>(), 1u << 16)));
    if (ms.is_number_integer())
        return boxes::checkPulseLength(ms.get<long long>());
    return boxes::refuse(boxes::Rule::PulseLength, ms.dump());
}

boxes::SendPulse pulse(std::string_view payload)
{
    const auto json = object(payload);
    const auto line = need(boxes::checkLine(text(json, "line", true)), "line");
    const auto ms = json.find("ms");
    if (ms == json.end())
        throw Refused{"\"ms\" missing"};
    return {line, need(pulseLength(*ms), "ms")};
}

Action action(const std::vector<std::string_view>& path, std::string_view payload)
{
    // path: what follows "<prefix>/<sn>/", without the final "set".
    const auto n = path.size();
    if (n == 2 && path[0] == "relay")
        return boxes::SetRelay{need(boxes::checkRelay(path[1])), onOff(payload)};
    if (n == 2 && path[0] == "port")
        return boxes::SetPort{need(boxes::checkPort(path[1])), need(boxes::checkByte(payload))};
    if (n == 3 && path[0] == "port" && path[2] == "direction") {
        const char p = need(boxes::checkPort(path[1]));
        if (!sameWord(payload, "output") && !sameWord(payload, "input"))
            throw Refused{"payload must be output or input, got " + boxes::shown(payload)};
        return boxes::SetDirection{p, sameWord(payload, "output")};
    }
    if (n == 3 && path[0] == "port")
        return boxes::SetLine{need(boxes::checkLine(need(boxes::checkPort(path[1])), path[2])), onOff(payload)};
    if (n == 1 && path[0] == "spi")
        return spi(payload);
    if (n == 1 && path[0] == "pulse")
        return pulse(payload);
    if (n == 1 && path[0] == "pulse-width")
        return boxes::SetPulseWidth{need(boxes::checkPulseWidth(payload))};
    throw Refused{"unknown topic"};
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
    try {
        if (parts.back() != "set" || parts.size() < prefixParts.size() + 3)
            throw Refused{"unknown topic"};
        if (payload.size() > kMaxPayload)
            throw Refused{"payload of " + std::to_string(payload.size()) + " bytes, more than " +
                          std::to_string(kMaxPayload)};
        command.action =
            action({parts.begin() + static_cast<long>(prefixParts.size()) + 1, parts.end() - 1}, trimmed(payload));
    } catch (const Refused& refused) {
        command.reason = refused.reason;
    }
    return command;
}

}  // namespace iox::mqtt
