#include "text_format.h"

namespace iox::ctl {

std::string printable(const std::string& text)
{
    std::string shown;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        shown.push_back(byte < 0x20 || byte == 0x7F ? '?' : c);
    }
    return latin1ToUtf8(shown);
}

std::string bits(std::uint8_t value)
{
    std::string text(8, '0');
    for (int i = 0; i < 8; ++i) {
        if (value & (1u << i))
            text[7 - i] = '1';
    }
    return text;
}

std::string hexByte(std::uint8_t value)
{
    static constexpr char kHex[] = "0123456789abcdef";
    return std::string{'0', 'x', kHex[value >> 4], kHex[value & 0x0F]};
}

}  // namespace iox::ctl
