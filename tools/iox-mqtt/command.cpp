#include "command.h"

#include <charconv>
#include <vector>

#include <nlohmann/json.hpp>

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

std::string shownText(std::string_view text)
{
    constexpr std::size_t kShown = 40;
    std::string shown(text.substr(0, kShown));
    for (char& c : shown)
        if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) >= 0x7f)
            c = '?';
    return "\"" + shown + (text.size() > kShown ? "...\"" : "\"");
}

int number(std::string_view text, int low, int high, const std::string& what)
{
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc{} || end != text.data() + text.size() || value < low || value > high)
        throw Refused{what + " must be a number from " + std::to_string(low) + " to " + std::to_string(high) +
                      ", got " + shownText(text)};
    return value;
}

bool onOff(std::string_view payload)
{
    if (payload == "ON")
        return true;
    if (payload == "OFF")
        return false;
    throw Refused{"payload must be ON or OFF, got " + shownText(payload)};
}

char port(std::string_view text)
{
    if (text == "a" || text == "A")
        return 'A';
    if (text == "b" || text == "B")
        return 'B';
    throw Refused{"no port " + shownText(text) + " (a or b)"};
}

std::pair<char, int> line(const std::string& text)
{
    if (const auto parsed = parseLine(text))
        return *parsed;
    throw Refused{"no line " + shownText(text) + " (A0 to A7, B0 to B7)"};
}

nlohmann::json object(std::string_view payload)
{
    auto json = nlohmann::json::parse(payload, nullptr, false);
    if (json.is_discarded() || !json.is_object())
        throw Refused{"payload must be a JSON object, got " + shownText(payload)};
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

SpiSend spi(std::string_view payload)
{
    const auto json = object(payload);
    SpiSend send{text(json, "word", true), text(json, "clock", false), text(json, "data", false),
                 text(json, "latch", false)};
    if (send.word.empty() || send.word.size() > kSpiOutMaxBits ||
        send.word.find_first_not_of("01") != std::string::npos)
        throw Refused{"word must be 1 to " + std::to_string(kSpiOutMaxBits) + " characters 0 or 1, got " +
                      shownText(send.word)};
    for (const auto* name : {&send.clock, &send.data, &send.latch})
        if (!name->empty())
            line(*name);
    return send;
}

PulseSend pulse(std::string_view payload)
{
    const auto json = object(payload);
    const auto [p, bit] = line(text(json, "line", true));
    const auto ms = json.find("ms");
    if (ms == json.end() || !ms->is_number_integer() || *ms < 0 || *ms > 255)
        throw Refused{"\"ms\" must be a whole number from 0 to 255"};
    return {p, bit, ms->get<int>()};
}

Action action(const std::vector<std::string_view>& path, std::string_view payload)
{
    // path: what follows "<prefix>/<sn>/", without the final "set".
    const auto n = path.size();
    if (n == 2 && path[0] == "relay")
        return RelaySet{number(path[1], 0, 7, "relay"), onOff(payload)};
    if (n == 2 && path[0] == "port")
        return PortSet{port(path[1]), static_cast<std::uint8_t>(number(payload, 0, 255, "port byte"))};
    if (n == 3 && path[0] == "port" && path[2] == "direction") {
        const char p = port(path[1]);
        if (payload != "output" && payload != "input")
            throw Refused{"payload must be output or input, got " + shownText(payload)};
        return DirectionSet{p, payload == "output"};
    }
    if (n == 3 && path[0] == "port")
        return LineSet{port(path[1]), number(path[2], 0, 7, "bit"), onOff(payload)};
    if (n == 1 && path[0] == "spi")
        return spi(payload);
    if (n == 1 && path[0] == "pulse")
        return pulse(payload);
    if (n == 1 && path[0] == "pulse-width")
        return PulseWidthSet{number(payload, 0, 255, "pulse width")};
    throw Refused{"unknown topic"};
}

}  // namespace

std::optional<std::pair<char, int>> parseLine(std::string_view text)
{
    if (text.size() != 2 || (text[0] != 'A' && text[0] != 'B') || text[1] < '0' || text[1] > '7')
        return std::nullopt;
    return std::pair{text[0], text[1] - '0'};
}

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
        command.action = action({parts.begin() + static_cast<long>(prefixParts.size()) + 1, parts.end() - 1}, payload);
    } catch (const Refused& refused) {
        command.reason = refused.reason;
    }
    return command;
}

}  // namespace iox::mqtt
