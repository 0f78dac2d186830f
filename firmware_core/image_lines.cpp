#include "image_lines.h"

namespace iox::firmware {

namespace {

bool isLineStart(char c) { return c == ':' || c == ';'; }

}  // namespace

std::vector<ImageLine> cutImageLines(std::string_view text)
{
    std::vector<ImageLine> lines;
    // The current line is text[start, i]: the characters taken since the last cut.
    std::size_t start = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (i - start + 1 <= 2 || !isLineStart(text[i]))
            continue;
        const std::string_view line = text.substr(start, i - start);
        lines.push_back({static_cast<std::uint32_t>(start), static_cast<std::uint32_t>(line.size()),
                         line.find(kEndOfFileRecord) != std::string_view::npos});
        start = i;  // the ':' or ';' that made the cut begins the next line
    }
    lines.shrink_to_fit();
    return lines;
}

}  // namespace iox::firmware
