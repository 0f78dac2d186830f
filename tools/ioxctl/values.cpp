#include "values.h"

#include <algorithm>

namespace iox::ctl {

namespace {

bool allOf(const std::string& text, bool (*accept)(char))
{
    return !text.empty() && std::all_of(text.begin(), text.end(), accept);
}

bool isHex(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }
bool isBinary(char c) { return c == '0' || c == '1'; }

}  // namespace

boxes::Checked<std::uint8_t> parseByte(const std::string& text)
{
    const std::string prefix = text.substr(0, 2);
    const std::string digits = text.size() > 2 ? text.substr(2) : std::string();
    if ((prefix == "0x" || prefix == "0X") && allOf(digits, isHex) && digits.size() <= 2)
        return static_cast<std::uint8_t>(std::stoi(digits, nullptr, 16));
    if ((prefix == "0b" || prefix == "0B") && allOf(digits, isBinary) && digits.size() <= 8)
        return static_cast<std::uint8_t>(std::stoi(digits, nullptr, 2));
    const auto decimal = boxes::checkByte(std::string_view(text));
    return decimal ? decimal : boxes::Checked<std::uint8_t>(boxes::refuse(boxes::Rule::Byte, text, "or 0x00..0xff, 0b..."));
}

std::optional<bool> parseOnOff(const std::string& text)
{
    if (text == "on" || text == "1")
        return true;
    if (text == "off" || text == "0")
        return false;
    return std::nullopt;
}

}  // namespace iox::ctl
