#include "image_lines.h"

namespace iox::firmware {

namespace {

bool isLineStart(char c) { return c == ':' || c == ';'; }

constexpr std::string_view kEndOfFileRecord = ":00000001F";

}  // namespace

std::vector<ImageLine> cutImageLines(std::string_view text)
{
    std::vector<ImageLine> lines;
    std::string current;
    for (std::size_t i = 0; i < text.size(); ++i) {
        current.push_back(text[i]);
        if (current.size() <= 2 || !isLineStart(current.back()))
            continue;
        const char nextStart = current.back();
        current.pop_back();
        const bool endOfFile = current.find(kEndOfFileRecord) != std::string::npos;
        lines.push_back({std::move(current), i + 1, endOfFile});
        current.assign(1, nextStart);
    }
    return lines;
}

}  // namespace iox::firmware
