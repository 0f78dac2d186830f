#include "wire.h"

namespace iox::wire {

std::string textAnswer(const Report& answer)
{
    std::string text;
    for (std::size_t i = 2; i <= 21 && answer[i] != 0; ++i)
        text.push_back(static_cast<char>(answer[i]));
    return trimBlanks(text);
}

std::string trimBlanks(const std::string& text)
{
    const auto first = text.find_first_not_of(' ');
    if (first == std::string::npos)
        return {};
    const auto last = text.find_last_not_of(' ');
    return text.substr(first, last - first + 1);
}

}  // namespace iox::wire
