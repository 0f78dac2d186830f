#pragma once
// ioxctl's own syntax for values, beside the checks every front end shares: bytes may also
// be written in hexadecimal or binary, switches as on/off.

#include <cstdint>
#include <optional>
#include <string>

#include "boxes/checks.h"

namespace iox::ctl {

// A byte in decimal (0..255), hexadecimal (0x00..0xff) or binary (0b followed by 1 to 8 digits).
boxes::Checked<std::uint8_t> parseByte(const std::string& text);
// "on", "1" -> true; "off", "0" -> false.
std::optional<bool> parseOnOff(const std::string& text);

}  // namespace iox::ctl
