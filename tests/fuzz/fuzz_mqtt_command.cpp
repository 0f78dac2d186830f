// Fuzzes iox-mqtt's command parser: the input is a topic, a newline, then the payload.
// Anything a broker delivers is untrusted; every message must end as one command or as
// a refusal with a reason, and a command's values must lie where the box can take them.

#include <string_view>

#include "command.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const auto split = input.find('\n');
    const auto topic = input.substr(0, split);
    const auto payload = split == std::string_view::npos ? std::string_view() : input.substr(split + 1);
    const auto command = iox::mqtt::parseCommand("iox", topic, payload);
    check(command.action.has_value() != !command.reason.empty());
    if (!command.action)
        return 0;
    if (const auto* relay = std::get_if<iox::boxes::SetRelay>(&*command.action))
        check(relay->relay >= 0 && relay->relay <= 7);
    if (const auto* spi = std::get_if<iox::boxes::SendWord>(&*command.action))
        check(!spi->word.empty() && spi->word.size() <= 56);
    if (const auto* pulse = std::get_if<iox::boxes::SendPulse>(&*command.action))
        check(pulse->ms >= 0 && pulse->ms <= 255 && pulse->line.bit >= 0 && pulse->line.bit <= 7);
    return 0;
}
