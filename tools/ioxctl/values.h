#pragma once
// Values that ioxctl takes on its command line, each checked in full before any box is
// touched: a refused value means nothing is sent.

#include <cstdint>
#include <optional>
#include <string>

namespace iox::ctl {

// "A0".."A7", "B0".."B7"; a lower-case port letter is taken as upper case ("b3" is "B3").
std::optional<std::string> parseLineName(const std::string& text);
// 'A' or 'B' from "A", "B", "a" or "b".
std::optional<char> parsePort(const std::string& text);
// A byte in decimal (0..255), hexadecimal (0x00..0xff) or binary (0b followed by 1 to 8 digits).
std::optional<std::uint8_t> parseByte(const std::string& text);
// A decimal number from low to high, digits only.
std::optional<int> parseNumber(const std::string& text, int low, int high);
// "on", "1" -> true; "off", "0" -> false.
std::optional<bool> parseOnOff(const std::string& text);
// A serial-output word: 1 to maxBits characters, each '0' or '1'.
std::optional<std::string> parseWord(const std::string& text, std::size_t maxBits);

}  // namespace iox::ctl
