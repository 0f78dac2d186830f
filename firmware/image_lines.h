#pragma once
// Cuts a firmware image's text into the lines that go to the bootloader, one line per
// request. The HEX records are not interpreted: a line starts at each ':' or ';' and runs
// to the next one, line end included; the text after the last cut is never sent.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace iox::firmware {

struct ImageLine {
    std::string text;       // the file's own bytes, as sent
    std::size_t position;   // 1-based position of the ':' or ';' that cut the line off
    bool endOfFileRecord;   // holds ":00000001F": the operator hears a beep before it goes
};

// A cut is made only once the current line holds more than two characters, so the file's
// first ':' makes none and a leading "::" stays at the head of the first line.
std::vector<ImageLine> cutImageLines(std::string_view text);

}  // namespace iox::firmware
