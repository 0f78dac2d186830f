#include "command_words.h"

#include <algorithm>
#include <cctype>

#include <nlohmann/json.hpp>

#include "checks.h"
#include "device/commands.h"

namespace iox::boxes {

namespace {

struct Unparsed {
    std::string reason;
    Refused why = Refused::BadValue;
};

// The checked value, or the refusal with the shared reason; `key` names a JSON field.
template <class T>
T need(const Checked<T>& checked, const std::string& key = {})
{
    if (!checked)
        throw Unparsed{(key.empty() ? "" : "\"" + key + "\": ") + checked.refusal().reason};
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
    throw Unparsed{"payload must be ON or OFF, got " + shown(payload)};
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
        throw Unparsed{"payload must be a JSON object, got " + shown(payload)};
    return json;
}

std::string text(const nlohmann::json& json, const char* key, bool required)
{
    const auto it = json.find(key);
    if (it == json.end()) {
        if (required)
            throw Unparsed{std::string("\"") + key + "\" missing"};
        return {};
    }
    if (!it->is_string())
        throw Unparsed{std::string("\"") + key + "\" must be a text"};
    return it->get<std::string>();
}

SendWord spi(std::string_view payload)
{
    const auto json = object(payload);
    SendWord send{text(json, "word", true), text(json, "clock", false), text(json, "data", false),
                  text(json, "latch", false)};
    need(checkWord(send.word, kSpiOutMaxBits), "word");
    for (const auto& [key, name] : {std::pair{"clock", &send.clock}, {"data", &send.data}, {"latch", &send.latch}})
        if (!name->empty())
            *name = need(checkLine(*name), key).name();
    return send;
}

// A JSON number as the checks take it: a whole number, or a text that no check takes.
Checked<int> pulseLength(const nlohmann::json& ms)
{
    if (ms.is_number_unsigned())
        return checkPulseLength(static_cast<long long>(std::min<std::uint64_t>(ms.get<std::uint64_t>(), 1u << 16)));
    if (ms.is_number_integer())
        return checkPulseLength(ms.get<long long>());
    return refuse(Rule::PulseLength, ms.dump());
}

SendPulse pulse(std::string_view payload)
{
    const auto json = object(payload);
    const auto line = need(checkLine(text(json, "line", true)), "line");
    const auto ms = json.find("ms");
    if (ms == json.end())
        throw Unparsed{"\"ms\" missing"};
    return {line, need(pulseLength(*ms), "ms")};
}

BoxCommand command(const std::vector<std::string_view>& words, std::string_view payload)
{
    const auto n = words.size();
    if (n == 2 && words[0] == "relay")
        return SetRelay{need(checkRelay(words[1])), onOff(payload)};
    if (n == 2 && words[0] == "port")
        return SetPort{need(checkPort(words[1])), need(checkByte(payload))};
    if (n == 3 && words[0] == "port" && words[2] == "direction") {
        const char p = need(checkPort(words[1]));
        if (!sameWord(payload, "output") && !sameWord(payload, "input"))
            throw Unparsed{"payload must be output or input, got " + shown(payload)};
        return SetDirection{p, sameWord(payload, "output")};
    }
    if (n == 3 && words[0] == "port")
        return SetLine{need(checkLine(need(checkPort(words[1])), words[2])), onOff(payload)};
    if (n == 1 && words[0] == "spi")
        return spi(payload);
    if (n == 1 && words[0] == "pulse")
        return pulse(payload);
    if (n == 1 && words[0] == "pulse-width")
        return SetPulseWidth{need(checkPulseWidth(payload))};
    throw Unparsed{"unknown command", Refused::UnknownCommand};
}

}  // namespace

std::vector<std::string_view> slashWords(std::string_view text)
{
    std::vector<std::string_view> words;
    for (std::size_t at = 0;;) {
        const auto slash = text.find('/', at);
        words.push_back(text.substr(at, slash == std::string_view::npos ? std::string_view::npos : slash - at));
        if (slash == std::string_view::npos)
            return words;
        at = slash + 1;
    }
}

std::variant<BoxCommand, CommandRefusal> parseCommandWords(const std::vector<std::string_view>& words,
                                                          std::string_view payload)
{
    try {
        if (payload.size() > kMaxCommandPayload)
            throw Unparsed{"payload of " + std::to_string(payload.size()) + " bytes, more than " +
                          std::to_string(kMaxCommandPayload)};
        return command(words, trimmed(payload));
    } catch (const Unparsed& refusal) {
        return CommandRefusal{refusal.why, refusal.reason};
    }
}

}  // namespace iox::boxes
