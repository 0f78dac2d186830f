#pragma once
// Encodings shared by every request: line names, data words, and the text answer rule.

#include <cstdint>
#include <optional>
#include <string>

#include "hid_backend.h"

namespace iox::wire {

struct LineName {
    std::uint8_t port;  // code of the name's first character ('A' = 65, 'B' = 66)
    std::uint8_t bit;   // value of the name's last character when it is a digit, else 0
};

// A data-word character as one report byte: a decimal digit gives its value, anything else 0.
// Inline: a data word's request is built from up to 56 of them.
inline std::uint8_t digitValue(char c)
{
    return (c >= '0' && c <= '9') ? static_cast<std::uint8_t>(c - '0') : 0;
}

// "B3" -> {66, 3}; "A" -> {65, 0}; "Ax" -> {65, 0}; the empty name cannot be encoded.
inline std::optional<LineName> encodeLineName(const std::string& name)
{
    if (name.empty())
        return std::nullopt;
    return LineName{static_cast<std::uint8_t>(name.front()), digitValue(name.back())};
}

// Answer bytes 2 to 21 up to the first 0 byte, one Latin-1 character each, blanks trimmed.
std::string textAnswer(const Report& answer);

// Leading and trailing blanks removed (blank = ' ' only, as the box pads with blanks).
std::string trimBlanks(const std::string& text);

}  // namespace iox::wire
