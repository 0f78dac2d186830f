#pragma once
// Small text helpers for what ioxctl prints.

#include <cstdint>
#include <string>

#include "boxes/box_json.h"

namespace iox::ctl {

// A box's texts are single-byte (Latin-1) characters; JSON and terminals want UTF-8.
using boxes::latin1ToUtf8;
// For a terminal: control characters (a firmware revision may hold NULs) become '?'.
std::string printable(const std::string& text);
// Bits 7 to 0 of a byte, "01011010".
std::string bits(std::uint8_t value);
// "0x5a".
std::string hexByte(std::uint8_t value);

}  // namespace iox::ctl
