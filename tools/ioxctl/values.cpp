#include "values.h"

#include <algorithm>

namespace iox::ctl {

namespace {

bool allOf(const std::string& text, bool (*accept)(char))
{
    return !text.empty() && std::all_of(text.begin(), text.end(), accept);
}

bool isDecimal(char c) { return c >= '0' && c <= '9'; }
bool isHex(char c) { return isDecimal(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }
bool isBinary(char c) { return c == '0' || c == '1'; }

// Digits already checked; at most a few characters, so no overflow below.
std::optional<int> valueOf(const std::string& digits, int base, std::size_t maxDigits)
{
    if (digits.size() > maxDigits)
        return std::nullopt;
    return std::stoi(digits, nullptr, base);
}

}  // namespace

std::optional<std::string> parseLineName(const std::string& text)
{
    if (text.size() != 2)
        return std::nullopt;
    const auto port = parsePort(text.substr(0, 1));
    if (!port || text[1] < '0' || text[1] > '7')
        return std::nullopt;
    return std::string{*port, text[1]};
}

std::optional<char> parsePort(const std::string& text)
{
    if (text == "A" || text == "a")
        return 'A';
    if (text == "B" || text == "b")
        return 'B';
    return std::nullopt;
}

std::optional<std::uint8_t> parseByte(const std::string& text)
{
    std::optional<int> value;
    const std::string prefix = text.substr(0, 2);
    if (prefix == "0x" || prefix == "0X") {
        const std::string digits = text.substr(2);
        if (allOf(digits, isHex))
            value = valueOf(digits, 16, 2);
    } else if (prefix == "0b" || prefix == "0B") {
        const std::string digits = text.substr(2);
        if (allOf(digits, isBinary))
            value = valueOf(digits, 2, 8);
    } else if (allOf(text, isDecimal)) {
        value = valueOf(text, 10, 3);
    }
    if (!value || *value > 255)
        return std::nullopt;
    return static_cast<std::uint8_t>(*value);
}

std::optional<int> parseNumber(const std::string& text, int low, int high)
{
    if (!allOf(text, isDecimal))
        return std::nullopt;
    // Leading zeros aside, more than nine digits is out of any range used here.
    const std::size_t first = std::min(text.find_first_not_of('0'), text.size() - 1);
    const auto value = valueOf(text.substr(first), 10, 9);
    if (!value || *value < low || *value > high)
        return std::nullopt;
    return value;
}

std::optional<bool> parseOnOff(const std::string& text)
{
    if (text == "on" || text == "1")
        return true;
    if (text == "off" || text == "0")
        return false;
    return std::nullopt;
}

std::optional<std::string> parseWord(const std::string& text, std::size_t maxBits)
{
    if (!allOf(text, isBinary) || text.size() > maxBits)
        return std::nullopt;
    return text;
}

}  // namespace iox::ctl
