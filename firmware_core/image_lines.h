#pragma once
// Cuts a firmware image's text into the lines that go to the bootloader, one line per
// request. The HEX records are not interpreted: a line starts at each ':' or ';' and runs
// to the next one, line end included; the text after the last cut is never sent.
//
// A line is a place in the text, not a copy of it: an image is held once, whatever its
// size (images are at most a few MiB, so 32-bit offsets do).

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace iox::firmware {

struct ImageLine {
    std::uint32_t offset;   // where the line starts in the text
    std::uint32_t length;   // its length, line end included
    bool endOfFileRecord;   // holds ":00000001F": the operator hears a beep before it goes

    // 1-based position of the ':' or ';' that cut the line off: the character after it.
    std::size_t position() const { return std::size_t(offset) + length + 1; }
};

// What marks the end-of-file record in a line (the operator hears a beep before it goes).
inline constexpr std::string_view kEndOfFileRecord = ":00000001F";

// The line's bytes, as the text holds them and as they are sent.
inline std::string_view lineText(std::string_view text, const ImageLine& line)
{
    return text.substr(line.offset, line.length);
}

// How much of the text the lines cover: what is sent; the rest, after the last cut, is not.
inline std::size_t sentLength(const std::vector<ImageLine>& lines)
{
    return lines.empty() ? 0 : std::size_t(lines.back().offset) + lines.back().length;
}

// A cut is made only once the current line holds more than two characters, so the file's
// first ':' makes none and a leading "::" stays at the head of the first line.
std::vector<ImageLine> cutImageLines(std::string_view text);

}  // namespace iox::firmware
