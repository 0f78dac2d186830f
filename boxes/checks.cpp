#include "checks.h"

#include <algorithm>
#include <charconv>

namespace iox::boxes {

namespace {

// Every model's widest range, for checks given no model.
constexpr int kRelays = 8;
constexpr int kLines = 8;
constexpr long long kByteMax = 255;
constexpr long long kPulseMax = 255;
constexpr long long kWidthMax = 255;

std::string reasonText(Rule rule)
{
    switch (rule) {
    case Rule::Relay: return "a relay is a number from 0 to 7";
    case Rule::Line: return "a line is A0..A7 or B0..B7";
    case Rule::Port: return "a port is A or B";
    case Rule::Byte: return "a byte is a number from 0 to 255";
    case Rule::PulseLength: return "a pulse lasts 0 to 255 ms";
    case Rule::PulseWidth: return "a pulse width is 0 to 255 us";
    case Rule::SerialLines: return "clock, data and latch must be three different lines";
    case Rule::Word:  // the length is the command's: see checkWord
    case Rule::MissingLine:
    case Rule::InputLine:
    case Rule::MissingPort:
    case Rule::FixedDirection: break;  // these name the model: see below
    }
    return {};
}

Refusal withGiven(Rule rule, std::string reason, std::string_view given, std::string_view note = {})
{
    if (!note.empty())
        reason += " (" + std::string(note) + ")";
    return {rule, reason + ", got " + shown(given)};
}

// Decimal digits only; nullopt for anything else, and for a number too long to be in any
// range checked here.
std::optional<long long> decimal(std::string_view text)
{
    if (text.empty() || text.find_first_not_of("0123456789") != std::string_view::npos)
        return std::nullopt;
    const std::size_t first = std::min(text.find_first_not_of('0'), text.size() - 1);
    const std::string_view digits = text.substr(first);
    if (digits.size() > 9)
        return std::nullopt;
    long long value = 0;
    std::from_chars(digits.data(), digits.data() + digits.size(), value);
    return value;
}

Checked<int> inRange(Rule rule, long long value, long long high, std::string_view given)
{
    if (value < 0 || value > high)
        return refuse(rule, given);
    return static_cast<int>(value);
}

Checked<int> inRange(Rule rule, std::string_view text, long long high)
{
    const auto value = decimal(text);
    return value ? inRange(rule, *value, high, text) : Checked<int>(refuse(rule, text));
}

std::optional<char> portLetter(char c)
{
    if (c == 'A' || c == 'a')
        return 'A';
    if (c == 'B' || c == 'b')
        return 'B';
    return std::nullopt;
}

std::string modelName(const Model& model) { return std::string(model.name); }

std::string relayReason(const Model* model)
{
    if (!model || model->relays == kRelays)
        return reasonText(Rule::Relay);
    if (model->relays == 0)
        return modelName(*model) + " has no relays";
    return "a relay is a number from 0 to " + std::to_string(model->relays - 1) + " on " + modelName(*model);
}

std::optional<Refusal> missingLine(const Line& line, const Model* model)
{
    if (!model || model->hasLine(line))
        return std::nullopt;
    return Refusal{Rule::MissingLine, "no line " + line.name() + " on " + modelName(*model)};
}

}  // namespace

std::string shown(std::string_view text)
{
    constexpr std::size_t kShown = 40;
    std::string out(text.substr(0, kShown));
    for (char& c : out)
        if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) >= 0x7f)
            c = '?';
    return "\"" + out + (text.size() > kShown ? "...\"" : "\"");
}

Refusal refuse(Rule rule, std::string_view given, std::string_view note)
{
    return withGiven(rule, reasonText(rule), given, note);
}

Checked<int> checkRelay(long long relay, const Model* model)
{
    const int relays = model ? model->relays : kRelays;
    if (relay < 0 || relay >= relays)
        return withGiven(Rule::Relay, relayReason(model), std::to_string(relay));
    return static_cast<int>(relay);
}

Checked<int> checkRelay(std::string_view text, const Model* model)
{
    const auto value = decimal(text);
    return value ? checkRelay(*value, model) : Checked<int>(withGiven(Rule::Relay, relayReason(model), text));
}

Checked<Line> checkLine(std::string_view name, const Model* model)
{
    const auto port = name.size() == 2 ? portLetter(name[0]) : std::nullopt;
    if (!port || name[1] < '0' || name[1] >= '0' + kLines)
        return refuse(Rule::Line, name);
    const Line line{*port, name[1] - '0'};
    if (auto missing = missingLine(line, model))
        return *missing;
    return line;
}

Checked<Line> checkLine(char port, long long bit, const Model* model)
{
    if (bit < 0 || bit >= kLines)
        return refuse(Rule::Line, std::string(1, port) + std::to_string(bit));
    const Line line{port, static_cast<int>(bit)};
    if (auto missing = missingLine(line, model))
        return *missing;
    return line;
}

Checked<Line> checkLine(char port, std::string_view bit, const Model* model)
{
    const auto value = decimal(bit);
    return value ? checkLine(port, *value, model) : Checked<Line>(refuse(Rule::Line, std::string(1, port) + std::string(bit)));
}

Checked<char> checkPort(std::string_view letter, const Model* model)
{
    const auto port = letter.size() == 1 ? portLetter(letter[0]) : std::nullopt;
    if (!port)
        return refuse(Rule::Port, letter);
    if (model && model->port(*port).lines == 0)
        return Refusal{Rule::MissingPort, "no port " + std::string(1, *port) + " on " + modelName(*model)};
    return *port;
}

std::optional<Refusal> checkDirectionChange(char port, const Model* model)
{
    if (!model)
        return std::nullopt;
    if (model->port(port).lines == 0)
        return Refusal{Rule::MissingPort, "no port " + std::string(1, port) + " on " + modelName(*model)};
    if (model->port(port).fixed)
        return Refusal{Rule::FixedDirection,
                       "the direction of port " + std::string(1, port) + " is fixed on " + modelName(*model)};
    return std::nullopt;
}

Checked<std::uint8_t> checkByte(long long value)
{
    if (value < 0 || value > kByteMax)
        return refuse(Rule::Byte, std::to_string(value));
    return static_cast<std::uint8_t>(value);
}

Checked<std::uint8_t> checkByte(std::string_view text)
{
    const auto value = decimal(text);
    return value ? checkByte(*value) : Checked<std::uint8_t>(refuse(Rule::Byte, text));
}

Checked<std::string> checkWord(std::string_view word, std::size_t maxBits)
{
    if (word.empty() || word.size() > maxBits || word.find_first_not_of("01") != std::string_view::npos)
        return withGiven(Rule::Word, "a word is 1 to " + std::to_string(maxBits) + " characters 0 and 1", word);
    return std::string(word);
}

Checked<int> checkPulseLength(long long ms) { return inRange(Rule::PulseLength, ms, kPulseMax, std::to_string(ms)); }
Checked<int> checkPulseLength(std::string_view text) { return inRange(Rule::PulseLength, text, kPulseMax); }
Checked<int> checkPulseWidth(long long us) { return inRange(Rule::PulseWidth, us, kWidthMax, std::to_string(us)); }
Checked<int> checkPulseWidth(std::string_view text) { return inRange(Rule::PulseWidth, text, kWidthMax); }

Checked<std::array<Line, 3>> checkSerialLines(const std::array<std::string_view, 3>& names, const Model* model)
{
    const Model& defaults = model ? *model : modelOrAnyBox({});
    std::array<Line, 3> lines;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (names[i].empty()) {
            lines[i] = defaults.serialLines[i];
            continue;
        }
        const auto line = checkLine(names[i], model);
        if (!line)
            return line.refusal();
        if (model && model->port(line->port).fixed && model->port(line->port).input)
            return Refusal{Rule::InputLine, "port " + std::string(1, line->port) + " is an input on " + modelName(*model)};
        lines[i] = *line;
    }
    if (lines[0] == lines[1] || lines[0] == lines[2] || lines[1] == lines[2])
        return Refusal{Rule::SerialLines, reasonText(Rule::SerialLines)};
    return lines;
}

}  // namespace iox::boxes
